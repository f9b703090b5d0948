// The loader's notifications on ELF systems. The notifier is a static object of the last
// translation unit linked into the library, so it is built after every other static object (the
// module object and the automatic initialisers) and, being destroyed in reverse order, sends the
// detach notification before any of them is torn down.
#include "jni/module.h"

#include <dlfcn.h>

namespace {

HINSTANCE moduleHandle() {
    Dl_info info{};
    if (dladdr(&kelo::theModule, &info) == 0)
        return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

class LoaderNotifications {
public:
    LoaderNotifications() {
        kbs::dispatchEntry(kelo::theModule, moduleHandle(), DLL_PROCESS_ATTACH, nullptr);
    }
    ~LoaderNotifications() {
        kbs::dispatchEntry(kelo::theModule, moduleHandle(), DLL_PROCESS_DETACH, nullptr);
    }
    LoaderNotifications(const LoaderNotifications&) = delete;
    LoaderNotifications& operator=(const LoaderNotifications&) = delete;
};

const LoaderNotifications notifications;

} // namespace
