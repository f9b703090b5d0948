#include "kbs/sysinfo.h"

#include "kbs/criticalsection.h"
#include "kbs/singleton.h"
#include "kbs/sysinfoimpl.h"

#include <memory>
#include <thread>

namespace kbs {

namespace {

CurrentInstance<SystemInfoImpl> current;

// The tick-count mode: native when nativeEntry is set, else emulated. The entry is written once,
// before the decision is published; it lives here rather than in the instance because shutdown
// deletes the instance while the mode stays for the whole process.
std::atomic<bool> tickModeDecided{false};
std::atomic<int> tickModeBusy{0};
TickCount64Function nativeEntry = nullptr;

class TickModeLock {
public:
    TickModeLock() {
        int idle = 0;
        while (!tickModeBusy.compare_exchange_weak(idle, 1, std::memory_order_acquire)) {
            idle = 0;
            std::this_thread::yield();
        }
    }
    ~TickModeLock() { tickModeBusy.store(0, std::memory_order_release); }
    TickModeLock(const TickModeLock&) = delete;
    TickModeLock& operator=(const TickModeLock&) = delete;
};

TickCount64Function findGetTickCount64() {
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32)
        return nullptr;
    // Through void(*)(), the one function type a cast may pass through without a warning.
    return reinterpret_cast<TickCount64Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "GetTickCount64")));
}

void decideTickMode() {
    // Gathered before the spin flag is taken: gathering may wait for the library lock, and its
    // holder may be spinning here.
    const SystemInfo info;
    TickModeLock lock;
    if (tickModeDecided.load(std::memory_order_relaxed))
        return;
    if (info.isWindowsNT() && info.osVersion() >= 0x0600)
        nativeEntry = findGetTickCount64();
    // A system that should have the entry point but lacks it gets the emulation instead.
    tickModeDecided.store(true, std::memory_order_release);
}

} // namespace

SystemInfoImpl::SystemInfoImpl() {
    current.claim(this);
}

SystemInfoImpl::~SystemInfoImpl() {
    current.release(this);
}

SystemInfoImpl& SystemInfoImpl::instance() {
    SystemInfoImpl* impl = &current.obtain();
    if (!impl->queried.load(std::memory_order_acquire)) {
        CriticalSection::ScopedLock lock(libraryLock());
        if (!impl->queried.load(std::memory_order_relaxed)) {
            impl->query(&GetVersionExA, &GetVersion);
            // Whatever the answer: a failed query is not repeated.
            impl->queried.store(true, std::memory_order_release);
        }
    }
    return *impl;
}

bool SystemInfoImpl::query(GetVersionExFunction getVersionEx, GetVersionFunction getVersion) {
    // Only whether the system answers counts; the numbers are taken from GetVersion.
    OSVERSIONINFOEXA record{};
    record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    auto* plain = reinterpret_cast<LPOSVERSIONINFOA>(&record);
    if (!getVersionEx(plain)) {
        // Windows 9x and NT 4.0 before SP6 accept only the plain structure.
        record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!getVersionEx(plain))
            return false;
    }
    DWORD packed = getVersion();
    // A 3.95 stands for Windows 95, 98 or ME (4.0, 4.10, 4.90); the build number tells which.
    if ((packed & 0xFFFF) == 0x5F03) {
        const DWORD high = packed >> 16;
        packed = high >= 0x800 ? 0x5A04 : high < 0x70A ? 0x0004 : 0x0A04;
    }
    const DWORD major = packed & 0xFF;
    const DWORD minor = (packed >> 8) & 0xFF;
    version = static_cast<std::uint16_t>(major * 256 + minor);
    windowsNT = (packed & 0x80000000) == 0;
    return true;
}

SystemInfo::SystemInfo() : impl(&SystemInfoImpl::instance()) {}

bool SystemInfo::isWindowsNT() const {
    return impl->isWindowsNT();
}

std::uint16_t SystemInfo::osVersion() const {
    return impl->osVersion();
}

bool SystemInfo::fileApisAnsi() const {
    return AreFileApisANSI() != FALSE;
}

TickCount64Function nativeTickCount64() {
    if (!tickModeDecided.load(std::memory_order_acquire))
        decideTickMode();
    return nativeEntry;
}

std::uint64_t TickCounter::next() {
    std::uint64_t previous = last.load(std::memory_order_acquire);
    for (;;) {
        // Read after `previous`, never before: an older reading than the count it extends would
        // look like a wrap and add 2^32.
        const DWORD ticks = source();
        const std::uint64_t value =
            previous + static_cast<DWORD>(ticks - static_cast<DWORD>(previous));
        if (last.compare_exchange_weak(previous, value, std::memory_order_acq_rel,
                                       std::memory_order_acquire))
            return value;
    }
}

std::uint64_t tickCount64() {
    if (const TickCount64Function entry = nativeTickCount64())
        return entry();
    static TickCounter emulated(&GetTickCount);
    return emulated.next();
}

} // namespace kbs
