// The DLL entry point: the C runtime calls it after the module's static objects are built and
// before they are destroyed.
#include "jni/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return kbs::dispatchEntry(kelo::theModule, instance, reason, reserved);
}
