// quorelctl: drives the virtual readers and Keys of the Quorel32.dll stand-in from a console.
// Usage: quorelctl <command> [arguments]; "quorelctl help" lists the commands. Exit code 0 on
// success, 1 when the stand-in refused, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quorel_control.h"

namespace {

const char kUsage[] =
    "quorelctl reset\n"
    "quorelctl add-reader NAME | remove-reader NAME\n"
    "quorelctl create-key LABEL [PIN]          (prints the Key's number)\n"
    "quorelctl insert KEY READER | pull KEY\n"
    "quorelctl block KEY [finally|unblock]\n"
    "quorelctl set-pin KEY PIN | set-label KEY LABEL | set-tries KEY N\n"
    "quorelctl set-formatted KEY 0|1 | set-secret KEY SECRET\n"
    "quorelctl set-capacity KEY TOTAL AREA225 AREA227\n"
    "quorelctl fail-next ENTRY LASTERROR [RESULT] [TIMES]\n"
    "quorelctl latency MS_PER_CALL BYTES_PER_SECOND\n"
    "quorelctl card-speed MS_PER_CALL BYTES_PER_SECOND COMMAND_SIZE\n"
    "quorelctl pull-on-chunk SKIP KEY            (KEY 0 takes the plan back)\n"
    "quorelctl delay ENTRY MS                  (every call of ENTRY takes MS longer; 0 ends it)\n"
    "quorelctl dump\n";

unsigned long Number(const char *text)
{
    return std::strtoul(text, nullptr, 0);
}

int Run(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const char *c = argv[1];
    auto is = [&](const char *name, int args) { return std::strcmp(c, name) == 0 && argc >= 2 + args; };
    BOOL ok;
    if (is("reset", 0)) ok = QsimReset();
    else if (is("add-reader", 1)) ok = QsimAddReader(argv[2]);
    else if (is("remove-reader", 1)) ok = QsimRemoveReader(argv[2]);
    else if (is("create-key", 1)) {
        int key = QsimCreateKey(argv[2], argc > 3 ? argv[3] : "");
        if (key != 0)
            std::printf("%d\n", key);
        ok = key != 0;
    }
    else if (is("insert", 2)) ok = QsimInsertKey(atoi(argv[2]), argv[3]);
    else if (is("pull", 1)) ok = QsimPullKey(atoi(argv[2]));
    else if (is("block", 1)) {
        int how = 1;
        if (argc > 3)
            how = std::strcmp(argv[3], "finally") == 0 ? 2 : std::strcmp(argv[3], "unblock") == 0 ? 0 : -1;
        ok = QsimBlockKey(atoi(argv[2]), how);
    }
    else if (is("set-pin", 2)) ok = QsimSetPin(atoi(argv[2]), argv[3]);
    else if (is("set-label", 2)) ok = QsimSetLabel(atoi(argv[2]), argv[3]);
    else if (is("set-tries", 2)) ok = QsimSetTries(atoi(argv[2]), atoi(argv[3]));
    else if (is("set-formatted", 2)) ok = QsimSetFormatted(atoi(argv[2]), atoi(argv[3]));
    else if (is("set-secret", 2)) ok = QsimSetUnblockSecret(atoi(argv[2]), argv[3]);
    else if (is("set-capacity", 4))
        ok = QsimSetCapacity(atoi(argv[2]), Number(argv[3]), Number(argv[4]), Number(argv[5]));
    else if (is("fail-next", 2))
        ok = QsimFailNextEx(argv[2], Number(argv[3]), argc > 4 ? atoi(argv[4]) : 0, argc > 5 ? atoi(argv[5]) : 1);
    else if (is("latency", 2)) ok = QsimSetLatency(Number(argv[2]), Number(argv[3]));
    else if (is("card-speed", 3)) {
        QsimCardSpeed speed = {Number(argv[2]), Number(argv[3]), Number(argv[4])};
        ok = QsimSetCardSpeed(&speed);
    }
    else if (is("pull-on-chunk", 2)) ok = QsimPullOnChunk(atoi(argv[2]), atoi(argv[3]));
    else if (is("delay", 2)) ok = QsimSetCallDelay(argv[2], Number(argv[3]));
    else if (is("dump", 0)) {
        std::vector<char> text(QsimDump(nullptr, 0));
        QsimDump(text.data(), static_cast<DWORD>(text.size()));
        std::fputs(text.data(), stdout);
        ok = TRUE;
    }
    else return 2;
    if (!ok)
        std::fprintf(stderr, "quorelctl: %s refused\n", c);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    int rc = Run(argc, argv);
    if (rc == 2)
        std::fputs(kUsage, stderr);
    return rc;
}
