// Language module choice and numbered-text lookup.
#include "texts.h"

#include <cstdarg>
#include <cstring>

#include "cut_format.h"
#include "library_loader.h"
#include "one_argument_format.h"

namespace {

HMODULE g_languageModule = nullptr;
HMODULE g_ownModule = nullptr;
char g_sharedText[kSharedTextSize + 1];

// The buffer and size a fetch writes to: the caller's, or the shared one (never more than it holds).
void ChooseBuffer(char *&buffer, int &size)
{
    if (buffer == nullptr) {
        buffer = g_sharedText;
        if (size < 0 || size > kSharedTextSize)
            size = kSharedTextSize;
    } else if (size < 0) {
        size = kSharedTextSize;
    }
}

bool LoadFromModule(HMODULE module, UINT id, char *buffer, int size)
{
    if (module == nullptr)
        return false;
    return LoadStringA(module, id, buffer, size) > 0;
}

}  // namespace

bool LoadLanguage(const char *language, HINSTANCE instance)
{
    HMODULE module = nullptr;
    if (language != nullptr && *language != 0) {
        char name[MAX_PATH];
        FormatCut(name, sizeof name, "%s_lang.dll", language);
        module = LoadProductLibrary(name, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr && instance != nullptr) {
            // Beside the module itself, which need not be the program's directory (Tolvik lives
            // with the Notes client). The drive stays in the path: without it the name would be
            // taken relative to whatever drive is current.
            char path[MAX_PATH];
            DWORD n = GetModuleFileNameA(instance, path, sizeof path);
            if (n > 0 && n < sizeof path) {
                char *slash = std::strrchr(path, '\\');
                if (slash != nullptr) {
                    slash[1] = 0;
                    char full[MAX_PATH];
                    if (FormatCut(full, sizeof full, "%s%s%s", path, language, "_lang.dll") <
                        sizeof full - 1)
                        module = LoadProductLibrary(full, LOAD_LIBRARY_AS_DATAFILE);
                }
            }
        }
    }
    if (module == nullptr)
        module = instance != nullptr ? instance : GetModuleHandleA(nullptr);
    g_languageModule = module;
    g_ownModule = instance;
    return module != nullptr;
}

HMODULE GetLanguageModule()
{
    return g_languageModule;
}

namespace {

// The program's own string table is a place to look only for the program's own texts: a DLL
// inside another program (Tolvik in the Notes client) would otherwise take that program's text
// of the same number, a text of another meaning with other placeholders.
HMODULE ProgramIfOwn()
{
    HMODULE program = GetModuleHandleA(nullptr);
    return g_ownModule == nullptr || g_ownModule == program ? program : nullptr;
}

// The deliverable's own text of `id`: the own module's, else the program's when that is ours.
bool LoadOwnText(UINT id, char *buffer, int size)
{
    return LoadFromModule(g_ownModule, id, buffer, size) || LoadFromModule(ProgramIfOwn(), id, buffer, size);
}

}  // namespace

char *LoadResString(UINT id, char *buffer, int size)
{
    ChooseBuffer(buffer, size);
    if (size <= 0)
        return buffer;
    if (!LoadFromModule(g_languageModule, id, buffer, size) && !LoadOwnText(id, buffer, size))
        buffer[0] = 0;
    return buffer;
}

char *VFormatResString(UINT id, char *buffer, int size, va_list args)
{
    ChooseBuffer(buffer, size);
    if (size <= 0)
        return buffer;
    char format[kSharedTextSize + 1];
    LoadResString(id, format, sizeof format);
    // A language DLL's text is outside data: it is filled only when its placeholders take the
    // arguments the deliverable's own text takes (the ones the caller passes); otherwise the own
    // text is filled, and with no own text to compare against, the text is shown unfilled.
    char own[kSharedTextSize + 1];
    bool hasOwn = LoadOwnText(id, own, sizeof own);
    const char *fill = format;
    if (!hasOwn) {
        if (!FormatTakesArgumentsOf(format, ""))
            fill = nullptr;
    } else if (std::strcmp(format, own) != 0 && !FormatTakesArgumentsOf(format, own)) {
        fill = own;
    }
    if (fill == nullptr)
        CopyCut(buffer, static_cast<std::size_t>(size), format);
    else
        VFormatCut(buffer, static_cast<std::size_t>(size), fill, args);
    return buffer;
}

namespace {

// The shorthands: the fetched text is filled only when its placeholders take the one argument
// given (a language DLL's text could ask for more, or for another kind); otherwise the
// deliverable's own text is used, and when even that does not fit, the text as it stands.
char *FormatResStringOne(UINT id, char *buffer, int size, OneArgument kind, int integer, const char *text)
{
    ChooseBuffer(buffer, size);
    if (size <= 0)
        return buffer;
    char format[kSharedTextSize + 1];
    LoadResString(id, format, sizeof format);
    if (!FormatTakesOneArgument(format, kind)) {
        char own[kSharedTextSize + 1];
        if (LoadOwnText(id, own, sizeof own) && FormatTakesOneArgument(own, kind))
            CopyCut(format, sizeof format, own);
    }
    FormatOneArgument(buffer, static_cast<std::size_t>(size), format, kind, integer, text);
    return buffer;
}

}  // namespace

char *FormatResString(UINT id, char *buffer, int size, ...)
{
    va_list args;
    va_start(args, size);
    char *result = VFormatResString(id, buffer, size, args);
    va_end(args);
    return result;
}

char *FormatResString(UINT id, int argument, char *buffer, int size)
{
    return FormatResStringOne(id, buffer, size, OneArgument::kInteger, argument, nullptr);
}

char *FormatResString(UINT id, const char *argument, char *buffer, int size)
{
    return FormatResStringOne(id, buffer, size, OneArgument::kText, 0, argument);
}

void ResetLanguageForTests()
{
    g_languageModule = nullptr;
    g_ownModule = nullptr;
}
