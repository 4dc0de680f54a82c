// Activation contexts of the product's DLLs.
#include "module_activation.h"

#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr WORD kDllManifestId = 2;  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
constexpr WORD kManifestType = 24;  // RT_MANIFEST

std::mutex g_lock;
std::vector<std::pair<HMODULE, HANDLE>> g_contexts;  // a handful: one per DLL of the product

HANDLE CreateModuleContext(HMODULE module)
{
    if (FindResourceA(module, MAKEINTRESOURCEA(kDllManifestId), MAKEINTRESOURCEA(kManifestType)) == nullptr)
        return INVALID_HANDLE_VALUE;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return INVALID_HANDLE_VALUE;
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path;
    context.hModule = module;
    context.lpResourceName = MAKEINTRESOURCEA(kDllManifestId);
    return CreateActCtxA(&context);
}

// The module whose image holds this code: support is linked into each DLL and program.
HMODULE OwnModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&g_contexts), &module);
    return module;
}

}  // namespace

HANDLE ModuleActivationContext(HMODULE module)
{
    std::lock_guard<std::mutex> hold(g_lock);
    for (const auto &entry : g_contexts)
        if (entry.first == module)
            return entry.second;
    // Kept even when it failed, so that a module without the manifest is looked at once.
    HANDLE made = CreateModuleContext(module);
    g_contexts.emplace_back(module, made);
    return made;
}

ModuleActivation::ModuleActivation() : ModuleActivation(OwnModule()) {}

ModuleActivation::ModuleActivation(HMODULE module)
{
    DWORD error = GetLastError();  // a dialog's caller may read the last error of what it did before
    HANDLE context = module != nullptr ? ModuleActivationContext(module) : INVALID_HANDLE_VALUE;
    active_ = context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &cookie_) != FALSE;
    SetLastError(error);
}

ModuleActivation::~ModuleActivation()
{
    if (active_) {
        DWORD error = GetLastError();
        DeactivateActCtx(0, cookie_);
        SetLastError(error);
    }
}
