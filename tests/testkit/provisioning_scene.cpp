// The provisioning scene over the Key stand-in, this process's Notes stand-in and a folder.
#include "provisioning_scene.h"

#include "command_line.h"
#include "key_records.h"
#include "notes_control.h"
#include "quorel_control.h"

namespace testkit {

ProvisioningScene::ProvisioningScene()
{
    NsimReset();
    ini_ = files_.file("notes.ini");
    ok_ = keys_.ok() && NsimCreateIdFile(files_.file("admin.id").c_str(), "Admin/Morvath", "admin-pw") == NOERROR &&
          WriteFileBytes(ini_, "[Notes]\r\nDirectory=" + files_.path() + "\r\nKeyFileName=admin.id\r\n");
}

ProvisioningScene::~ProvisioningScene()
{
    NsimReset();
}

std::string ProvisioningScene::IdFile(const std::string &name, const std::string &user, const std::string &password)
{
    NoteSecret(password);
    std::string path = files_.file(name);
    return NsimCreateIdFile(path.c_str(), user.c_str(), password.c_str()) == NOERROR ? path : std::string();
}

int ProvisioningScene::NewKey(const char *label, const char *pin)
{
    NoteSecret(pin);
    return QsimCreateKey(label, pin);
}

bool ProvisioningScene::Insert(int key, const char *reader)
{
    QsimAddReader(reader);  // false when it is there already
    return QsimInsertKey(key, reader) != FALSE;
}

bool ProvisioningScene::PutRecord(int key, const std::string &user, const std::string &password,
                                  const std::string &name)
{
    std::string bytes = ReadFileBytes(files_.file(name));
    return !bytes.empty() && PutKeyRecord(key, {user, password, name, bytes});
}

std::string ProvisioningScene::SecretsFile(const std::string &name, const std::map<std::string, std::string> &entries)
{
    std::string text = "# secrets of the test\r\n";
    for (const auto &entry : entries) {
        NoteSecret(entry.second);
        text += entry.first + "=" + entry.second + "\r\n";
    }
    std::string path = files_.file(name);
    return WriteAdminOnlyFile(path, text) ? path : std::string();
}

bool ProvisioningScene::NotesRuntimeRunning()
{
    NSIM_STATE state = {};
    NsimGetState(&state);
    return state.szIniPath[0] != 0;
}

}  // namespace testkit
