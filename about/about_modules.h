// The rows of the About box's module list and the contact links, as plain data.
#pragma once

#include <string>

struct AboutModuleRow {
    std::string file;         // the name as the caller gave it
    std::string version;      // file version ("1.00"), "Unknown" without a version resource
    std::string description;  // FileDescription, "Unknown" without one
    bool found = false;       // false when no such file was found
};

// Reads one module's version texts: the loaded module of that name when the process has one,
// else the file found on the search path.
AboutModuleRow ReadAboutModule(const char *fileName);

// One list line: file, version and description separated by tabs; a module that is not found
// shows `notFoundVersion` and `notFoundDescription`.
std::string FormatAboutModuleLine(const AboutModuleRow &row, const char *notFoundVersion,
                                  const char *notFoundDescription);

// What a contact link opens: a web address as given, a mail address as a "mailto:" link.
std::string ContactLinkTarget(const char *address, bool mail);
