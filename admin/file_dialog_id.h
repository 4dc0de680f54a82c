// The console's file dialogs, OpenDialogID and SaveDialogID: the system's file-open and
// file-save dialogs. Data in: the file name, initial directory, default extension, filter (in the
// form "text|pattern|text|pattern") and title. Data out: the chosen path.
#pragma once

#include <windows.h>

#include <string>

class TFileDialogID {
public:
    enum class Kind { kOpen, kSave };
    explicit TFileDialogID(Kind kind) : kind_(kind) {}

    std::string fileName;    // in: proposed name; out: the chosen path
    std::string initialDir;
    std::string defaultExt;  // "*.id" or "id": the extension added to a name typed without one
    std::string filter;
    std::string title;

    // True when the user chose a file; false on Cancel (fileName unchanged).
    bool Execute(HWND owner);

    // "a|b|c|d" as the dialog takes it: "a\0b\0c\0d\0\0".
    static std::string FilterForDialog(const std::string &filter);

private:
    Kind kind_;
};
