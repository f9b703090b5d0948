#include "jni/module.h"

namespace kelo {

_tbx::_tbx() : kbs::Module("KB", "KeloRvs4J32") {}

_tbx theModule;

} // namespace kelo
