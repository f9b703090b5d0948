#include "kbs/criticalsection.h"

#include "kbs/singleton.h"

namespace kbs {

CriticalSection::CriticalSection() : section(std::make_unique<CRITICAL_SECTION>()) {
    InitializeCriticalSection(section.get());
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(section.get());
}

void CriticalSection::enter() {
    EnterCriticalSection(section.get());
}

void CriticalSection::leave() {
    LeaveCriticalSection(section.get());
}

CriticalSection& libraryLock() {
    static std::atomic<CriticalSection*> slot{nullptr};
    return processWide(slot);
}

} // namespace kbs
