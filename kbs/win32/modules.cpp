#include "lasterror.h"
#include "windows.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <string_view>
#include <strings.h>
#include <unistd.h>

namespace {

struct Module {
    HMODULE handle;
    // As the loader keeps it; empty for the main program.
    std::string name;
};

// Like a Windows module handle, the base of an object is where its image starts in memory: the
// page holding its lowest loadable segment (dladdr() reports the same as dli_fbase).
HMODULE moduleBase(const dl_phdr_info& info) {
    static const uintptr_t pageMask = ~static_cast<uintptr_t>(sysconf(_SC_PAGESIZE) - 1);
    uintptr_t lowest = UINTPTR_MAX;
    for (ElfW(Half) i = 0; i < info.dlpi_phnum; ++i) {
        if (info.dlpi_phdr[i].p_type == PT_LOAD) {
            lowest = std::min<uintptr_t>(lowest, info.dlpi_addr + info.dlpi_phdr[i].p_vaddr);
        }
    }
    return lowest == UINTPTR_MAX ? nullptr : reinterpret_cast<HMODULE>(lowest & pageMask);
}

// Finds the first loaded object, the main program coming first, for which matches(module) holds.
template <typename Matches> bool findModule(Matches matches, Module& found) {
    struct Search {
        Matches& matches;
        Module& found;
        bool mainProgram;
    } search{matches, found, true};
    const auto visit = [](dl_phdr_info* info, size_t, void* data) {
        auto& state = *static_cast<Search*>(data);
        state.found.handle = moduleBase(*info);
        state.found.name = state.mainProgram ? "" : info->dlpi_name;
        state.mainProgram = false;
        return state.found.handle != nullptr && state.matches(state.found) ? 1 : 0;
    };
    return dl_iterate_phdr(visit, &search) != 0;
}

bool executablePath(std::string& path) {
    std::string buffer(PATH_MAX, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            kbs::win32::setLastErrorFromErrno(errno);
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            path.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool modulePath(const Module& module, std::string& path) {
    if (module.name.empty()) {
        return executablePath(path);
    }
    char* resolved = module.name.front() == '/' ? nullptr : realpath(module.name.c_str(), nullptr);
    path = resolved != nullptr ? resolved : module.name;
    std::free(resolved);
    return true;
}

std::string_view baseName(std::string_view path) {
    return path.substr(path.rfind('/') + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The file names a module name stands for, compared case-blind. As on Windows, a name without an
// extension gets ".dll" and a trailing '.' means "no extension"; libraries here are named
// libNAME.so, so NAME also stands for that.
struct WantedNames {
    std::string name;
    std::string library;

    explicit WantedNames(std::string_view given) {
        const std::string_view base = baseName(given);
        if (!given.empty() && given.back() == '.') {
            name = given.substr(0, given.size() - 1);
        } else if (base.find('.') != std::string_view::npos) {
            name = given;
        } else {
            name = std::string(given) + ".dll";
            library = std::string(given.substr(0, given.size() - base.size())) + "lib" +
                      std::string(base) + ".so";
        }
    }

    bool match(std::string_view candidate) const {
        return sameName(candidate, name) || (!library.empty() && sameName(candidate, library));
    }
};

// The stand-in serves as kernel32.dll, so that module is the object that contains it.
HMODULE standInModule() {
    static const HMODULE module = [] {
        Dl_info info{};
        dladdr(reinterpret_cast<void*>(&GetModuleHandleA), &info);
        return static_cast<HMODULE>(info.dli_fbase);
    }();
    return module;
}

} // namespace

// GetModuleFileNameA: a loaded module's full path; truncated with a NUL, as since Windows Vista.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    Module module{hModule, ""};
    if (hModule != nullptr &&
        !findModule([hModule](const Module& candidate) { return candidate.handle == hModule; },
                    module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::string path;
    if (!modulePath(module, path)) {
        return 0;
    }
    if (path.size() < nSize) {
        std::memcpy(lpFilename, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    if (nSize > 0) {
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

// GetModuleHandleA: the base of the main program, or of the loaded module of that name or path.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    Module module{nullptr, ""};
    if (lpModuleName == nullptr) {
        findModule([](const Module&) { return true; }, module);
        return module.handle;
    }
    const WantedNames wanted(lpModuleName);
    if (wanted.match("kernel32.dll")) {
        return standInModule();
    }
    const bool withPath = wanted.name.find('/') != std::string::npos;
    std::string executable;
    if (!executablePath(executable)) {
        return nullptr;
    }
    const auto matches = [&](const Module& candidate) {
        const std::string_view path = candidate.name.empty() ? executable : candidate.name;
        return wanted.match(withPath ? path : baseName(path));
    };
    if (!findModule(matches, module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return module.handle;
}
