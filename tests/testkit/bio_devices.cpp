// The BioAPI stand-in's devices for a test, and enrolment through the real Braxial.dll.
#include "bio_devices.h"

#include <string>

#include "library_loader.h"

namespace testkit {

namespace {

template <typename F>
bool Resolve(HMODULE module, const char *name, F &slot)
{
    slot = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return slot != nullptr;
}

}  // namespace

namespace {

const char kStateFile[] = "SentrioSimBioAPI.state";

std::string TempPath()
{
    char path[MAX_PATH] = "";
    DWORD n = GetTempPathA(sizeof path, path);
    return n != 0 && n < sizeof path ? std::string(path, n) : std::string();
}

void SetTemp(const std::string &path)
{
    SetEnvironmentVariableA("TMP", path.c_str());
    SetEnvironmentVariableA("TEMP", path.c_str());
}

}  // namespace

BioDevices::BioDevices()
{
    // The stand-in keeps its state in the file it found in %TEMP% when it first ran in this
    // process, and stays loaded once Braxial has used it. The scenario's %TEMP% is a folder of
    // its own for every test, so the stand-in's file is kept one folder up, and the scenario's
    // folder gets a second name (a hard link) for that same file: the client, which looks in its
    // own %TEMP%, then shares the state with this process test after test.
    std::string temp = TempPath();
    std::string parent = temp.substr(0, temp.find_last_of('\\', temp.size() - 2) + 1);
    SetTemp(parent);
    bioapi_ = LoadProductLibrary("bioapi100.dll");
    ok_ = bioapi_ != nullptr && Resolve(bioapi_, "SimBioAPI_Reset", reset_) &&
          Resolve(bioapi_, "SimBioAPI_AddModule", addModule_) && Resolve(bioapi_, "SimBioAPI_SetFinger", setFinger_);
    Reset();  // opens the state (in `parent`) for this process, if it is not open yet
    SetTemp(temp);
    if (ok_ && parent != temp) {
        std::string link = temp + kStateFile;
        DeleteFileA(link.c_str());
        ok_ = CreateHardLinkA(link.c_str(), (parent + kStateFile).c_str(), nullptr) != FALSE;
    }
}

BioDevices::~BioDevices()
{
    Reset();
    if (bioapi_ != nullptr)
        FreeLibrary(bioapi_);
}

void BioDevices::AddDevice(const char *name, uint8_t id)
{
    if (addModule_ == nullptr)
        return;
    SimBspModule m = {};
    for (int i = 0; i < 16; ++i)
        m.uuid[i] = static_cast<uint8_t>(id * 16 + i);
    m.deviceId = id;
    lstrcpynA(m.description, name, sizeof m.description);
    m.operations = BioAPI_CAPTURE | BioAPI_PROCESS | BioAPI_VERIFYMATCH | BioAPI_ENROLL | BioAPI_VERIFY;
    m.enrollPurposes = 1u << 1;
    m.captureType = 2;
    addModule_(&m);
}

void BioDevices::Reset()
{
    if (reset_ != nullptr)
        reset_();
}

void BioDevices::SetFinger(uint32_t finger)
{
    if (setFinger_ != nullptr)
        setFinger_(finger);
}

std::string BioDevices::Enrol(const char *name)
{
    // Braxial is loaded for the enrolment only, after the devices were set up: a reset of the
    // stand-in forgets the framework sessions of this process, a loaded Braxial's among them.
    HMODULE braxial = ok_ ? LoadProductLibrary("Braxial.dll") : nullptr;
    BraxialApi api = {};
    std::string bir;
    // The reader table is built afresh, so that the devices added are there to open.
    if (braxial != nullptr && ResolveBraxialApi(braxial, &api) && api.BioEnumReaders(0) != nullptr) {
        if (ReaderHandle *handle = api.BioInitReader(name)) {
            // The size query answers with the size and last error 8 (its result is not the sign).
            uint32_t size = 0;
            SetLastError(0xdeadbeef);
            api.BioGetBIR(handle, nullptr, &size);
            if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY && size != 0) {
                bir.assign(size, '\0');
                if (api.BioGetBIR(handle, reinterpret_cast<uint8_t *>(&bir[0]), &size))
                    bir.resize(size);
                else
                    bir.clear();
            }
            api.BioCloseReader(handle);
        }
    }
    if (braxial != nullptr)
        FreeLibrary(braxial);
    return bir;
}

}  // namespace testkit
