// Starts the Key access layer in a folder of its own choosing (beside a broken Quorel32.dll or
// none) and writes what happened to the file named on its command line.
#include <windows.h>

#include <cstdio>

#include "recording_key.h"
#include "texts.h"

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    LoadLanguage(nullptr, nullptr);
    RecordingKey started;
    bool startedOk = started.Start(false);
    char text[200] = "";
    bool reported = started.GetErrorText(nullptr, text);

    RecordingKey direct;
    SetLastError(0xdeadbeef);
    bool init = direct.Init(kAppNotes);
    DWORD error = GetLastError();

    FILE *out = std::fopen(argv[1], "wb");
    if (out == nullptr)
        return 3;
    std::fprintf(out, "finished=%d loaded=%d reported=%d init=%d error=%lu module=%d\n%s", startedOk ? 1 : 0,
                 started.IsLoaded() ? 1 : 0, reported ? 1 : 0, init ? 1 : 0, static_cast<unsigned long>(error),
                 GetModuleHandleA("Quorel32.dll") != nullptr ? 1 : 0, text);
    std::fclose(out);
    return 0;
}
