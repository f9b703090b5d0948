// Facts about the operating system, gathered once per process, and the 64-bit tick count.
#ifndef KBS_SYSINFO_H
#define KBS_SYSINFO_H

#include <cstdint>

namespace kbs {

class SystemInfoImpl;

// A handle whose construction guarantees that the facts have been gathered.
class SystemInfo {
public:
    SystemInfo();
    bool isWindowsNT() const;
    // major * 256 + minor, for example 0x0601.
    std::uint16_t osVersion() const;
    // Whether the process's file functions use the ANSI code page (asked at each call).
    bool fileApisAnsi() const;

private:
    SystemInfoImpl* impl;
};

// Milliseconds since the system started, across the wrap of the 32-bit counter.
std::uint64_t tickCount64();

} // namespace kbs

#endif
