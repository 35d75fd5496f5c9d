#include "platform/com.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/sim/hidden.h"
#include "platform/sim/modem_core.h"
#include "platform/sim/scheduler.h"

namespace {

// ---- apartments ---------------------------------------------------------------

// Per simulated thread; a different machine (serial) means a fresh apartment state.
struct Apartment {
    std::uint64_t serial = 0;
    std::uint64_t thread = 0;
    int count = 0;
    DWORD model = 0;
};
thread_local Apartment tlApartment;

Apartment& ThreadApartment(const sim::ModemCore& core) {
    const std::uint64_t thread = sim::CurrentThreadSerial();
    if (tlApartment.serial != core.serial || tlApartment.thread != thread)
        tlApartment = Apartment{core.serial, thread, 0, 0};
    return tlApartment;
}

// ---- BSTR -----------------------------------------------------------------------

std::atomic<std::size_t> liveBstrs{0};
std::atomic<std::size_t> liveArrays{0};

std::size_t WideLength(const WCHAR* text) {
    std::size_t n = 0;
    while (text[n]) ++n;
    return n;
}

// ---- SAFEARRAY -----------------------------------------------------------------

constexpr std::uint32_t kArrayMagic = 0x5341524Bu;

// The array's header is last, so that its bounds beyond the first follow it, as in Windows' own.
struct ArrayBlock {
    VARTYPE vt;
    std::uint32_t magic;
    SAFEARRAY array;
};

ArrayBlock* BlockOf(SAFEARRAY* array) {
    if (!array) return nullptr;
    auto* block = reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(array) - offsetof(ArrayBlock, array));
    return block->magic == kArrayMagic ? block : nullptr;
}

// Kept as Windows keeps them, the last dimension first; dimension 1 is the first one created.
SAFEARRAYBOUND& BoundOf(ArrayBlock* block, UINT dim) {
    SAFEARRAYBOUND* bounds = block->array.rgsabound;
    return bounds[block->array.cDims - dim];
}

std::size_t CellCount(ArrayBlock* block) {
    std::size_t count = 1;
    for (UINT dim = 1; dim <= block->array.cDims; ++dim) count *= BoundOf(block, dim).cElements;
    return count;
}

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_UI1:
        case VT_I1: return 1;
        case VT_I2:
        case VT_UI2: return 2;
        case VT_I4:
        case VT_UI4: return 4;
        case VT_BSTR:
        case VT_UNKNOWN: return sizeof(void*);
        default: return 0;
    }
}

// One index a dimension, the first dimension's first; it varies fastest, as in Windows' layout.
char* ElementAt(ArrayBlock* block, const LONG* indices) {
    std::int64_t cell = 0;
    std::int64_t stride = 1;
    for (UINT dim = 1; dim <= block->array.cDims; ++dim) {
        const SAFEARRAYBOUND& bound = BoundOf(block, dim);
        std::int64_t offset = static_cast<std::int64_t>(indices[dim - 1]) - bound.lLbound;
        if (offset < 0 || offset >= static_cast<std::int64_t>(bound.cElements)) return nullptr;
        cell += offset * stride;
        stride *= bound.cElements;
    }
    return static_cast<char*>(block->array.pvData) + cell * block->array.cbElements;
}

// ---- code pages -----------------------------------------------------------------

// Windows-1252 bytes 0x80 to 0x9F; the five undefined ones map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsAnsi(UINT codePage) { return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP; }

std::u16string DecodeAnsi(const unsigned char* bytes, std::size_t n) {
    std::u16string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = bytes[i];
        out.push_back(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
    }
    return out;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::u16string DecodeUtf8(const unsigned char* s, std::size_t n) {
    std::u16string out;
    std::size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? (c < 0xF0 ? 2 : -1) : c >= 0xC2 ? 1 : -1;
        char32_t cp = extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < n;
        if (ok) {
            for (int k = 1; k <= extra; ++k) {
                unsigned char d = s[i + static_cast<std::size_t>(k)];
                if ((d & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                cp = (cp << 6) | (d & 0x3F);
            }
        }
        if (ok) {
            bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
            if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
        }
        if (ok) {
            AppendUtf16(out, cp);
            i += static_cast<std::size_t>(extra) + 1;
        } else {
            out.push_back(0xFFFD);
            ++i;
        }
    }
    return out;
}

std::string EncodeAnsi(const char16_t* w, std::size_t n, char fallback, bool* usedDefault) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        char16_t c = w[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] == c) found = k;
        if (found >= 0) {
            out.push_back(static_cast<char>(0x80 + found));
        } else {
            out.push_back(fallback);
            *usedDefault = true;
        }
    }
    return out;
}

std::string EncodeUtf8(const char16_t* w, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = w[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace

// ---- apartments and classes -------------------------------------------------------

HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
    auto core = sim::CurrentModemCore();
    if (!core) return E_UNEXPECTED;
    if (HRESULT fault = core->Fault(sim::ModemFault::CoInitialize); FAILED(fault)) return fault;
    DWORD model = coInit & COINIT_APARTMENTTHREADED;
    Apartment& apartment = ThreadApartment(*core);
    if (apartment.count > 0) {
        if (apartment.model != model) return RPC_E_CHANGED_MODE;
        ++apartment.count;
        return S_FALSE;
    }
    apartment.count = 1;
    apartment.model = model;
    if (model == COINIT_MULTITHREADED) sim::HiddenIncrement(core->mtaThreads);
    return S_OK;
}

void CoUninitialize() {
    auto core = sim::CurrentModemCore();
    if (!core) return;
    Apartment& apartment = ThreadApartment(*core);
    if (apartment.count == 0) return;
    if (--apartment.count == 0 && apartment.model == COINIT_MULTITHREADED) sim::HiddenDecrement(core->mtaThreads);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto core = sim::CurrentModemCore();
    if (!core) return CO_E_NOTINITIALIZED;
    if (ThreadApartment(*core).count == 0 && core->mtaThreads.load() == 0) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* instance = nullptr;
    if (IsEqualCLSID(clsid, CLSID_MbnInterfaceManager)) {
        if (HRESULT fault = core->Fault(sim::ModemFault::CreateInterfaceManager); FAILED(fault)) return fault;
        instance = sim::NewMbnInterfaceManager(core);
    } else if (IsEqualCLSID(clsid, CLSID_MbnDeviceServicesManager)) {
        if (HRESULT fault = core->Fault(sim::ModemFault::CreateDeviceServicesManager); FAILED(fault)) return fault;
        instance = sim::NewMbnDeviceServicesManager(core);
    } else {
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = instance->QueryInterface(riid, object);
    instance->Release();
    return hr;
}

// ---- BSTR ---------------------------------------------------------------------------

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    // Layout: 32-bit byte count, the characters, a zero character.
    std::size_t bytes = sizeof(std::uint32_t) + (static_cast<std::size_t>(length) + 1) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    if (!block) return nullptr;
    std::uint32_t byteCount = length * static_cast<std::uint32_t>(sizeof(OLECHAR));
    std::memcpy(block, &byteCount, sizeof byteCount);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(std::uint32_t));
    if (text)
        std::memcpy(chars, text, length * sizeof(OLECHAR));
    else
        std::memset(chars, 0, length * sizeof(OLECHAR));
    chars[length] = 0;
    sim::HiddenIncrement(liveBstrs);
    return chars;
}

BSTR SysAllocString(LPCOLESTR text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(WideLength(text)));
}

void SysFreeString(BSTR text) {
    if (!text) return;
    sim::HiddenDecrement(liveBstrs);
    std::free(reinterpret_cast<unsigned char*>(text) - sizeof(std::uint32_t));
}

UINT SysStringLen(BSTR text) {
    if (!text) return 0;
    std::uint32_t byteCount = 0;
    std::memcpy(&byteCount, reinterpret_cast<unsigned char*>(text) - sizeof(std::uint32_t), sizeof byteCount);
    return byteCount / sizeof(OLECHAR);
}

// ---- SAFEARRAY ----------------------------------------------------------------------

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
    ULONG size = ElementSize(vt);
    if (dims == 0 || dims > 0xFFFF || !bounds || size == 0) return nullptr;
    std::uint64_t count = 1;
    for (UINT dim = 0; dim < dims; ++dim) {
        count *= bounds[dim].cElements;
        if (count * size > 0xFFFFFFFFu) return nullptr;
    }
    const std::size_t blockSize = offsetof(ArrayBlock, array) + sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<ArrayBlock*>(std::calloc(1, blockSize));
    if (!block) return nullptr;
    block->array.pvData = std::calloc(count ? count : 1, size);
    if (!block->array.pvData) {
        std::free(block);
        return nullptr;
    }
    block->array.cDims = static_cast<USHORT>(dims);
    block->array.cbElements = size;
    SAFEARRAYBOUND* kept = block->array.rgsabound;
    for (UINT dim = 0; dim < dims; ++dim) kept[dims - 1 - dim] = bounds[dim];
    block->array.fFeatures = FADF_HAVEVARTYPE | (vt == VT_BSTR ? FADF_BSTR : 0) | (vt == VT_UNKNOWN ? FADF_UNKNOWN : 0);
    block->vt = vt;
    block->magic = kArrayMagic;
    sim::HiddenIncrement(liveArrays);
    return &block->array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
    ArrayBlock* block = BlockOf(array);
    if (!block || !indices) return E_INVALIDARG;
    char* slot = ElementAt(block, indices);
    if (!slot) return DISP_E_BADINDEX;
    if (block->vt == VT_UNKNOWN) {
        auto* object = static_cast<IUnknown*>(value);
        if (object) object->AddRef();
        IUnknown* old = nullptr;
        std::memcpy(&old, slot, sizeof old);
        std::memcpy(slot, &object, sizeof object);
        if (old) old->Release();
    } else if (block->vt == VT_BSTR) {
        BSTR copy = value ? SysAllocStringLen(static_cast<BSTR>(value), SysStringLen(static_cast<BSTR>(value))) : nullptr;
        BSTR old = nullptr;
        std::memcpy(&old, slot, sizeof old);
        std::memcpy(slot, &copy, sizeof copy);
        SysFreeString(old);
    } else {
        if (!value) return E_INVALIDARG;
        std::memcpy(slot, value, block->array.cbElements);
    }
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
    ArrayBlock* block = BlockOf(array);
    if (!block || !indices || !value) return E_INVALIDARG;
    char* slot = ElementAt(block, indices);
    if (!slot) return DISP_E_BADINDEX;
    if (block->vt == VT_UNKNOWN) {
        IUnknown* object = nullptr;
        std::memcpy(&object, slot, sizeof object);
        if (object) object->AddRef();
        std::memcpy(value, &object, sizeof object);
    } else if (block->vt == VT_BSTR) {
        BSTR text = nullptr;
        std::memcpy(&text, slot, sizeof text);
        BSTR copy = text ? SysAllocStringLen(text, SysStringLen(text)) : nullptr;
        std::memcpy(value, &copy, sizeof copy);
    } else {
        std::memcpy(value, slot, block->array.cbElements);
    }
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
    ArrayBlock* block = BlockOf(array);
    if (!block || !data) return E_INVALIDARG;
    ++block->array.cLocks;
    *data = block->array.pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
    ArrayBlock* block = BlockOf(array);
    if (!block) return E_INVALIDARG;
    if (block->array.cLocks == 0) return E_UNEXPECTED;
    --block->array.cLocks;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound) {
    ArrayBlock* block = BlockOf(array);
    if (!block || !lowerBound) return E_INVALIDARG;
    if (dim == 0 || dim > block->array.cDims) return DISP_E_BADINDEX;
    *lowerBound = BoundOf(block, dim).lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound) {
    ArrayBlock* block = BlockOf(array);
    if (!block || !upperBound) return E_INVALIDARG;
    if (dim == 0 || dim > block->array.cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = BoundOf(block, dim);
    *upperBound = static_cast<LONG>(static_cast<std::int64_t>(bound.lLbound) + bound.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
    ArrayBlock* block = BlockOf(array);
    if (!block || !vt) return E_INVALIDARG;
    *vt = block->vt;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) {
    ArrayBlock* block = BlockOf(array);
    return block ? block->array.cDims : 0;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (!array) return S_OK;
    ArrayBlock* block = BlockOf(array);
    if (!block) return E_INVALIDARG;
    if (block->array.cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if (block->vt == VT_UNKNOWN || block->vt == VT_BSTR) {
        const std::size_t cells = CellCount(block);
        for (std::size_t i = 0; i < cells; ++i) {
            void* element = nullptr;
            std::memcpy(&element, static_cast<char*>(block->array.pvData) + i * sizeof(void*), sizeof element);
            if (!element) continue;
            if (block->vt == VT_UNKNOWN)
                static_cast<IUnknown*>(element)->Release();
            else
                SysFreeString(static_cast<BSTR>(element));
        }
    }
    std::free(block->array.pvData);
    block->magic = 0;
    std::free(block);
    sim::HiddenDecrement(liveArrays);
    return S_OK;
}

// ---- code pages -----------------------------------------------------------------------

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR multiByte, int multiByteLength, LPWSTR wide, int wideLength) {
    if (!multiByte || multiByteLength == 0 || multiByteLength < -1 || wideLength < 0 || (wideLength > 0 && !wide) ||
        (!IsAnsi(codePage) && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t n = multiByteLength == -1 ? std::strlen(multiByte) + 1 : static_cast<std::size_t>(multiByteLength);
    const auto* bytes = reinterpret_cast<const unsigned char*>(multiByte);
    std::u16string text = codePage == CP_UTF8 ? DecodeUtf8(bytes, n) : DecodeAnsi(bytes, n);
    if (wideLength == 0) return static_cast<int>(text.size());
    if (text.size() > static_cast<std::size_t>(wideLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(wide, text.data(), text.size() * sizeof(WCHAR));
    return static_cast<int>(text.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR multiByte, int multiByteLength,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    bool utf8 = codePage == CP_UTF8;
    if (!wide || wideLength == 0 || wideLength < -1 || multiByteLength < 0 || (multiByteLength > 0 && !multiByte) ||
        (!IsAnsi(codePage) && !utf8) || (utf8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t n = wideLength == -1 ? WideLength(wide) + 1 : static_cast<std::size_t>(wideLength);
    bool usedDefault = false;
    std::string text = utf8 ? EncodeUtf8(wide, n) : EncodeAnsi(wide, n, defaultChar ? *defaultChar : '?', &usedDefault);
    if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    if (multiByteLength == 0) return static_cast<int>(text.size());
    if (text.size() > static_cast<std::size_t>(multiByteLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, text.data(), text.size());
    return static_cast<int>(text.size());
}

namespace sim {
std::size_t LiveBstrs() { return liveBstrs.load(); }
std::size_t LiveSafeArrays() { return liveArrays.load(); }
}  // namespace sim
