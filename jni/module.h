// The library's module object: the start-up object that the loader's notifications reach.
#ifndef KELO_JNI_MODULE_H
#define KELO_JNI_MODULE_H

#include "kbs/startup.h"

namespace kelo {

class _tbx final : public kbs::Module {
public:
    _tbx();
    // The JVM may unload the library while Java threads still hold references into it: both hooks
    // only answer, and the process-wide objects live until the process ends.
    bool onProcessAttach() override { return true; }
    bool onProcessDetach() override { return true; }
};

extern _tbx theModule;

} // namespace kelo

#endif
