// The binary shape of the COM interfaces and types the system uses, as the
// Windows face declares them (ours for the Mobile Broadband API, mingw-w64's for
// the connection points): each method's type, its slot, the ids, the enum values
// and the structures' layout. Compiled in both faces: the simulation shares
// these declarations, and the Windows build runs this program under Wine.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/com.h"
#include "platform/mbn.h"

namespace {

// ---- each method's type: return, parameter types and their order ----------
// Written from Microsoft's reference pages, apart from the declarations, so a
// parameter moved or retyped in either no longer compiles.
#define KV_METHOD(interface, method, result, ...)                                                       \
    static_assert(std::is_same_v<decltype(&interface::method), result (STDMETHODCALLTYPE interface::*)(__VA_ARGS__)>, \
                  #interface "::" #method " has another type")

// mingw-w64 adds a template overload of QueryInterface: the cast compiles only
// if one overload has exactly this type.
static_assert(std::is_same_v<decltype(static_cast<HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**)>(
                                 &IUnknown::QueryInterface)),
                             HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**)>);
KV_METHOD(IUnknown, AddRef, ULONG);
KV_METHOD(IUnknown, Release, ULONG);

KV_METHOD(IConnectionPointContainer, EnumConnectionPoints, HRESULT, IEnumConnectionPoints**);
KV_METHOD(IConnectionPointContainer, FindConnectionPoint, HRESULT, REFIID, IConnectionPoint**);
KV_METHOD(IConnectionPoint, GetConnectionInterface, HRESULT, IID*);
KV_METHOD(IConnectionPoint, GetConnectionPointContainer, HRESULT, IConnectionPointContainer**);
KV_METHOD(IConnectionPoint, Advise, HRESULT, IUnknown*, DWORD*);
KV_METHOD(IConnectionPoint, Unadvise, HRESULT, DWORD);
KV_METHOD(IConnectionPoint, EnumConnections, HRESULT, IEnumConnections**);

KV_METHOD(IMbnInterfaceManager, GetInterface, HRESULT, LPCWSTR, IMbnInterface**);
KV_METHOD(IMbnInterfaceManager, GetInterfaces, HRESULT, SAFEARRAY**);

KV_METHOD(IMbnInterface, get_InterfaceID, HRESULT, BSTR*);
KV_METHOD(IMbnInterface, GetInterfaceCapability, HRESULT, MBN_INTERFACE_CAPS*);
KV_METHOD(IMbnInterface, GetSubscriberInformation, HRESULT, IMbnSubscriberInformation**);
KV_METHOD(IMbnInterface, GetReadyState, HRESULT, MBN_READY_STATE*);
KV_METHOD(IMbnInterface, InEmergencyMode, HRESULT, VARIANT_BOOL*);
KV_METHOD(IMbnInterface, GetHomeProvider, HRESULT, MBN_PROVIDER*);
KV_METHOD(IMbnInterface, GetPreferredProviders, HRESULT, SAFEARRAY**);
KV_METHOD(IMbnInterface, SetPreferredProviders, HRESULT, SAFEARRAY*, ULONG*);
KV_METHOD(IMbnInterface, GetVisibleProviders, HRESULT, ULONG*, SAFEARRAY**);
KV_METHOD(IMbnInterface, ScanNetwork, HRESULT, ULONG*);
KV_METHOD(IMbnInterface, GetConnection, HRESULT, IMbnConnection**);

KV_METHOD(IMbnSubscriberInformation, get_SubscriberID, HRESULT, BSTR*);
KV_METHOD(IMbnSubscriberInformation, get_SimIccID, HRESULT, BSTR*);
KV_METHOD(IMbnSubscriberInformation, get_TelephoneNumbers, HRESULT, SAFEARRAY**);

KV_METHOD(IMbnRegistration, GetRegisterState, HRESULT, MBN_REGISTER_STATE*);
KV_METHOD(IMbnRegistration, GetRegisterMode, HRESULT, MBN_REGISTER_MODE*);
KV_METHOD(IMbnRegistration, GetProviderID, HRESULT, BSTR*);
KV_METHOD(IMbnRegistration, GetProviderName, HRESULT, BSTR*);
KV_METHOD(IMbnRegistration, GetRoamingText, HRESULT, BSTR*);
KV_METHOD(IMbnRegistration, GetAvailableDataClasses, HRESULT, ULONG*);
KV_METHOD(IMbnRegistration, GetCurrentDataClass, HRESULT, ULONG*);
KV_METHOD(IMbnRegistration, GetRegistrationNetworkError, HRESULT, ULONG*);
KV_METHOD(IMbnRegistration, GetPacketAttachNetworkError, HRESULT, ULONG*);
KV_METHOD(IMbnRegistration, SetRegisterMode, HRESULT, MBN_REGISTER_MODE, LPCWSTR, ULONG, ULONG*);

KV_METHOD(IMbnDeviceServicesManager, GetDeviceServicesContext, HRESULT, BSTR, IMbnDeviceServicesContext**);
KV_METHOD(IMbnDeviceServicesContext, EnumerateDeviceServices, HRESULT, SAFEARRAY**);
KV_METHOD(IMbnDeviceServicesContext, GetDeviceService, HRESULT, BSTR, IMbnDeviceService**);
KV_METHOD(IMbnDeviceServicesContext, get_MaxCommandSize, HRESULT, ULONG*);
KV_METHOD(IMbnDeviceServicesContext, get_MaxDataSize, HRESULT, ULONG*);

KV_METHOD(IMbnDeviceService, QuerySupportedCommands, HRESULT, ULONG*);
KV_METHOD(IMbnDeviceService, OpenCommandSession, HRESULT, ULONG*);
KV_METHOD(IMbnDeviceService, CloseCommandSession, HRESULT, ULONG*);
KV_METHOD(IMbnDeviceService, SetCommand, HRESULT, ULONG, SAFEARRAY*, ULONG*);
KV_METHOD(IMbnDeviceService, QueryCommand, HRESULT, ULONG, SAFEARRAY*, ULONG*);
KV_METHOD(IMbnDeviceService, OpenDataSession, HRESULT, ULONG*);
KV_METHOD(IMbnDeviceService, CloseDataSession, HRESULT, ULONG*);
KV_METHOD(IMbnDeviceService, WriteData, HRESULT, SAFEARRAY*, ULONG*);
KV_METHOD(IMbnDeviceService, get_InterfaceID, HRESULT, BSTR*);
KV_METHOD(IMbnDeviceService, get_DeviceServiceID, HRESULT, BSTR*);
KV_METHOD(IMbnDeviceService, get_IsCommandSessionOpen, HRESULT, BOOL*);
KV_METHOD(IMbnDeviceService, get_IsDataSessionOpen, HRESULT, BOOL*);

KV_METHOD(IMbnRegistrationEvents, OnRegisterModeAvailable, HRESULT, IMbnRegistration*);
KV_METHOD(IMbnRegistrationEvents, OnRegisterStateChange, HRESULT, IMbnRegistration*);
KV_METHOD(IMbnRegistrationEvents, OnPacketServiceStateChange, HRESULT, IMbnRegistration*);
KV_METHOD(IMbnRegistrationEvents, OnSetRegisterModeComplete, HRESULT, IMbnRegistration*, ULONG, HRESULT);

KV_METHOD(IMbnInterfaceEvents, OnInterfaceCapabilityAvailable, HRESULT, IMbnInterface*);
KV_METHOD(IMbnInterfaceEvents, OnSubscriberInformationChange, HRESULT, IMbnInterface*);
KV_METHOD(IMbnInterfaceEvents, OnReadyStateChange, HRESULT, IMbnInterface*);
KV_METHOD(IMbnInterfaceEvents, OnEmergencyModeChange, HRESULT, IMbnInterface*);
KV_METHOD(IMbnInterfaceEvents, OnHomeProviderAvailable, HRESULT, IMbnInterface*);
KV_METHOD(IMbnInterfaceEvents, OnPreferredProvidersChange, HRESULT, IMbnInterface*);
KV_METHOD(IMbnInterfaceEvents, OnSetPreferredProvidersComplete, HRESULT, IMbnInterface*, ULONG, HRESULT);
KV_METHOD(IMbnInterfaceEvents, OnScanNetworkComplete, HRESULT, IMbnInterface*, ULONG, HRESULT);

KV_METHOD(IMbnDeviceServicesEvents, OnQuerySupportedCommandsComplete, HRESULT, IMbnDeviceService*, SAFEARRAY*,
          HRESULT, ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnOpenCommandSessionComplete, HRESULT, IMbnDeviceService*, HRESULT, ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnCloseCommandSessionComplete, HRESULT, IMbnDeviceService*, HRESULT, ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnSetCommandComplete, HRESULT, IMbnDeviceService*, ULONG, SAFEARRAY*, HRESULT,
          ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnQueryCommandComplete, HRESULT, IMbnDeviceService*, ULONG, SAFEARRAY*, HRESULT,
          ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnEventNotification, HRESULT, IMbnDeviceService*, ULONG, SAFEARRAY*);
KV_METHOD(IMbnDeviceServicesEvents, OnOpenDataSessionComplete, HRESULT, IMbnDeviceService*, HRESULT, ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnCloseDataSessionComplete, HRESULT, IMbnDeviceService*, HRESULT, ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnWriteDataComplete, HRESULT, IMbnDeviceService*, HRESULT, ULONG);
KV_METHOD(IMbnDeviceServicesEvents, OnReadData, HRESULT, IMbnDeviceService*, SAFEARRAY*);
KV_METHOD(IMbnDeviceServicesEvents, OnInterfaceStateChange, HRESULT, BSTR, MBN_DEVICE_SERVICES_INTERFACE_STATE);

#undef KV_METHOD

// ---- the enums: size and every value -----------------------------------------
static_assert(sizeof(MBN_READY_STATE) == 4 && sizeof(MBN_REGISTER_STATE) == 4 && sizeof(MBN_REGISTER_MODE) == 4 &&
              sizeof(MBN_DEVICE_SERVICES_INTERFACE_STATE) == 4 && sizeof(MBN_DATA_CLASS) == 4);
static_assert(MBN_READY_STATE_OFF == 0 && MBN_READY_STATE_INITIALIZED == 1 && MBN_READY_STATE_SIM_NOT_INSERTED == 2 &&
              MBN_READY_STATE_BAD_SIM == 3 && MBN_READY_STATE_FAILURE == 4 && MBN_READY_STATE_NOT_ACTIVATED == 5 &&
              MBN_READY_STATE_DEVICE_LOCKED == 6 && MBN_READY_STATE_DEVICE_BLOCKED == 7 &&
              MBN_READY_STATE_NO_ESIM_PROFILE == 8);
static_assert(MBN_REGISTER_STATE_NONE == 0 && MBN_REGISTER_STATE_DEREGISTERED == 1 &&
              MBN_REGISTER_STATE_SEARCHING == 2 && MBN_REGISTER_STATE_HOME == 3 && MBN_REGISTER_STATE_ROAMING == 4 &&
              MBN_REGISTER_STATE_PARTNER == 5 && MBN_REGISTER_STATE_DENIED == 6);
static_assert(MBN_REGISTER_MODE_NONE == 0 && MBN_REGISTER_MODE_AUTOMATIC == 1 && MBN_REGISTER_MODE_MANUAL == 2);
static_assert(MBN_DEVICE_SERVICES_CAPABLE_INTERFACE_ARRIVAL == 0 && MBN_DEVICE_SERVICES_CAPABLE_INTERFACE_REMOVAL == 1);
static_assert(MBN_DATA_CLASS_NONE == 0 && MBN_DATA_CLASS_GPRS == 0x1 && MBN_DATA_CLASS_EDGE == 0x2 &&
              MBN_DATA_CLASS_UMTS == 0x4 && MBN_DATA_CLASS_HSDPA == 0x8 && MBN_DATA_CLASS_HSUPA == 0x10 &&
              MBN_DATA_CLASS_LTE == 0x20);

// ---- the two structures, as x64 Windows lays them out -------------------------
static_assert(sizeof(void*) == 8, "both faces are 64-bit");
static_assert(sizeof(MBN_PROVIDER) == 32 && offsetof(MBN_PROVIDER, providerID) == 0 &&
              offsetof(MBN_PROVIDER, providerState) == 8 && offsetof(MBN_PROVIDER, providerName) == 16 &&
              offsetof(MBN_PROVIDER, dataClass) == 24);
static_assert(sizeof(MBN_INTERFACE_CAPS) == 80 && offsetof(MBN_INTERFACE_CAPS, cellularClass) == 0 &&
              offsetof(MBN_INTERFACE_CAPS, voiceClass) == 4 && offsetof(MBN_INTERFACE_CAPS, dataClass) == 8 &&
              offsetof(MBN_INTERFACE_CAPS, customDataClass) == 16 && offsetof(MBN_INTERFACE_CAPS, gsmBandClass) == 24 &&
              offsetof(MBN_INTERFACE_CAPS, cdmaBandClass) == 28 &&
              offsetof(MBN_INTERFACE_CAPS, customBandClass) == 32 && offsetof(MBN_INTERFACE_CAPS, smsCaps) == 40 &&
              offsetof(MBN_INTERFACE_CAPS, controlCaps) == 44 && offsetof(MBN_INTERFACE_CAPS, deviceID) == 48 &&
              offsetof(MBN_INTERFACE_CAPS, manufacturer) == 56 && offsetof(MBN_INTERFACE_CAPS, model) == 64 &&
              offsetof(MBN_INTERFACE_CAPS, firmwareInfo) == 72);
static_assert(sizeof(ULONG) == 4 && sizeof(HRESULT) == 4 && sizeof(BOOL) == 4 && sizeof(VARIANT_BOOL) == 2 &&
              sizeof(WCHAR) == 2);


// Under the Itanium C++ ABI (GCC and Clang, mingw-w64 included) a pointer to a
// virtual member holds one more than the member's byte offset in the vtable.
template <class C, class R, class... A>
std::size_t SlotOf(R (C::*method)(A...)) {
    struct Representation {
        std::uintptr_t pointer;
        std::ptrdiff_t adjustment;
    } representation{};
    static_assert(sizeof(method) == sizeof(representation));
    std::memcpy(&representation, &method, sizeof representation);
    return (representation.pointer - 1) / sizeof(void*);
}

struct Slot {
    const char* name;
    std::size_t index;
};
#define KV_SLOT(interface, method) Slot{#method, SlotOf(&interface::method)}

// The list is Windows' order: its methods follow IUnknown's three slots.
void ExpectWindowsOrder(const std::vector<Slot>& slots) {
    for (std::size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i].index, 3 + i) << slots[i].name << " expected in slot " << 3 + i;
}

std::string Text(const GUID& id) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                  id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return text;
}

TEST(ComSlotOrder, IConnectionPointContainer) {
    ExpectWindowsOrder({KV_SLOT(IConnectionPointContainer, EnumConnectionPoints),
                        KV_SLOT(IConnectionPointContainer, FindConnectionPoint)});
    EXPECT_EQ(Text(IID_IConnectionPointContainer), "{B196B284-BAB4-101A-B69C-00AA00341D07}");
}

TEST(ComSlotOrder, IConnectionPoint) {
    ExpectWindowsOrder({KV_SLOT(IConnectionPoint, GetConnectionInterface),
                        KV_SLOT(IConnectionPoint, GetConnectionPointContainer), KV_SLOT(IConnectionPoint, Advise),
                        KV_SLOT(IConnectionPoint, Unadvise), KV_SLOT(IConnectionPoint, EnumConnections)});
    EXPECT_EQ(Text(IID_IConnectionPoint), "{B196B286-BAB4-101A-B69C-00AA00341D07}");
}

TEST(ComSlotOrder, IMbnInterfaceManager) {
    ExpectWindowsOrder(
        {KV_SLOT(IMbnInterfaceManager, GetInterface), KV_SLOT(IMbnInterfaceManager, GetInterfaces)});
    EXPECT_EQ(Text(IID_IMbnInterfaceManager), "{DCBBBAB6-201B-4BBB-AAEE-338E368AF6FA}");
    EXPECT_EQ(Text(CLSID_MbnInterfaceManager), "{BDFEE05B-4418-11DD-90ED-001C257CCFF1}");
}

TEST(ComSlotOrder, IMbnInterface) {
    ExpectWindowsOrder({KV_SLOT(IMbnInterface, get_InterfaceID), KV_SLOT(IMbnInterface, GetInterfaceCapability),
                        KV_SLOT(IMbnInterface, GetSubscriberInformation), KV_SLOT(IMbnInterface, GetReadyState),
                        KV_SLOT(IMbnInterface, InEmergencyMode), KV_SLOT(IMbnInterface, GetHomeProvider),
                        KV_SLOT(IMbnInterface, GetPreferredProviders), KV_SLOT(IMbnInterface, SetPreferredProviders),
                        KV_SLOT(IMbnInterface, GetVisibleProviders), KV_SLOT(IMbnInterface, ScanNetwork),
                        KV_SLOT(IMbnInterface, GetConnection)});
    EXPECT_EQ(Text(IID_IMbnInterface), "{DCBBBAB6-2001-4BBB-AAEE-338E368AF6FA}");
}

TEST(ComSlotOrder, IMbnSubscriberInformation) {
    ExpectWindowsOrder({KV_SLOT(IMbnSubscriberInformation, get_SubscriberID),
                        KV_SLOT(IMbnSubscriberInformation, get_SimIccID),
                        KV_SLOT(IMbnSubscriberInformation, get_TelephoneNumbers)});
    EXPECT_EQ(Text(IID_IMbnSubscriberInformation), "{459ECC43-BCF5-11DC-A8A8-001321F1405F}");
}

TEST(ComSlotOrder, IMbnRegistration) {
    ExpectWindowsOrder({KV_SLOT(IMbnRegistration, GetRegisterState), KV_SLOT(IMbnRegistration, GetRegisterMode),
                        KV_SLOT(IMbnRegistration, GetProviderID), KV_SLOT(IMbnRegistration, GetProviderName),
                        KV_SLOT(IMbnRegistration, GetRoamingText), KV_SLOT(IMbnRegistration, GetAvailableDataClasses),
                        KV_SLOT(IMbnRegistration, GetCurrentDataClass),
                        KV_SLOT(IMbnRegistration, GetRegistrationNetworkError),
                        KV_SLOT(IMbnRegistration, GetPacketAttachNetworkError),
                        KV_SLOT(IMbnRegistration, SetRegisterMode)});
    EXPECT_EQ(Text(IID_IMbnRegistration), "{DCBBBAB6-2009-4BBB-AAEE-338E368AF6FA}");
}

TEST(ComSlotOrder, IMbnRegistrationEvents) {
    ExpectWindowsOrder({KV_SLOT(IMbnRegistrationEvents, OnRegisterModeAvailable),
                        KV_SLOT(IMbnRegistrationEvents, OnRegisterStateChange),
                        KV_SLOT(IMbnRegistrationEvents, OnPacketServiceStateChange),
                        KV_SLOT(IMbnRegistrationEvents, OnSetRegisterModeComplete)});
    EXPECT_EQ(Text(IID_IMbnRegistrationEvents), "{DCBBBAB6-200A-4BBB-AAEE-338E368AF6FA}");
}

TEST(ComSlotOrder, IMbnInterfaceEvents) {
    ExpectWindowsOrder({KV_SLOT(IMbnInterfaceEvents, OnInterfaceCapabilityAvailable),
                        KV_SLOT(IMbnInterfaceEvents, OnSubscriberInformationChange),
                        KV_SLOT(IMbnInterfaceEvents, OnReadyStateChange),
                        KV_SLOT(IMbnInterfaceEvents, OnEmergencyModeChange),
                        KV_SLOT(IMbnInterfaceEvents, OnHomeProviderAvailable),
                        KV_SLOT(IMbnInterfaceEvents, OnPreferredProvidersChange),
                        KV_SLOT(IMbnInterfaceEvents, OnSetPreferredProvidersComplete),
                        KV_SLOT(IMbnInterfaceEvents, OnScanNetworkComplete)});
    EXPECT_EQ(Text(IID_IMbnInterfaceEvents), "{DCBBBAB6-2002-4BBB-AAEE-338E368AF6FA}");
}

TEST(ComSlotOrder, IMbnDeviceServicesManager) {
    ExpectWindowsOrder({KV_SLOT(IMbnDeviceServicesManager, GetDeviceServicesContext)});
    EXPECT_EQ(Text(IID_IMbnDeviceServicesManager), "{20A26258-6811-4478-AC1D-13324E45E41C}");
    EXPECT_EQ(Text(CLSID_MbnDeviceServicesManager), "{2269DAA3-2A9F-4165-A501-CE00A6F7A75B}");
}

TEST(ComSlotOrder, IMbnDeviceServicesContext) {
    ExpectWindowsOrder({KV_SLOT(IMbnDeviceServicesContext, EnumerateDeviceServices),
                        KV_SLOT(IMbnDeviceServicesContext, GetDeviceService),
                        KV_SLOT(IMbnDeviceServicesContext, get_MaxCommandSize),
                        KV_SLOT(IMbnDeviceServicesContext, get_MaxDataSize)});
    EXPECT_EQ(Text(IID_IMbnDeviceServicesContext), "{FC5AC347-1592-4068-80BB-6A57580150D8}");
}

TEST(ComSlotOrder, IMbnDeviceService) {
    ExpectWindowsOrder({KV_SLOT(IMbnDeviceService, QuerySupportedCommands),
                        KV_SLOT(IMbnDeviceService, OpenCommandSession), KV_SLOT(IMbnDeviceService, CloseCommandSession),
                        KV_SLOT(IMbnDeviceService, SetCommand), KV_SLOT(IMbnDeviceService, QueryCommand),
                        KV_SLOT(IMbnDeviceService, OpenDataSession), KV_SLOT(IMbnDeviceService, CloseDataSession),
                        KV_SLOT(IMbnDeviceService, WriteData), KV_SLOT(IMbnDeviceService, get_InterfaceID),
                        KV_SLOT(IMbnDeviceService, get_DeviceServiceID),
                        KV_SLOT(IMbnDeviceService, get_IsCommandSessionOpen),
                        KV_SLOT(IMbnDeviceService, get_IsDataSessionOpen)});
    EXPECT_EQ(Text(IID_IMbnDeviceService), "{B3BB9A71-DC70-4BE9-A4DA-7886AE8B191B}");
}

TEST(ComSlotOrder, IMbnDeviceServicesEvents) {
    ExpectWindowsOrder({KV_SLOT(IMbnDeviceServicesEvents, OnQuerySupportedCommandsComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnOpenCommandSessionComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnCloseCommandSessionComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnSetCommandComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnQueryCommandComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnEventNotification),
                        KV_SLOT(IMbnDeviceServicesEvents, OnOpenDataSessionComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnCloseDataSessionComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnWriteDataComplete),
                        KV_SLOT(IMbnDeviceServicesEvents, OnReadData),
                        KV_SLOT(IMbnDeviceServicesEvents, OnInterfaceStateChange)});
    EXPECT_EQ(Text(IID_IMbnDeviceServicesEvents), "{0A900C19-6824-4E97-B76E-CF239D0CA642}");
}

}  // namespace
