#include "windows.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace {

struct Export {
    const char* name;
    FARPROC address;
};

// What the stand-in serves as kernel32.dll's exports. The library is built with hidden visibility,
// so dlsym cannot find these functions.
FARPROC kernel32Export(LPCSTR name) {
    // Through void(*)(), the one function type a cast may pass through without a warning.
    static const Export exports[] = {
        {"GetTickCount64",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&GetTickCount64))},
    };
    for (const Export& entry : exports) {
        if (std::strcmp(entry.name, name) == 0) {
            return entry.address;
        }
    }
    return nullptr;
}

// The base of the object a dlopen handle names, as GetModuleHandleA gives it.
HMODULE baseOf(void* handle) {
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || dladdr(map->l_ld, &info) == 0) {
        return nullptr;
    }
    return static_cast<HMODULE>(info.dli_fbase);
}

// A dlopen handle, one more use to dlclose, for the object whose base is `module`; null with the
// last error set when no object starts there.
void* openModule(HMODULE module) {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(module, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        info.dli_fbase != module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // The main program has no name; dlopen knows it as null.
    void* handle = dlopen(map->l_name[0] == '\0' ? nullptr : map->l_name, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return handle;
}

} // namespace

// LoadLibraryA: loads the module or counts one more use of it; returns its base.
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (lpLibFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // As on Windows, imports are bound at load time and the module's names stay its own.
    void* handle = dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    const HMODULE module = handle != nullptr ? baseOf(handle) : nullptr;
    if (module == nullptr) {
        if (handle != nullptr) {
            dlclose(handle);
        }
        // dlopen gives no code; any failure is reported as Windows reports a missing file.
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return module;
}

// FreeLibrary: drops one use of the module; the last one unloads it.
BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    void* handle = openModule(hLibModule);
    if (handle == nullptr) {
        return FALSE;
    }
    dlclose(handle);
    if (dlclose(handle) != 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

// GetProcAddress: an export of the module (of the main program for null) by name; no ordinals.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    // Values below 0x10000 are ordinals (MAKEINTRESOURCEA), which ELF objects do not have.
    if (reinterpret_cast<ULONG_PTR>(lpProcName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (hModule == nullptr) {
        hModule = GetModuleHandleA(nullptr);
    }
    if (hModule == GetModuleHandleA("kernel32.dll")) {
        if (const FARPROC address = kernel32Export(lpProcName)) {
            return address;
        }
    }
    void* handle = openModule(hModule);
    if (handle == nullptr) {
        return nullptr;
    }
    void* address = dlsym(handle, lpProcName);
    // dlsym also searches the module's dependencies; Windows looks at the module's own exports.
    Dl_info info{};
    const bool own = address != nullptr && dladdr(address, &info) != 0 && info.dli_fbase == hModule;
    dlclose(handle);
    if (!own) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}
