// Shared by the stand-in's sources: the file handles that CreateFileA hands out.
#ifndef KBS_WIN32_HANDLES_H
#define KBS_WIN32_HANDLES_H

#include "windows.h"

namespace kbs::win32 {

// Closes a handle from CreateFileA; false, with ERROR_INVALID_HANDLE, for any other value.
bool closeFileHandle(HANDLE handle);

} // namespace kbs::win32

#endif
