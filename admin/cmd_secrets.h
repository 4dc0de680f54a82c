// Where the command line program takes a PIN or a Notes password from. Never from the command
// line itself (other users of the PC can read a process's command line, and shells keep it):
//   stdin          the next line of standard input
//   prompt         asked on the console, the typed characters not shown
//   file:<path>    the first line of a file that only administrators and the system can read
//   secret:<name>  the line "<name>=<value>" of the secrets file (--secrets, the same rule)
//   none           no PIN (a Key without one); never a password
#pragma once

#include <map>
#include <string>

#include "cmd_io.h"
#include "secure_wipe.h"

struct SecretSource {
    enum class Kind { kStdin, kPrompt, kFile, kSecret, kNone };
    Kind kind = Kind::kPrompt;
    std::string where;  // kFile: the path; kSecret: the name

    // Parses `text`; false with *error saying what to write instead.
    static bool Parse(const std::string &text, bool noneAllowed, SecretSource *source, std::string *error);
};

// Whether `path` can be read by no one but administrators, the system and its owner: false with
// *error naming the file and what to change when anyone else may read it (or it has no access
// list at all, which lets everyone in).
bool OnlyAdministratorsRead(const std::string &path, std::string *error);

// The secrets of one run: the secrets file's entries, standard input and the console.
class SecretStore {
public:
    explicit SecretStore(CmdIo &io) : io_(io) {}
    ~SecretStore();
    SecretStore(const SecretStore &) = delete;
    SecretStore &operator=(const SecretStore &) = delete;

    // Loads the secrets file ("<name>=<value>" lines; blank lines and lines starting with '#'
    // ignored); false with *error when it cannot be read, others may read it, or a line is not
    // of that form.
    bool LoadFile(const std::string &path, std::string *error);

    // The secret `what` ("the PIN of the Key ...") from `source`; false with *error saying
    // what is missing and how to give it.
    bool Get(const SecretSource &source, const std::string &what, std::string *secret, std::string *error);

private:
    CmdIo &io_;
    std::map<std::string, std::string> entries_;
    std::string file_;
};
