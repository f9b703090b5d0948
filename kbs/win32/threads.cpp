#include "handles.h"
#include "windows.h"

#include <unistd.h>

// InitializeCriticalSection: a lock the owning thread may enter again, as on Windows.
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&lpCriticalSection->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

// EnterCriticalSection: waits for ownership, or counts one more entry by the owner.
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_lock(&lpCriticalSection->mutex);
}

// LeaveCriticalSection: releases one entry; the last one lets other threads in.
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_unlock(&lpCriticalSection->mutex);
}

// DeleteCriticalSection: frees a critical section nobody owns.
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_destroy(&lpCriticalSection->mutex);
}

// GetCurrentThreadId: the system-wide id of the calling thread.
DWORD WINAPI GetCurrentThreadId(void) {
    return static_cast<DWORD>(gettid());
}

// GetCurrentThread: the pseudo handle that stands for the calling thread, the same value as on
// Windows.
HANDLE WINAPI GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

// CloseHandle: closes a file handle; the thread pseudo handle is left alone, as on Windows.
BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentThread())
        return TRUE;
    return kbs::win32::closeFileHandle(hObject) ? TRUE : FALSE;
}
