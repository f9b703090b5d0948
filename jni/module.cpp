#include "jni/module.h"

#include "kbs/autoinit.h"
#include "kbs/console.h"
#include "kbs/datetime.h"
#include "kbs/errorlocations.h"
#include "kbs/sysinfoimpl.h"

namespace kelo {

_tbx::_tbx() : kbs::Module("KB", "KeloRvs4J32") {}

_tbx theModule;

namespace {

// The library's automatic initialisers, in the order they must run at process attach. They live in
// this file, after the module object, so that the order does not depend on the link.
kbs::AutoInit<kbs::SystemInfoImpl> systemInfoInit;
kbs::AutoInit<kbs::ConsoleStreamBuf> consoleInit;
kbs::AutoInit<kbs::DateTimeInit> dateTimeInit;
kbs::AutoInit<kbs::ErrorLocationInit> errorLocationInit;

} // namespace

} // namespace kelo
