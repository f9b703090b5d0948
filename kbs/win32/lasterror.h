// Shared by the stand-in's sources: how a failed POSIX call becomes a Windows last error.
#ifndef KBS_WIN32_LASTERROR_H
#define KBS_WIN32_LASTERROR_H

#include "windows.h"

namespace kbs::win32 {

// Sets the last error to the code Windows reports for the failure an errno value stands for.
void setLastErrorFromErrno(int err);

} // namespace kbs::win32

#endif
