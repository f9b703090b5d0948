// The process-wide facts behind SystemInfo, and the emulated 64-bit tick count.
#ifndef KBS_SYSINFOIMPL_H
#define KBS_SYSINFOIMPL_H

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace kbs {

// One instance is current: the first one constructed while none is, whether by the automatic
// initialiser (which owns it) or by instance() (which hands it to a singleton). Destroying the
// current instance leaves none, so the next instance() creates a fresh one.
class SystemInfoImpl {
public:
    using GetVersionExFunction = BOOL(WINAPI*)(LPOSVERSIONINFOA);
    using GetVersionFunction = DWORD(WINAPI*)();

    SystemInfoImpl();
    ~SystemInfoImpl();
    SystemInfoImpl(const SystemInfoImpl&) = delete;
    SystemInfoImpl& operator=(const SystemInfoImpl&) = delete;

    // The current instance, created if there is none; its facts have been gathered once.
    static SystemInfoImpl& instance();

    // Gathers the facts through the given GetVersionExA and GetVersion. False when neither version
    // structure is accepted; the facts then stay unset.
    bool query(GetVersionExFunction getVersionEx, GetVersionFunction getVersion);

    // major * 256 + minor.
    std::uint16_t osVersion() const { return version; }
    bool isWindowsNT() const { return windowsNT; }

private:
    std::uint16_t version = 0;
    bool windowsNT = false;
    std::atomic<bool> queried{false};
};

using TickCount64Function = ULONGLONG(WINAPI*)();

// The system's GetTickCount64 when tickCount64() calls it, null when it emulates it. Decided on
// the first call: NT 6.0 or later whose kernel32.dll exports the function.
TickCount64Function nativeTickCount64();

// A 64-bit count over a 32-bit millisecond counter that wraps every 49.7 days. Each reading
// advances the count by the counter's distance from the last one modulo 2^32, which carries the
// wraps, so it must be read at least once per wrap period. Safe for concurrent callers.
class TickCounter {
public:
    using Source = DWORD(WINAPI*)();

    explicit TickCounter(Source source) : source(source) {}
    TickCounter(const TickCounter&) = delete;
    TickCounter& operator=(const TickCounter&) = delete;

    std::uint64_t next();

private:
    Source source;
    // The last count returned; its high half is the number of wraps seen.
    std::atomic<std::uint64_t> last{0};
};

} // namespace kbs

#endif
