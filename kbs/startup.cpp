#include "kbs/startup.h"

#include "kbs/autoinit.h"

#include <algorithm>
#include <cstring>

namespace kbs {

namespace {

StartUp* firstStartUp = nullptr;
Module* theModule = nullptr;
char prefix[12] = "";

} // namespace

StartUp::StartUp(const char* errorPrefix, const char* moduleName)
    : record(std::make_unique<ModuleRecord>()) {
    record->name = moduleName;
    if (!firstStartUp)
        firstStartUp = this;
    std::strncpy(prefix, errorPrefix ? errorPrefix : "", sizeof prefix - 1);
}

StartUp::~StartUp() {
    if (firstStartUp == this)
        firstStartUp = nullptr;
}

Module::Module(const char* errorPrefix, const char* moduleName) : StartUp(errorPrefix, moduleName) {
    theModule = this;
}

Module::~Module() {
    if (theModule == this)
        theModule = nullptr;
}

FileString Module::moduleFileName() const {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(moduleRecord().module, path, sizeof path);
    return FileString(StringBase<char>(path, std::min<DWORD>(length, sizeof path - 1)));
}

bool Module::onProcessAttach() {
    runAutoInits();
    return true;
}

bool Module::onProcessDetach() {
    shutdown();
    return true;
}

StartUp* startUpInstance() {
    return firstStartUp;
}

Module* moduleInstance() {
    return theModule;
}

const char* errorPrefix() {
    return prefix;
}

BOOL dispatchEntry(Module& module, HINSTANCE instance, DWORD reason, LPVOID) noexcept {
    try {
        switch (reason) {
        case DLL_PROCESS_ATTACH:
            module.moduleRecord().module = instance;
            if (theModule && theModule != &module)
                theModule->moduleRecord().module = instance;
            runAutoInits();
            if (module.onProcessAttach())
                return TRUE;
            module.onProcessDetach();
            return FALSE;
        case DLL_PROCESS_DETACH:
            return module.onProcessDetach() ? TRUE : FALSE;
        case DLL_THREAD_ATTACH:
            module.onThreadAttach();
            return TRUE;
        case DLL_THREAD_DETACH:
            module.onThreadDetach();
            return TRUE;
        default:
            return TRUE;
        }
    } catch (...) {
        // Nothing may leave the loader's notification; a failure refuses the attach.
        return FALSE;
    }
}

} // namespace kbs
