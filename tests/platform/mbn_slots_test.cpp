// The slot order and ids of the COM interfaces the system calls, as the Windows
// face declares them (ours for the Mobile Broadband API, mingw-w64's for the
// connection points). Compiled in both faces: the simulation shares these
// declarations, and the Windows build runs this program under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/mbn.h"

namespace {

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
