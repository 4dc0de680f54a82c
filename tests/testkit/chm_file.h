// A compiled HTML Help file read as the HTML Help control reads it: through the InfoTech storage
// (itss.dll) that Windows and Wine provide, its internal files by name, the context table (#IVB
// and #STRINGS) that HH_HELP_CONTEXT looks a context number up in, and the text pop-ups of a
// ".topic" file.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace testkit {

class ChmFile {
public:
    explicit ChmFile(const std::string &path);
    ~ChmFile();
    ChmFile(const ChmFile &) = delete;
    ChmFile &operator=(const ChmFile &) = delete;

    // Whether the file opened as a help file; the HRESULT of the last failed step otherwise.
    bool ok() const { return storage_ != nullptr; }
    HRESULT error() const { return error_; }

    // The bytes of an internal file ("/console.htm", "/#IVB"); false when it is not there.
    bool Read(const std::string &name, std::string *bytes) const;
    // The topic that context `id` opens (as the context table names it), "" when none.
    std::string ContextTopic(DWORD id) const;
    // The <title> of an internal HTML file, "" when it has none or is missing.
    std::string Title(const std::string &name) const;
    // The ".topic <number>" entries of a text pop-up file: number -> text (trimmed).
    std::map<DWORD, std::string> Popups(const std::string &name) const;

private:
    IStorage *storage_ = nullptr;
    HRESULT error_ = S_OK;
    bool comStarted_ = false;
};

}  // namespace testkit
