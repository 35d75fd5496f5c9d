// COM and automation: interfaces, class and interface ids, apartments,
// connection points, SAFEARRAYs, BSTRs and the code-page
// conversions used at the COM boundary.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ocidl.h>
#else
#define STDMETHODCALLTYPE

#include "platform/types.h"

// ---- HRESULTs -----------------------------------------------------------

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
constexpr HRESULT RPC_E_DISCONNECTED = static_cast<HRESULT>(0x80010108);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = static_cast<HRESULT>(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000B);
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000D);

// ---- ids ------------------------------------------------------------------

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
constexpr bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

// ---- interfaces -------------------------------------------------------------

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Every slot in Windows' order; the enumerators are never asked for here.
struct IConnectionPointContainer;
struct IEnumConnections;
struct IEnumConnectionPoints;

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    // The sink is asked for the connection's events interface; that reference
    // is held until Unadvise. Cookies are never 0.
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    // Once it has returned, no call reaches the sink any more (a call in
    // progress on another thread is waited for).
    virtual HRESULT Unadvise(DWORD cookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

inline constexpr IID IID_IConnectionPointContainer{
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

// ---- apartments and classes ---------------------------------------------------

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// S_OK for the thread's first call, S_FALSE when already initialised in the
// same model (both to be balanced by CoUninitialize), RPC_E_CHANGED_MODE for
// the other model.
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();
// CO_E_NOTINITIALIZED unless this thread, or some thread for the multithreaded
// apartment, has initialised COM.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid, LPVOID* object);

// ---- BSTR -------------------------------------------------------------------

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using VARIANT_BOOL = SHORT;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// A length-prefixed, zero-terminated wide string. Null in gives null out.
BSTR SysAllocString(LPCOLESTR text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

// ---- SAFEARRAY ----------------------------------------------------------------

using VARTYPE = USHORT;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_I1 = 16;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_UI4 = 19;

constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

// Element types: VT_UI1, VT_I1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_BSTR,
// VT_UNKNOWN; anything else gives null. `bounds` holds one bound a dimension,
// dimension 1 first; the header keeps them as Windows does, the last first.
// An element's indices come dimension 1 first, and dimension 1 varies fastest
// in the data.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
// For VT_UNKNOWN `value` is the IUnknown pointer itself (stored with AddRef),
// for VT_BSTR the BSTR (stored as a copy); otherwise it points to the value.
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
// Copies the element to `*value`; an IUnknown comes with AddRef, a BSTR as a
// new copy, both the caller's to release.
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
UINT SafeArrayGetDim(SAFEARRAY* array);
// Releases interface elements and frees BSTR elements; a locked array stays.
HRESULT SafeArrayDestroy(SAFEARRAY* array);

// ---- code pages ----------------------------------------------------------------

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

// The ANSI code page is Windows-1252. A length of -1 converts through the
// terminating zero (which is counted); a zero-sized output asks for the size.
// 0 on failure with GetLastError set (ERROR_INSUFFICIENT_BUFFER,
// ERROR_INVALID_PARAMETER).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength, LPWSTR wide,
                        int wideLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multiByte,
                        int multiByteLength, LPCSTR defaultChar, LPBOOL usedDefaultChar);

#endif  // _WIN32
