// simbioctl.exe: the command-line control of the two biometric stand-ins (bioapi100.dll and
// simhaapi.dll) for people and the demo. It loads both from its own folder and calls their
// control exports; their shared state carries the settings to the programs that use them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library_loader.h"
#include "sim_bioapi.h"

namespace {

const char kUsage[] =
    "usage: simbioctl COMMAND ...\n"
    "  reset                                 no BioAPI modules, finger 1, no failures (both stand-ins)\n"
    "  add-module NAME [OPS [PURPOSES [TYPE [SIGNED]]]]\n"
    "                                        a BioAPI module; OPS operations mask (default 0x6D),\n"
    "                                        PURPOSES mask of enrolment purposes that succeed (0x2),\n"
    "                                        TYPE header Type of a capture (2), SIGNED 0|1 (0)\n"
    "  finger N                              the finger both stand-ins read from now on\n"
    "  fail-next FUNCTION CODE               next BioAPI_* call fails with CODE\n"
    "  ha-install | ha-remove                write or delete the HA-API vendor keys\n"
    "  ha-fail-next FUNCTION CODE            next vendor call (capture, enrollment, process ...) fails\n"
    "  ha-cancel-next                        the next device dialog answers a user cancel\n"
    "  ha-interactive 0|1                    the device dialog waits for a click (1) or not (0)\n"
    "  ha-match-result N                     what the vendor's verify stores for a match\n";

HMODULE g_bioapi = nullptr, g_haapi = nullptr;

template <typename F>
F Entry(HMODULE module, const char *name)
{
    FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
    if (address == nullptr) {
        std::fprintf(stderr, "simbioctl: %s not found\n", name);
        std::exit(1);
    }
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}

uint32_t Number(const char *text)
{
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
}

typedef void(__cdecl *VoidFn)();
typedef void(__cdecl *NumberFn)(uint32_t);
typedef void(__cdecl *FailFn)(const char *, uint32_t);

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    g_bioapi = LoadProductLibrary("bioapi100.dll");
    g_haapi = LoadProductLibrary("simhaapi.dll");
    const char *command = argv[1];
    if (std::strcmp(command, "reset") == 0 && argc == 2) {
        Entry<VoidFn>(g_bioapi, "SimBioAPI_Reset")();
        Entry<VoidFn>(g_haapi, "SimHaApi_Reset")();
    } else if (std::strcmp(command, "add-module") == 0 && argc >= 3 && argc <= 7) {
        SimBspModule m = {};  // a zero UUID: the stand-in gives the module one of its own
        m.deviceId = 1;
        lstrcpynA(m.description, argv[2], sizeof m.description);
        m.operations = argc > 3 ? Number(argv[3]) : 0x6D;
        m.enrollPurposes = argc > 4 ? Number(argv[4]) : 0x2;
        m.captureType = static_cast<uint8_t>(argc > 5 ? Number(argv[5]) : 2);
        m.withSignature = argc > 6 ? Number(argv[6]) : 0;
        Entry<void(__cdecl *)(const SimBspModule *)>(g_bioapi, "SimBioAPI_AddModule")(&m);
    } else if (std::strcmp(command, "finger") == 0 && argc == 3) {
        Entry<NumberFn>(g_bioapi, "SimBioAPI_SetFinger")(Number(argv[2]));
        Entry<NumberFn>(g_haapi, "SimHaApi_SetFinger")(Number(argv[2]));
    } else if (std::strcmp(command, "fail-next") == 0 && argc == 4) {
        Entry<FailFn>(g_bioapi, "SimBioAPI_FailNext")(argv[2], Number(argv[3]));
    } else if (std::strcmp(command, "ha-install") == 0 && argc == 2) {
        if (!Entry<int(__cdecl *)()>(g_haapi, "SimHaApi_InstallVendors")()) {
            std::fputs("simbioctl: the registry refused the vendor keys\n", stderr);
            return 1;
        }
    } else if (std::strcmp(command, "ha-remove") == 0 && argc == 2) {
        Entry<VoidFn>(g_haapi, "SimHaApi_RemoveVendors")();
    } else if (std::strcmp(command, "ha-fail-next") == 0 && argc == 4) {
        Entry<FailFn>(g_haapi, "SimHaApi_FailNext")(argv[2], Number(argv[3]));
    } else if (std::strcmp(command, "ha-cancel-next") == 0 && argc == 2) {
        Entry<VoidFn>(g_haapi, "SimHaApi_CancelNext")();
    } else if (std::strcmp(command, "ha-interactive") == 0 && argc == 3) {
        Entry<void(__cdecl *)(int)>(g_haapi, "SimHaApi_SetInteractive")(static_cast<int>(Number(argv[2])));
    } else if (std::strcmp(command, "ha-match-result") == 0 && argc == 3) {
        Entry<NumberFn>(g_haapi, "SimHaApi_SetMatchResult")(Number(argv[2]));
    } else {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return 0;
}
