#include "kbs/errorlocations.h"

#include "kbs/singleton.h"

#include <atomic>
#include <iterator>
#include <memory>

namespace kbs {

namespace {

// The instance whose map is in use: set by the first instance made, cleared when it goes.
CurrentInstance<ErrorLocationInit> currentInstance;

} // namespace

ThreadRef::ThreadRef(HANDLE handle, DWORD id) : record(new Record{handle, id, 0}) {}

ThreadRef ThreadRef::current() {
    return ThreadRef(GetCurrentThread(), GetCurrentThreadId());
}

ThreadRef::ThreadRef(const ThreadRef& other) : record(other.record) {
    CriticalSection::ScopedLock lock(libraryLock());
    ++record->shares;
}

ThreadRef& ThreadRef::operator=(const ThreadRef& other) {
    if (record != other.record) {
        {
            CriticalSection::ScopedLock lock(libraryLock());
            ++other.record->shares;
        }
        release();
        record = other.record;
    }
    return *this;
}

ThreadRef::~ThreadRef() {
    release();
}

void ThreadRef::release() noexcept {
    {
        CriticalSection::ScopedLock lock(libraryLock());
        if (record->shares > 0) {
            --record->shares;
            return;
        }
    }
    if (record->handle != INVALID_HANDLE_VALUE && record->handle != GetCurrentThread())
        CloseHandle(record->handle);
    delete record;
}

ErrorLocationInit::ErrorLocationInit() {
    currentInstance.claim(this);
}

ErrorLocationInit::~ErrorLocationInit() {
    currentInstance.release(this);
}

ErrorLocationInit& ErrorLocationInit::instance() {
    return currentInstance.obtain();
}

ErrorLocationInit::Stack& ErrorLocationInit::ownStack() {
    CriticalSection::ScopedLock locked(lock);
    auto found = stacks.find(GetCurrentThreadId());
    if (found == stacks.end())
        found = stacks.emplace(ThreadRef::current(), Stack()).first;
    return found->second;
}

void ErrorLocationInit::popCurrent() noexcept {
    ErrorLocationInit* instance = currentInstance.get();
    if (!instance)
        return;
    Stack* stack = nullptr;
    {
        CriticalSection::ScopedLock locked(instance->lock);
        const auto found = instance->stacks.find(GetCurrentThreadId());
        if (found != instance->stacks.end())
            stack = &found->second;
    }
    if (stack && !stack->empty())
        stack->pop_back();
}

ErrorLocationGuard::ErrorLocationGuard(const StringBase<char>& text, bool chained) {
    ErrorLocationInit::instance().ownStack().push_back({text, chained});
}

ErrorLocationGuard::~ErrorLocationGuard() {
    ErrorLocationInit::popCurrent();
}

StringBase<char> currentErrorLocation() {
    const ErrorLocationInit::Stack& stack = ErrorLocationInit::instance().ownStack();
    if (stack.empty())
        return emptyString();
    auto entry = stack.rbegin();
    StringBase<char> location = entry->text;
    while (entry->chained && std::next(entry) != stack.rend()) {
        ++entry;
        location.insert(0, ", ");
        location.insert(0, entry->text);
    }
    return location;
}

} // namespace kbs
