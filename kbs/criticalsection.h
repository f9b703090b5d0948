// The library's one lock type, over a Windows critical section (re-entrant for its owner).
#ifndef KBS_CRITICALSECTION_H
#define KBS_CRITICALSECTION_H

#include <windows.h>

#include <memory>

namespace kbs {

class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter();
    void leave();

    class ScopedLock {
    public:
        explicit ScopedLock(CriticalSection& section) : section(section) { section.enter(); }
        ~ScopedLock() { section.leave(); }
        ScopedLock(const ScopedLock&) = delete;
        ScopedLock& operator=(const ScopedLock&) = delete;

    private:
        CriticalSection& section;
    };

private:
    std::unique_ptr<CRITICAL_SECTION> section;
};

// The process-wide lock of the library, for short sections only.
CriticalSection& libraryLock();

} // namespace kbs

#endif
