// Version-text formatting, kept free of the Windows API so the host build can test it.
#include "version_text.h"

#include "cut_format.h"

char *FormatFileVersion(unsigned major, unsigned minor, unsigned build, unsigned revision,
                        char *out, std::size_t size)
{
    if (revision != 0)
        FormatCut(out, size, "%u.%02u.%u.%u", major, minor, build, revision);
    else if (build != 0)
        FormatCut(out, size, "%u.%02u.%u", major, minor, build);
    else
        FormatCut(out, size, "%u.%02u", major, minor);
    return out;
}
