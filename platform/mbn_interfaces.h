// The Mobile Broadband API's interfaces and types, the same in both faces
// (mingw-w64 has no mbnapi.h). Written from Microsoft's Mobile Broadband API
// reference (learn.microsoft.com, mbnapi). Every interface lists every slot in
// Windows' order, also those the system never calls. Each order and id was
// checked against two independent bindings of Microsoft's Win32 metadata: the
// win32more bindings (Windows.Win32.NetworkManagement.MobileBroadband, slots
// numbered) and a Crystal binding (its IMbn*VTbl structs and IMbn*_GUID
// constants); most orders also against the windows crate's documentation
// (microsoft.github.io/windows-docs-rs, the IMbn*_Vtbl structs).
// tests/platform/mbn_slots_test.cpp pins the order and the ids.
// Event callbacks come on threads of the platform, never on the caller's, and
// may come before the call that caused them has returned.
#pragma once

#include "platform/com.h"
#include "platform/types.h"

enum MBN_READY_STATE {
    MBN_READY_STATE_OFF = 0,
    MBN_READY_STATE_INITIALIZED = 1,
    MBN_READY_STATE_SIM_NOT_INSERTED = 2,
    MBN_READY_STATE_BAD_SIM = 3,
    MBN_READY_STATE_FAILURE = 4,
    MBN_READY_STATE_NOT_ACTIVATED = 5,
    MBN_READY_STATE_DEVICE_LOCKED = 6,
    MBN_READY_STATE_DEVICE_BLOCKED = 7,
    MBN_READY_STATE_NO_ESIM_PROFILE = 8,
};

enum MBN_REGISTER_STATE {
    MBN_REGISTER_STATE_NONE = 0,
    MBN_REGISTER_STATE_DEREGISTERED = 1,
    MBN_REGISTER_STATE_SEARCHING = 2,
    MBN_REGISTER_STATE_HOME = 3,
    MBN_REGISTER_STATE_ROAMING = 4,
    MBN_REGISTER_STATE_PARTNER = 5,
    MBN_REGISTER_STATE_DENIED = 6,
};

enum MBN_REGISTER_MODE {
    MBN_REGISTER_MODE_NONE = 0,
    MBN_REGISTER_MODE_AUTOMATIC = 1,
    MBN_REGISTER_MODE_MANUAL = 2,
};

// Bits of a provider's or a device's data classes (the reference gives no
// numbers for the two 5G classes, so they are left out).
enum MBN_DATA_CLASS {
    MBN_DATA_CLASS_NONE = 0,
    MBN_DATA_CLASS_GPRS = 0x1,
    MBN_DATA_CLASS_EDGE = 0x2,
    MBN_DATA_CLASS_UMTS = 0x4,
    MBN_DATA_CLASS_HSDPA = 0x8,
    MBN_DATA_CLASS_HSUPA = 0x10,
    MBN_DATA_CLASS_LTE = 0x20,
    MBN_DATA_CLASS_1XRTT = 0x10000,
    MBN_DATA_CLASS_1XEVDO = 0x20000,
    MBN_DATA_CLASS_1XEVDO_REVA = 0x40000,
    MBN_DATA_CLASS_1XEVDV = 0x80000,
    MBN_DATA_CLASS_3XRTT = 0x100000,
    MBN_DATA_CLASS_1XEVDO_REVB = 0x200000,
    MBN_DATA_CLASS_UMB = 0x400000,
    MBN_DATA_CLASS_CUSTOM = 0x80000000,
};

enum MBN_DEVICE_SERVICES_INTERFACE_STATE {
    MBN_DEVICE_SERVICES_CAPABLE_INTERFACE_ARRIVAL = 0,
    MBN_DEVICE_SERVICES_CAPABLE_INTERFACE_REMOVAL = 1,
};

// The caller frees both texts (SysFreeString).
struct MBN_PROVIDER {
    BSTR providerID;
    ULONG providerState;
    BSTR providerName;
    ULONG dataClass;
};

// What the device can do; the caller frees the texts.
struct MBN_INTERFACE_CAPS {
    LONG cellularClass;  // MBN_CELLULAR_CLASS
    LONG voiceClass;     // MBN_VOICE_CLASS
    ULONG dataClass;
    BSTR customDataClass;
    ULONG gsmBandClass;
    ULONG cdmaBandClass;
    BSTR customBandClass;
    ULONG smsCaps;
    ULONG controlCaps;
    BSTR deviceID;
    BSTR manufacturer;
    BSTR model;
    BSTR firmwareInfo;
};

constexpr HRESULT E_MBN_SIM_NOT_INSERTED = static_cast<HRESULT>(0x8054820A);
constexpr HRESULT E_MBN_NOT_REGISTERED = static_cast<HRESULT>(0x8054820D);
constexpr HRESULT E_MBN_FAILURE = static_cast<HRESULT>(0x80548212);

// Interfaces only named here (the system never asks for them).
struct IMbnConnection;

struct IMbnSubscriberInformation : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_SubscriberID(BSTR* subscriberID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SimIccID(BSTR* simIccID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TelephoneNumbers(SAFEARRAY** telephoneNumbers) = 0;

protected:
    ~IMbnSubscriberInformation() = default;
};

struct IMbnInterface : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_InterfaceID(BSTR* interfaceID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceCapability(MBN_INTERFACE_CAPS* interfaceCaps) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSubscriberInformation(IMbnSubscriberInformation** subscriberInformation) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReadyState(MBN_READY_STATE* readyState) = 0;
    virtual HRESULT STDMETHODCALLTYPE InEmergencyMode(VARIANT_BOOL* emergencyMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHomeProvider(MBN_PROVIDER* homeProvider) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreferredProviders(SAFEARRAY** preferredProviders) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreferredProviders(SAFEARRAY* preferredProviders, ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVisibleProviders(ULONG* age, SAFEARRAY** visibleProviders) = 0;
    virtual HRESULT STDMETHODCALLTYPE ScanNetwork(ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnection(IMbnConnection** mbnConnection) = 0;

protected:
    ~IMbnInterface() = default;
};

// Reached through QueryInterface of an IMbnInterface.
struct IMbnRegistration : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRegisterState(MBN_REGISTER_STATE* registerState) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRegisterMode(MBN_REGISTER_MODE* registerMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProviderID(BSTR* providerID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProviderName(BSTR* providerName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRoamingText(BSTR* roamingText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAvailableDataClasses(ULONG* availableDataClasses) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentDataClass(ULONG* currentDataClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRegistrationNetworkError(ULONG* registrationNetworkError) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPacketAttachNetworkError(ULONG* packetAttachNetworkError) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRegisterMode(MBN_REGISTER_MODE registerMode, LPCWSTR providerID,
                                                      ULONG dataClass, ULONG* requestID) = 0;

protected:
    ~IMbnRegistration() = default;
};

// Also an IConnectionPointContainer for IMbnRegistrationEvents and IMbnInterfaceEvents.
struct IMbnInterfaceManager : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInterface(LPCWSTR interfaceID, IMbnInterface** mbnInterface) = 0;
    // A VT_UNKNOWN array of IMbnInterface, lower bound 0; empty without a modem.
    virtual HRESULT STDMETHODCALLTYPE GetInterfaces(SAFEARRAY** mbnInterfaces) = 0;

protected:
    ~IMbnInterfaceManager() = default;
};

struct IMbnDeviceService : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QuerySupportedCommands(ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenCommandSession(ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseCommandSession(ULONG* requestID) = 0;
    // `deviceServiceData` is a VT_UI1 array; the caller keeps and destroys it.
    virtual HRESULT STDMETHODCALLTYPE SetCommand(ULONG commandID, SAFEARRAY* deviceServiceData, ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryCommand(ULONG commandID, SAFEARRAY* deviceServiceData,
                                                   ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenDataSession(ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseDataSession(ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteData(SAFEARRAY* deviceServiceData, ULONG* requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InterfaceID(BSTR* interfaceID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DeviceServiceID(BSTR* deviceServiceID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsCommandSessionOpen(BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsDataSessionOpen(BOOL* value) = 0;

protected:
    ~IMbnDeviceService() = default;
};

struct IMbnDeviceServicesContext : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumerateDeviceServices(SAFEARRAY** deviceServices) = 0;
    // The id may be any zero-terminated wide text ("{...}", letter case aside).
    virtual HRESULT STDMETHODCALLTYPE GetDeviceService(BSTR deviceServiceID, IMbnDeviceService** mbnDeviceService) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MaxCommandSize(ULONG* maxCommandSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MaxDataSize(ULONG* maxDataSize) = 0;

protected:
    ~IMbnDeviceServicesContext() = default;
};

// Also an IConnectionPointContainer for IMbnDeviceServicesEvents.
struct IMbnDeviceServicesManager : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDeviceServicesContext(BSTR networkInterfaceID,
                                                               IMbnDeviceServicesContext** mbnDevicesContext) = 0;

protected:
    ~IMbnDeviceServicesManager() = default;
};

// ---- event interfaces, implemented by the system's sinks --------------------

struct IMbnRegistrationEvents : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnRegisterModeAvailable(IMbnRegistration* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnRegisterStateChange(IMbnRegistration* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnPacketServiceStateChange(IMbnRegistration* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSetRegisterModeComplete(IMbnRegistration* newInterface, ULONG requestID,
                                                                HRESULT status) = 0;

protected:
    ~IMbnRegistrationEvents() = default;
};

// Every SAFEARRAY handed to a callback belongs to the caller and lives for the call.
struct IMbnDeviceServicesEvents : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnQuerySupportedCommandsComplete(IMbnDeviceService* deviceService,
                                                                       SAFEARRAY* commandIDList, HRESULT status,
                                                                       ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnOpenCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT status,
                                                                   ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnCloseCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT status,
                                                                    ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSetCommandComplete(IMbnDeviceService* deviceService, ULONG responseID,
                                                           SAFEARRAY* deviceServiceData, HRESULT status,
                                                           ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnQueryCommandComplete(IMbnDeviceService* deviceService, ULONG responseID,
                                                             SAFEARRAY* deviceServiceData, HRESULT status,
                                                             ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEventNotification(IMbnDeviceService* deviceService, ULONG eventID,
                                                          SAFEARRAY* deviceServiceData) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnOpenDataSessionComplete(IMbnDeviceService* deviceService, HRESULT status,
                                                                ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnCloseDataSessionComplete(IMbnDeviceService* deviceService, HRESULT status,
                                                                 ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnWriteDataComplete(IMbnDeviceService* deviceService, HRESULT status,
                                                          ULONG requestID) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnReadData(IMbnDeviceService* deviceService, SAFEARRAY* deviceServiceData) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnInterfaceStateChange(BSTR interfaceID,
                                                             MBN_DEVICE_SERVICES_INTERFACE_STATE stateChange) = 0;

protected:
    ~IMbnDeviceServicesEvents() = default;
};

struct IMbnInterfaceEvents : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnInterfaceCapabilityAvailable(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSubscriberInformationChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnReadyStateChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEmergencyModeChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnHomeProviderAvailable(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnPreferredProvidersChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSetPreferredProvidersComplete(IMbnInterface* newInterface, ULONG requestID,
                                                                      HRESULT status) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnScanNetworkComplete(IMbnInterface* newInterface, ULONG requestID,
                                                            HRESULT status) = 0;

protected:
    ~IMbnInterfaceEvents() = default;
};
