// Windows build only. The Windows calls whose waits run on the platform clock
// (platform/clock.h) or whose bytes pass the port trace, and whose handles
// the layer counts (platform::LiveHandleCount). Product code calls them by
// their Windows names, as on POSIX; the macros below send those names to
// platform::win32, which calls the real API with the waits converted to real
// milliseconds.
//
// Thread contract: as the Windows functions of the same names.
#pragma once

#include <windows.h>

#include <cstddef>

namespace platform::win32 {
void Sleep(DWORD clockMs);
DWORD WaitForSingleObject(HANDLE handle, DWORD clockMs);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD clockMs);
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
HANDLE CreateThread(void* security, std::size_t stackSize, DWORD (*start)(void*), void* parameter, DWORD flags,
                    DWORD* threadId);
BOOL CloseHandle(HANDLE handle);

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security, DWORD creation, DWORD flags,
                   HANDLE templateFile);
BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
// Time-outs are in clock milliseconds; the port gets them in real ones.
BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts);
BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
BOOL PurgeComm(HANDLE port, DWORD flags);
BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status);
}  // namespace platform::win32

// The layer's own implementation files define KV_WIN32_REAL_CALLS to reach
// the real functions.
#ifndef KV_WIN32_REAL_CALLS
#define Sleep platform::win32::Sleep
#define WaitForSingleObject platform::win32::WaitForSingleObject
#define WaitForMultipleObjects platform::win32::WaitForMultipleObjects
#undef CreateEvent
#define CreateEventA platform::win32::CreateEventA
#define CreateThread platform::win32::CreateThread
#define CloseHandle platform::win32::CloseHandle
#undef CreateFile
#define CreateFileA platform::win32::CreateFileA
#define ReadFile platform::win32::ReadFile
#define WriteFile platform::win32::WriteFile
#define SetCommTimeouts platform::win32::SetCommTimeouts
#define GetCommTimeouts platform::win32::GetCommTimeouts
#define PurgeComm platform::win32::PurgeComm
#define ClearCommError platform::win32::ClearCommError
#endif
