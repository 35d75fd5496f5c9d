// The Mobile Broadband API: the interface manager and its interfaces, the
// device-services manager with its contexts and device services, and the event
// interfaces the system's sinks implement. Event callbacks come on threads of
// the layer, never on the caller's, and may come before the call that caused
// them has returned.
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

constexpr HRESULT E_MBN_SIM_NOT_INSERTED = static_cast<HRESULT>(0x8054820A);
constexpr HRESULT E_MBN_NOT_REGISTERED = static_cast<HRESULT>(0x8054820D);
constexpr HRESULT E_MBN_FAILURE = static_cast<HRESULT>(0x80548212);

struct IMbnSubscriberInformation : IUnknown {
    virtual HRESULT get_SimIccID(BSTR* simIccID) = 0;

protected:
    ~IMbnSubscriberInformation() = default;
};

struct IMbnInterface : IUnknown {
    virtual HRESULT get_InterfaceID(BSTR* interfaceID) = 0;
    virtual HRESULT GetSubscriberInformation(IMbnSubscriberInformation** subscriberInformation) = 0;
    virtual HRESULT GetReadyState(MBN_READY_STATE* readyState) = 0;
    virtual HRESULT GetHomeProvider(MBN_PROVIDER* homeProvider) = 0;

protected:
    ~IMbnInterface() = default;
};

// Reached through QueryInterface of an IMbnInterface.
struct IMbnRegistration : IUnknown {
    virtual HRESULT GetProviderID(BSTR* providerID) = 0;

protected:
    ~IMbnRegistration() = default;
};

// Also an IConnectionPointContainer for IMbnRegistrationEvents and IMbnInterfaceEvents.
struct IMbnInterfaceManager : IUnknown {
    // A VT_UNKNOWN array of IMbnInterface, lower bound 0; empty without a modem.
    virtual HRESULT GetInterfaces(SAFEARRAY** mbnInterfaces) = 0;

protected:
    ~IMbnInterfaceManager() = default;
};

struct IMbnDeviceService : IUnknown {
    virtual HRESULT OpenCommandSession(ULONG* requestID) = 0;
    virtual HRESULT CloseCommandSession(ULONG* requestID) = 0;
    // `deviceServiceData` is a VT_UI1 array; the caller keeps and destroys it.
    virtual HRESULT SetCommand(ULONG commandID, SAFEARRAY* deviceServiceData, ULONG* requestID) = 0;
    virtual HRESULT QueryCommand(ULONG commandID, SAFEARRAY* deviceServiceData, ULONG* requestID) = 0;
    virtual HRESULT get_DeviceServiceID(BSTR* deviceServiceID) = 0;
    virtual HRESULT get_IsCommandSessionOpen(BOOL* value) = 0;

protected:
    ~IMbnDeviceService() = default;
};

struct IMbnDeviceServicesContext : IUnknown {
    // The id may be any zero-terminated wide text ("{...}", letter case aside).
    virtual HRESULT GetDeviceService(BSTR deviceServiceID, IMbnDeviceService** mbnDeviceService) = 0;

protected:
    ~IMbnDeviceServicesContext() = default;
};

// Also an IConnectionPointContainer for IMbnDeviceServicesEvents.
struct IMbnDeviceServicesManager : IUnknown {
    virtual HRESULT GetDeviceServicesContext(BSTR networkInterfaceID, IMbnDeviceServicesContext** mbnDevicesContext) = 0;

protected:
    ~IMbnDeviceServicesManager() = default;
};

// ---- event interfaces (slot order matters) --------------------------------

struct IMbnRegistrationEvents : IUnknown {
    virtual HRESULT OnRegisterModeAvailable(IMbnRegistration* newInterface) = 0;
    virtual HRESULT OnRegisterStateChange(IMbnRegistration* newInterface) = 0;
    virtual HRESULT OnPacketServiceStateChange(IMbnRegistration* newInterface) = 0;
    virtual HRESULT OnSetRegisterModeComplete(IMbnRegistration* newInterface, ULONG requestID, HRESULT status) = 0;

protected:
    ~IMbnRegistrationEvents() = default;
};

// Every SAFEARRAY handed to a callback belongs to the layer and lives for the call.
struct IMbnDeviceServicesEvents : IUnknown {
    virtual HRESULT OnQuerySupportedCommandsComplete(IMbnDeviceService* deviceService, SAFEARRAY* commandIDList,
                                                     HRESULT status, ULONG requestID) = 0;
    virtual HRESULT OnOpenCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT status,
                                                 ULONG requestID) = 0;
    virtual HRESULT OnCloseCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT status,
                                                  ULONG requestID) = 0;
    virtual HRESULT OnSetCommandComplete(IMbnDeviceService* deviceService, ULONG responseID,
                                         SAFEARRAY* deviceServiceData, HRESULT status, ULONG requestID) = 0;
    virtual HRESULT OnQueryCommandComplete(IMbnDeviceService* deviceService, ULONG responseID,
                                           SAFEARRAY* deviceServiceData, HRESULT status, ULONG requestID) = 0;
    virtual HRESULT OnEventNotification(IMbnDeviceService* deviceService, ULONG eventID,
                                        SAFEARRAY* deviceServiceData) = 0;
    virtual HRESULT OnOpenDataSessionComplete(IMbnDeviceService* deviceService, HRESULT status, ULONG requestID) = 0;
    virtual HRESULT OnCloseDataSessionComplete(IMbnDeviceService* deviceService, HRESULT status,
                                               ULONG requestID) = 0;
    virtual HRESULT OnWriteDataComplete(IMbnDeviceService* deviceService, HRESULT status, ULONG requestID) = 0;
    virtual HRESULT OnReadData(IMbnDeviceService* deviceService, SAFEARRAY* deviceServiceData) = 0;
    virtual HRESULT OnInterfaceStateChange(BSTR interfaceID, MBN_DEVICE_SERVICES_INTERFACE_STATE stateChange) = 0;

protected:
    ~IMbnDeviceServicesEvents() = default;
};

struct IMbnInterfaceEvents : IUnknown {
    virtual HRESULT OnInterfaceCapabilityAvailable(IMbnInterface* newInterface) = 0;
    virtual HRESULT OnSubscriberInformationChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT OnReadyStateChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT OnEmergencyModeChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT OnHomeProviderAvailable(IMbnInterface* newInterface) = 0;
    virtual HRESULT OnPreferredProvidersChange(IMbnInterface* newInterface) = 0;
    virtual HRESULT OnSetPreferredProvidersComplete(IMbnInterface* newInterface, ULONG requestID, HRESULT status) = 0;
    virtual HRESULT OnScanNetworkComplete(IMbnInterface* newInterface, ULONG requestID, HRESULT status) = 0;

protected:
    ~IMbnInterfaceEvents() = default;
};

// ---- ids ------------------------------------------------------------------------

inline constexpr CLSID CLSID_MbnInterfaceManager{
    0xBDFEE05B, 0x4418, 0x11DD, {0x90, 0xED, 0x00, 0x1C, 0x25, 0x7C, 0xCF, 0xF1}};
inline constexpr CLSID CLSID_MbnDeviceServicesManager{
    0x2269DAA3, 0x2A9F, 0x4165, {0xA5, 0x01, 0xCE, 0x00, 0xA6, 0xF7, 0xA7, 0x5B}};

inline constexpr IID IID_IMbnInterfaceManager{
    0xDCBBBAB6, 0x201B, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline constexpr IID IID_IMbnInterface{0xDCBBBAB6, 0x2001, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline constexpr IID IID_IMbnInterfaceEvents{
    0xDCBBBAB6, 0x2002, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline constexpr IID IID_IMbnRegistration{
    0xDCBBBAB6, 0x2009, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline constexpr IID IID_IMbnRegistrationEvents{
    0xDCBBBAB6, 0x200A, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
inline constexpr IID IID_IMbnSubscriberInformation{
    0x459ECC43, 0xBCF5, 0x11DC, {0xA8, 0xA8, 0x00, 0x13, 0x21, 0xF1, 0x40, 0x5F}};
inline constexpr IID IID_IMbnDeviceServicesManager{
    0x20A26258, 0x6811, 0x4478, {0xAC, 0x1D, 0x13, 0x32, 0x4E, 0x45, 0xE4, 0x1C}};
inline constexpr IID IID_IMbnDeviceServicesContext{
    0xFC5AC347, 0x1592, 0x4068, {0x80, 0xBB, 0x6A, 0x57, 0x58, 0x01, 0x50, 0xD8}};
inline constexpr IID IID_IMbnDeviceService{
    0xB3BB9A71, 0xDC70, 0x4BE9, {0xA4, 0xDA, 0x78, 0x86, 0xAE, 0x8B, 0x19, 0x1B}};
inline constexpr IID IID_IMbnDeviceServicesEvents{
    0x0A900C19, 0x6824, 0x4E97, {0xB7, 0x6E, 0xCF, 0x23, 0x9D, 0x0C, 0xA6, 0x42}};
