// TolvikM's link to Tolvik.dll.
#include "tools_link.h"

#include "library_loader.h"

const char kTolvikModuleName[] = "Tolvik.DLL";

ToolsLinkFailure CToolsLink::Attach()
{
    Detach();
    HMODULE module = GetModuleHandleA(kTolvikModuleName);
    bool loaded = false;
    if (module == nullptr) {
        module = LoadProductLibrary(kTolvikModuleName);
        loaded = true;
    }
    // A handle of 32 or less is a failure, as the old loader's error codes were.
    if (reinterpret_cast<UINT_PTR>(module) <= 32)
        return ToolsLinkFailure::LibraryNotLoaded;
    FARPROC entry = GetProcAddress(module, SENTRIO_TOOLS_EXPORT);
    if (entry == nullptr) {
        if (loaded)
            FreeLibrary(module);
        return ToolsLinkFailure::EntryNotFound;
    }
    tolvik_ = module;
    loadedByUs_ = loaded;
    tools_ = reinterpret_cast<SENTRIO_TOOLS_PROC>(reinterpret_cast<void *>(entry));
    return ToolsLinkFailure::None;
}

void CToolsLink::Detach()
{
    if (tolvik_ != nullptr && loadedByUs_)
        FreeLibrary(tolvik_);
    tolvik_ = nullptr;
    loadedByUs_ = false;
    tools_ = nullptr;
}

bool CToolsLink::OpenTools(HWND window) const
{
    if (tools_ == nullptr)
        return false;
    tools_(window);
    return true;
}

void CopyMenuLabel(const char *label, char *field, size_t fieldSize)
{
    if (fieldSize == 0)
        return;
    size_t n = 0;
    for (; label != nullptr && label[n] != 0 && n + 1 < fieldSize; ++n)
        field[n] = label[n];
    field[n] = 0;
}
