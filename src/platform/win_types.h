// Basic Windows types, constants and error codes the tool uses.
// On Windows the real headers provide them; on POSIX this file stands in,
// with the same names and values, so the product code reads the same on both.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

using DWORD = std::uint32_t;
using BOOL = int;
using BYTE = std::uint8_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct HandleObject;
using HANDLE = HandleObject*;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~std::uintptr_t{0}))

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD MAXDWORD = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

DWORD GetLastError();
void SetLastError(DWORD code);
#endif
