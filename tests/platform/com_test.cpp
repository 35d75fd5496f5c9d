#include <atomic>
#include <cstring>
#include <string>

#include "platform/com.h"
#include "platform/mbn.h"
#include "platform/sim/modem.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;

class ComTest : public SimTest {};

// A plain object whose reference count the tests read.
class Counted final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown) {
            AddRef();
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    std::atomic<ULONG> refs{1};
};

TEST(ComValues, HresultsAndIds) {
    EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_NOINTERFACE), 0x80004002u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_POINTER), 0x80004003u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_INVALIDARG), 0x80070057u);
    EXPECT_EQ(static_cast<std::uint32_t>(CONNECT_E_NOCONNECTION), 0x80040200u);
    EXPECT_EQ(CLSCTX_ALL, 0x17u);
    EXPECT_TRUE(SUCCEEDED(S_OK));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_FALSE(FAILED(S_FALSE));

    EXPECT_TRUE(IID_IUnknown == IID_IUnknown);
    EXPECT_FALSE(IID_IMbnInterface == IID_IMbnInterfaceEvents);  // differ in Data2 only
    GUID changed = IID_IMbnDeviceServicesEvents;
    changed.Data4[7] ^= 1;
    EXPECT_FALSE(IsEqualIID(changed, IID_IMbnDeviceServicesEvents));
    EXPECT_FALSE(IsEqualCLSID(CLSID_MbnInterfaceManager, CLSID_MbnDeviceServicesManager));
}

TEST_F(ComTest, ApartmentsCountAndRefuseTheOtherModel) {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // one too many: ignored
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
}

DWORD CreateOnThread(LPVOID result) {
    IUnknown* manager = nullptr;
    *static_cast<HRESULT*>(result) = CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL,
                                                      IID_IMbnInterfaceManager, reinterpret_cast<void**>(&manager));
    if (manager) manager->Release();
    return 0;
}

HRESULT CreateOnFreshThread() {
    HRESULT result = E_UNEXPECTED;
    HANDLE thread = CreateThread(nullptr, 0, CreateOnThread, &result, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return result;
}

TEST_F(ComTest, CreatingNeedsAnApartmentOrTheMultithreadedOne) {
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CreateOnFreshThread(), CO_E_NOTINITIALIZED);

    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    // Another thread of the process lives in the multithreaded apartment now.
    EXPECT_EQ(CreateOnFreshThread(), S_OK);

    EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnDeviceServicesManager,
                               reinterpret_cast<void**>(&object)),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    Counted outer;
    EXPECT_EQ(CoCreateInstance(CLSID_MbnInterfaceManager, &outer, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(CoCreateInstance(CLSID_MbnDeviceServicesManager, nullptr, CLSCTX_ALL, IID_IMbnDeviceServicesManager,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();

    CoUninitialize();
    EXPECT_EQ(CreateOnFreshThread(), CO_E_NOTINITIALIZED);
}

TEST_F(ComTest, FaultedInitialisationFails) {
    machine().modem().SetFault(sim::ModemFault::CoInitialize, E_OUTOFMEMORY);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), E_OUTOFMEMORY);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
}

TEST(ComBstr, LengthPrefixedAndZeroTerminated) {
    std::size_t before = sim::LiveBstrs();
    BSTR text = SysAllocString(u"{ab}");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 4u);
    EXPECT_EQ(std::u16string(text), u"{ab}");
    BSTR inner = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(inner), 3u);
    EXPECT_EQ(inner[3], u'\0');
    EXPECT_EQ(sim::LiveBstrs(), before + 2);
    SysFreeString(text);
    SysFreeString(inner);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(sim::LiveBstrs(), before);
}

TEST(ComSafeArray, BytesWithBoundsAndLocks) {
    std::size_t before = sim::LiveSafeArrays();
    SAFEARRAYBOUND bound{3, 0};
    SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(sim::LiveSafeArrays(), before + 1);
    for (LONG i = 0; i < 3; ++i) {
        BYTE value = static_cast<BYTE>('a' + i);
        EXPECT_EQ(SafeArrayPutElement(array, &i, &value), S_OK);
    }
    LONG outside = 3;
    BYTE value = 0;
    EXPECT_EQ(SafeArrayPutElement(array, &outside, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetElement(array, &outside, &value), DISP_E_BADINDEX);
    outside = -1;
    EXPECT_EQ(SafeArrayGetElement(array, &outside, &value), DISP_E_BADINDEX);
    LONG one = 1;
    EXPECT_EQ(SafeArrayGetElement(array, &one, &value), S_OK);
    EXPECT_EQ(value, 'b');

    LONG lower = -7, upper = -7;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 2);
    EXPECT_EQ(SafeArrayGetLBound(array, 2, &lower), DISP_E_BADINDEX);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
    EXPECT_EQ(vt, VT_UI1);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);

    void* data = nullptr;
    EXPECT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(std::memcmp(data, "abc", 3), 0);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(sim::LiveSafeArrays(), before);

    SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);

    SAFEARRAYBOUND two[2] = {{1, 0}, {1, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, two), nullptr);
    EXPECT_EQ(SafeArrayCreate(0x4000, 1, two), nullptr);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &lower), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(ComSafeArray, EveryElementOfEveryDimensionIsFreed) {
    const std::size_t arrays = sim::LiveSafeArrays();
    const std::size_t texts = sim::LiveBstrs();
    SAFEARRAYBOUND bounds[3] = {{2, 0}, {3, 5}, {2, -1}};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 3, bounds);
    ASSERT_NE(array, nullptr);
    BSTR text = SysAllocString(u"x");
    for (LONG a = 0; a < 2; ++a)
        for (LONG b = 5; b < 8; ++b)
            for (LONG c = -1; c < 1; ++c) {
                LONG at[3] = {a, b, c};
                EXPECT_EQ(SafeArrayPutElement(array, at, text), S_OK);
            }
    SysFreeString(text);
    EXPECT_EQ(sim::LiveBstrs(), texts + 12);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(sim::LiveBstrs(), texts);
    EXPECT_EQ(sim::LiveSafeArrays(), arrays);
}

TEST(ComSafeArray, InterfaceElementsAreReferenced) {
    Counted object;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 5, 2);
    ASSERT_NE(array, nullptr);
    LONG index = 5;
    EXPECT_EQ(SafeArrayPutElement(array, &index, static_cast<IUnknown*>(&object)), S_OK);
    EXPECT_EQ(object.refs, 2u);
    IUnknown* got = nullptr;
    EXPECT_EQ(SafeArrayGetElement(array, &index, &got), S_OK);
    EXPECT_EQ(got, &object);
    EXPECT_EQ(object.refs, 3u);
    got->Release();
    index = 6;
    EXPECT_EQ(SafeArrayGetElement(array, &index, &got), S_OK);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(object.refs, 1u);
}

TEST(ComCodePages, AnsiIsWindows1252) {
    const char ansi[] = "A\x80\xE9";
    WCHAR wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 8), 4);
    EXPECT_EQ(std::u16string(wide), u"A\u20AC\u00E9");
    EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, ansi, 2, wide, 8), 2);

    char back[8] = {};
    BOOL usedDefault = TRUE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"A\u20AC\u00E9", -1, back, 8, nullptr, &usedDefault), 4);
    EXPECT_STREQ(back, ansi);
    EXPECT_EQ(usedDefault, FALSE);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u4E2D!", -1, back, 8, nullptr, &usedDefault), 3);
    EXPECT_STREQ(back, "?!");
    EXPECT_EQ(usedDefault, TRUE);
}

TEST(ComCodePages, Utf8RoundTripAndSizes) {
    const char utf8[] = "\xE4\xB8\xAD\xF0\x9F\x98\x80x";  // U+4E2D, U+1F600, x
    WCHAR wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 8), 5);
    EXPECT_EQ(std::u16string(wide), u"\u4E2D\U0001F600x");
    char back[16] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, 16, nullptr, nullptr), 9);
    EXPECT_STREQ(back, utf8);

    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3(", 2, wide, 8), 2);  // a broken sequence
    EXPECT_EQ(wide[0], u'\uFFFD');

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, back, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(1234, 0, "a", 1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, wide, 8), 0);
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, back, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
