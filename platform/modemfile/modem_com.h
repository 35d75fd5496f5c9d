// What a modem behind the Mobile Broadband API hands over COM: texts as BSTRs, bytes as
// one-dimensional VT_UI1 arrays. Shared by the simulated modem and the stand-in of the Wine runs;
// inline, so that each takes the COM calls of its own face.
#pragma once

#include <cstring>
#include <string>

#include "platform/com.h"

namespace modemfile {

// A zero-terminated wide text as UTF-8.
inline std::string WideToUtf8Text(const WCHAR* text) {
    if (!text) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

// UTF-8 in; the caller frees it (SysFreeString).
inline BSTR NewBstr(const std::string& text) {
    if (text.empty()) return SysAllocStringLen(nullptr, 0);
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::basic_string<WCHAR> wide(static_cast<std::size_t>(n), WCHAR{0});
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// Lower bound 0; the caller destroys it.
inline SAFEARRAY* NewByteArray(const std::string& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) return nullptr;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
    }
    return array;
}

// The bytes of a command as the system hands them: a one-dimensional VT_UI1 array. False for
// anything else.
inline bool ReadByteArray(SAFEARRAY* data, std::string* bytes) {
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0, upper = -1;
    if (!data || FAILED(SafeArrayGetVartype(data, &vt)) || vt != VT_UI1 || SafeArrayGetDim(data) != 1 ||
        FAILED(SafeArrayGetLBound(data, 1, &lower)) || FAILED(SafeArrayGetUBound(data, 1, &upper)))
        return false;
    bytes->clear();
    if (upper < lower) return true;
    void* raw = nullptr;
    if (FAILED(SafeArrayAccessData(data, &raw))) return false;
    bytes->assign(static_cast<const char*>(raw), static_cast<std::size_t>(upper - lower + 1));
    SafeArrayUnaccessData(data);
    return true;
}

}  // namespace modemfile
