// The secret scan around the end-to-end tests (a ctest fixture):
//   secret_scan start   places the product's log at level 5 (C:\MV_Sentrio.log, "5") and forgets
//                       the secrets noted by an earlier run;
//   secret_scan check   looks for every secret the tests noted (testkit::NoteSecret: PINs, Notes
//                       passwords) in the logs the run wrote, for every ID file name they noted in
//                       the temporary directory, and reports the temporary ID files the scenarios
//                       found left behind after the client ended (testkit::NoteLeftover); prints what it found (the secret masked) and
//                       fails when anything was; then removes the log file again.
// A secret counts where it stands as a token of its own (not inside a longer run of letters and
// digits, such as a hexadecimal address); secrets shorter than 4 characters are not looked for.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *const kLogs[] = {"C:\\MV_Sentrio.log", "C:\\MV_BioAPI.log"};

std::string TempDir()
{
    char dir[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    return n > 0 && n < sizeof dir ? std::string(dir) : std::string();
}

std::string NotesFile()
{
    return "C:\\SentrioTestSecrets.txt";
}

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool IsWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Where `secret` stands as a token of its own in `text`, from `from`; npos when nowhere.
size_t FindToken(const std::string &text, const std::string &secret, size_t from)
{
    for (size_t at = text.find(secret, from); at != std::string::npos; at = text.find(secret, at + 1)) {
        bool startsToken = at == 0 || !IsWordChar(text[at - 1]) || !IsWordChar(secret.front());
        size_t end = at + secret.size();
        bool endsToken = end == text.size() || !IsWordChar(text[end]) || !IsWordChar(secret.back());
        if (startsToken && endsToken)
            return at;
    }
    return std::string::npos;
}

std::string Masked(const std::string &secret)
{
    return secret.substr(0, 1) + std::string(secret.size() - 1, '*');
}

int Start()
{
    DeleteFileA(NotesFile().c_str());
    HANDLE log = CreateFileA(kLogs[0], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        std::printf("secret scan: cannot place %s (error %lu)\n", kLogs[0], GetLastError());
        return 1;
    }
    DWORD written = 0;
    WriteFile(log, "5\r\n", 3, &written, nullptr);
    CloseHandle(log);
    std::printf("secret scan: %s placed at level 5\n", kLogs[0]);
    return 0;
}

int Check()
{
    std::set<std::string> secrets, names, leftovers;
    std::istringstream notes(ReadAll(NotesFile()));
    for (std::string line; std::getline(notes, line);) {
        if (line.size() < 3 || line[1] != ' ')
            continue;
        std::string text = line.substr(2);
        if (line[0] == 'S' && text.size() >= 4)
            secrets.insert(text);
        else if (line[0] == 'F')
            names.insert(text);
        else if (line[0] == 'L')
            leftovers.insert(text);
    }
    int findings = 0;
    size_t bytes = 0;
    for (const char *path : kLogs) {
        std::string log = ReadAll(path);
        bytes += log.size();
        for (const std::string &secret : secrets) {
            for (size_t at = FindToken(log, secret, 0); at != std::string::npos; at = FindToken(log, secret, at + 1)) {
                size_t begin = log.rfind('\n', at);
                begin = begin == std::string::npos ? 0 : begin + 1;
                size_t end = log.find('\n', at);
                std::string line = log.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
                for (size_t s = line.find(secret); s != std::string::npos; s = line.find(secret, s + 1))
                    line.replace(s, secret.size(), Masked(secret));
                std::printf("secret scan: %s found in %s: %s\n", Masked(secret).c_str(), path, line.c_str());
                ++findings;
            }
        }
    }
    std::string temp = TempDir();
    for (const std::string &name : names) {
        if (GetFileAttributesA((temp + name).c_str()) != INVALID_FILE_ATTRIBUTES) {
            std::printf("secret scan: temporary ID file left behind: %s%s\n", temp.c_str(), name.c_str());
            ++findings;
        }
    }
    for (const std::string &path : leftovers) {
        std::printf("secret scan: temporary ID file left behind after the client ended: %s\n", path.c_str());
        ++findings;
    }
    std::printf("secret scan: %zu secrets and %zu ID file names noted, %zu log bytes read, %d findings\n",
                secrets.size(), names.size(), bytes, findings);
    DeleteFileA(kLogs[0]);  // the prefix goes back to running without the product's log
    if (secrets.empty() || bytes == 0) {
        std::printf("secret scan: nothing to scan (no secret noted or no log written)\n");
        return 1;
    }
    return findings == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "start")
        return Start();
    if (command == "check")
        return Check();
    std::printf("usage: secret_scan start|check\n");
    return 2;
}
