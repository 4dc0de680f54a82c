// mkid: writes and inspects ID files of the nnotes.dll stand-in (for tests and the demo).
//   mkid FILE USER PASSWORD     write a new ID file for USER that opens with PASSWORD
//   mkid -owner FILE            print the owner name kept in the file's clear header
//   mkid -check FILE PASSWORD   exit 0 when PASSWORD opens the file
// Exit code 0 on success, 1 when the stand-in refused (its status text goes to stderr), 2 for a
// wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "notes_control.h"

namespace {

int Refused(STATUS status)
{
    char text[STATUS_TEXT_SIZE];
    OSLoadString(nullptr, ERR(status), text, sizeof text);
    std::fprintf(stderr, "mkid: %s (status %u)\n", text, static_cast<unsigned>(ERR(status)));
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "-owner") == 0) {
        char user[MAXUSERNAME + 1];
        STATUS status = NsimReadIdOwner(argv[2], user, sizeof user);
        if (status != NOERROR)
            return Refused(status);
        std::printf("%s\n", user);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "-check") == 0) {
        STATUS status = NsimCheckIdPassword(argv[2], argv[3]);
        return status == NOERROR ? 0 : Refused(status);
    }
    if (argc == 4 && argv[1][0] != '-') {
        STATUS status = NsimCreateIdFile(argv[1], argv[2], argv[3]);
        return status == NOERROR ? 0 : Refused(status);
    }
    std::fprintf(stderr,
                 "usage: mkid FILE USER PASSWORD | mkid -owner FILE | mkid -check FILE PASSWORD\n");
    return 2;
}
