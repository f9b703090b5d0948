// Error locations: each thread keeps a stack of texts naming the operations in progress, so that an
// exception made inside them records where it happened. Guards push and pop the entries.
#ifndef KBS_ERRORLOCATIONS_H
#define KBS_ERRORLOCATIONS_H

#include "kbs/criticalsection.h"
#include "kbs/strings.h"

#include <windows.h>

#include <map>
#include <vector>

namespace kbs {

// A thread handle and id shared by its copies; the last one to go closes the handle unless it is
// the pseudo handle or INVALID_HANDLE_VALUE.
class ThreadRef {
public:
    // Takes over `handle`.
    ThreadRef(HANDLE handle, DWORD id);
    // The calling thread, by its pseudo handle.
    static ThreadRef current();
    ThreadRef(const ThreadRef& other);
    ThreadRef& operator=(const ThreadRef& other);
    ~ThreadRef();

    HANDLE handle() const { return record->handle; }
    DWORD id() const { return record->id; }

    // Orders by thread id; also compares with a plain id.
    struct ById {
        using is_transparent = void;
        bool operator()(const ThreadRef& a, const ThreadRef& b) const { return a.id() < b.id(); }
        bool operator()(const ThreadRef& a, DWORD b) const { return a.id() < b; }
        bool operator()(DWORD a, const ThreadRef& b) const { return a < b.id(); }
    };

private:
    struct Record {
        HANDLE handle;
        DWORD id;
        // Holders besides the first; changed under libraryLock().
        unsigned shares;
    };
    void release() noexcept;

    Record* record;
};

// Owns every thread's stack of locations. The first instance made becomes the current one, which
// all guards use, until it is destroyed; its destruction ends every thread's stack. The automatic
// initialiser makes one at process attach; before that, instance() makes one on first use.
class ErrorLocationInit {
public:
    ErrorLocationInit();
    ~ErrorLocationInit();
    ErrorLocationInit(const ErrorLocationInit&) = delete;
    ErrorLocationInit& operator=(const ErrorLocationInit&) = delete;

    // The current instance, made now (and deleted at shutdown) if there is none.
    static ErrorLocationInit& instance();

private:
    friend class ErrorLocationGuard;
    friend StringBase<char> currentErrorLocation();

    struct Entry {
        StringBase<char> text;
        // Continues the location of the entry below.
        bool chained;
    };
    using Stack = std::vector<Entry>;

    // The calling thread's stack, made if absent. Only its own thread touches it, and map nodes
    // never move, so the stack itself is used without the lock.
    Stack& ownStack();
    // Pops the calling thread's top entry, if any, without making anything.
    static void popCurrent() noexcept;

    CriticalSection lock;
    std::map<ThreadRef, Stack, ThreadRef::ById> stacks;
};

// Names an operation for as long as it lives: pushes {text, chained} on the calling thread's stack
// and pops it again. A chained entry continues the location below it.
class ErrorLocationGuard {
public:
    ErrorLocationGuard(const StringBase<char>& text, bool chained);
    ~ErrorLocationGuard();
    ErrorLocationGuard(const ErrorLocationGuard&) = delete;
    ErrorLocationGuard& operator=(const ErrorLocationGuard&) = delete;
};

// The top entry of the calling thread's stack, preceded (", " between) by the entries below it as
// long as each entry taken is chained; empty when the stack is empty.
StringBase<char> currentErrorLocation();

} // namespace kbs

#endif
