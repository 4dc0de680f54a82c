// Virtual Keys for a test, over the Key stand-in's control functions.
#include "virtual_keys.h"

#include "testkit.h"

#include <windows.h>

namespace testkit {

VirtualKeys::VirtualKeys() : ok_(QsimReset() != FALSE) {}

VirtualKeys::~VirtualKeys()
{
    QsimReset();
}

int VirtualKeys::InsertNewKey(const char *reader, const char *label, const char *pin)
{
    testkit::NoteSecret(pin != nullptr ? pin : "");
    QsimAddReader(reader);  // false when it is there already
    int key = QsimCreateKey(label, pin);
    if (key == 0 || !QsimInsertKey(key, reader))
        return 0;
    return key;
}

QsimKeyState VirtualKeys::State(int key)
{
    QsimKeyState state = {};
    QsimGetKey(key, &state);
    return state;
}

std::string VirtualKeys::Data(int key, DWORD app)
{
    std::string data(QsimGetData(key, app, nullptr, 0), 0);
    QsimGetData(key, app, data.data(), static_cast<DWORD>(data.size()));
    return data;
}

bool MonitorKeepsVisiting(DWORD ms)
{
    DWORD before = QsimCallCount("InitCard");
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) {
        if (QsimCallCount("InitCard") > before)
            return true;
        Sleep(10);
    }
    return QsimCallCount("InitCard") > before;
}

}  // namespace testkit
