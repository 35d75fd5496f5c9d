// The registry: HKEY_LOCAL_MACHINE and the calls the system makes on it.
// KEY_WOW64_32KEY opens "SOFTWARE\X" as "SOFTWARE\WOW6432Node\X"; other keys
// are the same in both views. Results are error numbers (ERROR_FILE_NOT_FOUND
// for a missing key or value, ERROR_MORE_DATA for a value larger than the
// caller's buffer, ERROR_ACCESS_DENIED for a right the handle lacks,
// ERROR_KEY_DELETED through a handle whose key was deleted). A change
// notification fires once and must be armed again; closing its handle fires it.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u));
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u));

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD REG_NOTIFY_CHANGE_NAME = 0x1;
constexpr DWORD REG_NOTIFY_CHANGE_ATTRIBUTES = 0x2;
constexpr DWORD REG_NOTIFY_CHANGE_LAST_SET = 0x4;
constexpr DWORD REG_NOTIFY_CHANGE_SECURITY = 0x8;

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options, REGSAM desired,
                        LPSECURITY_ATTRIBUTES attributes, PHKEY result, LPDWORD disposition);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter, HANDLE event, BOOL asynchronous);

#endif  // _WIN32
