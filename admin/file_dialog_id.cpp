// OpenDialogID and SaveDialogID over GetOpenFileName and GetSaveFileName.
#include "file_dialog_id.h"

#include <commdlg.h>

#include <vector>

std::string TFileDialogID::FilterForDialog(const std::string &filter)
{
    std::string out = filter;
    for (char &c : out)
        if (c == '|')
            c = '\0';
    out.push_back('\0');
    out.push_back('\0');
    return out;
}

bool TFileDialogID::Execute(HWND owner)
{
    std::vector<char> path(MAX_PATH * 2, 0);
    lstrcpynA(path.data(), fileName.c_str(), static_cast<int>(path.size()));
    std::string filterText = FilterForDialog(filter);
    // The dialog wants the extension alone: "*.id" becomes "id".
    std::string ext = defaultExt;
    std::size_t dot = ext.find_last_of('.');
    if (dot != std::string::npos)
        ext = ext.substr(dot + 1);

    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filterText.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    // The console asks itself before it overwrites (Detach), and reports a file it cannot use
    // in its own words, so the dialog neither asks nor refuses.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    BOOL chosen = kind_ == Kind::kOpen ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    if (!chosen)
        return false;
    fileName = path.data();
    return true;
}
