// Module rows of the About box, read through the shared version reader.
#include "about_modules.h"

#include <windows.h>

#include <cstring>

#include "module_version.h"

AboutModuleRow ReadAboutModule(const char *fileName)
{
    AboutModuleRow row;
    row.file = fileName != nullptr ? fileName : "";
    if (row.file.empty())
        return row;
    char version[kVersionTextSize], path[kVersionTextSize], description[kVersionTextSize];
    // A module the process already runs is shown as loaded, whichever folder it came from.
    HMODULE loaded = GetModuleHandleA(fileName);
    GetModuleVersionInfo(loaded, loaded != nullptr ? nullptr : fileName, version, path,
                         description, nullptr, nullptr, nullptr);
    row.found = std::strcmp(path, "Unknown") != 0;
    row.version = version;
    row.description = description;
    return row;
}

std::string FormatAboutModuleLine(const AboutModuleRow &row, const char *notFoundVersion,
                                  const char *notFoundDescription)
{
    if (!row.found)
        return row.file + "\t" + notFoundVersion + "\t" + notFoundDescription;
    return row.file + "\t" + row.version + "\t" + row.description;
}

std::string ContactLinkTarget(const char *address, bool mail)
{
    std::string text = address != nullptr ? address : "";
    if (mail && !text.empty() && _strnicmp(text.c_str(), "mailto:", 7) != 0)
        text = "mailto:" + text;
    return text;
}
