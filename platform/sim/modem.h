// The simulated machine: the modem behind the Mobile Broadband API.
//
// The modem has zero or more interfaces (ready state, ICCID, home provider,
// registered provider ID) and device services with command sessions; every
// interface carries the same services. Two services answer commands:
//  - the AT service "{ffffffff-abca-4b11-a4e2-f2fc87f94488}", command 1: the
//    command's bytes are looked up in the reply table (exact bytes first, then
//    the patterns in the order given, then the default reply);
//  - the device-mode service "{613a2c9f-7579-4be2-bf30-94dc8fe47b1c}",
//    command 3: three 32-bit little-endian signed numbers (device mode, SAR
//    index, antenna index), or whatever reply is set instead.
// Any other command completes with status E_NOTIMPL and no data. A command on
// a service without an open session fails with E_FAIL.
//
// Every completion (session open and close, command, event notification,
// registration and interface events) is a delivery of the clock: it runs on a
// layer thread, never the caller's, and reaches every sink advised at that
// moment. A completion in flight keeps a timed wait from timing out. With
// early completions on, the call that causes a completion returns only once
// that delivery has run (ended, or blocked in a layer wait): sinks must wait
// for locks through the layer (WaitForSingleObject), never a host lock.
// Request ids are unique across services. Every command goes into the
// transcript (party "modem") with its reply:
//   SetCommand {ffffffff-abca-4b11-a4e2-f2fc87f94488} 1 "AT+X?\r\n" -> "\r\nOK\r\n"
//
// The modem file (LoadModemFile), one setting per line, '#' starts a comment,
// texts in double quotes with the escapes \r \n \t \0 \" \\ \xNN:
//   interface                    adds an interface; the lines up to the next
//                                "interface" describe it
//     id "{...}"                 its id (default {6a1f3c5e-0000-4000-8000-<n as 12 hex digits>})
//     ready <state>              off, initialized (default), sim-not-inserted,
//                                bad-sim, failure, not-activated, device-locked,
//                                device-blocked, no-esim-profile, or its number 0-8
//     iccid "<text>"
//     home "<provider id>" ["<name>"]
//     provider "<provider id>"   the registered network (MCC and MNC)
//     fail <call> <hresult>      ready, subscriber, iccid, home, provider or
//                                registration (QueryInterface) fails so
//   service <svc> [absent]       adds (or removes) a device service; <svc> is
//                                at, devicemode or a quoted "{id}"
//   session <svc> open|closed    the session state at start (default closed)
//   open <svc> <how>             how OpenCommandSession ends; <how> is
//   close <svc> <how>              complete [after <ms>] (default)
//                                  status <hresult> [after <ms>]  completes, state unchanged
//                                  fail [<hresult>]               the call fails (E_FAIL)
//                                  never                          no completion
//   reply "<bytes>" <reply>      the AT reply to exactly these bytes
//   match "<pattern>" <reply>    the same for a pattern, '*' any run of bytes
//   default <reply>              for every other AT command ("\r\nOK\r\n")
//   devicemode <mode> <sar> <antenna> [after <ms>]   the device-mode answer (0 0 0)
//   devicemode <reply>           any other answer (short data, silence, status)
//   early on|off                 early completions (default off)
//   fault <step> <hresult>       a layer call fails: coinitialize,
//                                create-interface-manager, create-device-services-manager,
//                                get-interfaces, connection-point-container,
//                                find-connection-point, advise, unadvise,
//                                get-device-services-context, get-device-service,
//                                is-command-session-open, set-command,
//                                query-command, interface-id, device-service-id
// <reply> is one of "<text>", empty (no bytes), nodata (no array), error
// ("\r\nERROR\r\n"), silent (no completion), each optionally with status
// <hresult> (the completion's status), wrongid (the completion carries a
// request id nothing asked for), after <ms> (delivery delay, default 0) and
// gone (the modem disappears once the reply is delivered: every interface is
// removed).
// <hresult> is a number (0x80004005) or S_OK, S_FALSE, E_FAIL, E_NOTIMPL,
// E_INVALIDARG, E_POINTER, E_NOINTERFACE, E_ACCESSDENIED, E_UNEXPECTED.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mbn.h"

namespace sim {

class Machine;
struct ModemCore;

inline constexpr const char* kAtServiceId = "{ffffffff-abca-4b11-a4e2-f2fc87f94488}";
inline constexpr const char* kDeviceModeServiceId = "{613a2c9f-7579-4be2-bf30-94dc8fe47b1c}";

struct ModemInterface {
    std::string id;  // empty: generated from the position
    MBN_READY_STATE readyState = MBN_READY_STATE_INITIALIZED;
    std::string iccid = "89014104212345678901";
    std::string homeProviderId = "310410";
    std::string homeProviderName = "Kavrion Mobile";
    std::string providerId = "310410";
    // Results of the calls; anything but S_OK makes that call fail so.
    HRESULT readyStateResult = S_OK;
    HRESULT subscriberResult = S_OK;
    HRESULT iccidResult = S_OK;
    HRESULT homeProviderResult = S_OK;
    HRESULT providerIdResult = S_OK;
    HRESULT registrationResult = S_OK;  // QueryInterface for IMbnRegistration
};

// How OpenCommandSession or CloseCommandSession ends.
struct SessionBehaviour {
    enum Kind { Complete, Fail, Never };
    Kind kind = Complete;
    DWORD delayMs = 0;        // Complete: delivered this long after the call
    HRESULT status = S_OK;    // Complete: status of the completion; not S_OK leaves the state
    HRESULT failure = E_FAIL; // Fail: what the call returns
};

struct ModemReply {
    enum Kind { Data, NoData, Silent };
    Kind kind = Data;
    std::string bytes;
    HRESULT status = S_OK;
    bool wrongRequestId = false;
    DWORD delayMs = 0;
    // The modem disappears once this reply is delivered (a reset or a crash
    // right after it): every interface is removed, as RemoveInterfaces does.
    bool gone = false;

    static ModemReply Text(std::string bytes) {
        ModemReply reply;
        reply.bytes = std::move(bytes);
        return reply;
    }
    static ModemReply Error() { return Text("\r\nERROR\r\n"); }
    static ModemReply Silence() {
        ModemReply reply;
        reply.kind = Silent;
        return reply;
    }
};

enum class ModemFault {
    CoInitialize,
    CreateInterfaceManager,
    CreateDeviceServicesManager,
    GetInterfaces,
    ConnectionPointContainer,
    FindConnectionPoint,
    Advise,
    Unadvise,
    GetDeviceServicesContext,
    GetDeviceService,
    IsCommandSessionOpen,
    SetCommand,
    QueryCommand,
    InterfaceId,
    DeviceServiceId,
};

enum class RegistrationEvent { RegisterModeAvailable, RegisterStateChange, PacketServiceStateChange, SetRegisterModeComplete };
enum class InterfaceEvent {
    InterfaceCapabilityAvailable,
    SubscriberInformationChange,
    ReadyStateChange,
    EmergencyModeChange,
    HomeProviderAvailable,
    PreferredProvidersChange,
};

struct ModemCommand {
    std::string serviceId;
    ULONG commandId = 0;
    bool query = false;  // QueryCommand rather than SetCommand
    std::string bytes;
    std::string reply;   // as in the transcript
};

class Modem {
public:
    explicit Modem(Machine& machine);
    ~Modem();
    Modem(const Modem&) = delete;
    Modem& operator=(const Modem&) = delete;

    // Interfaces.
    std::size_t AddInterface(ModemInterface settings = {});
    void SetInterface(std::size_t index, ModemInterface settings);
    ModemInterface Interface(std::size_t index) const;  // with its id filled in
    std::size_t InterfaceCount() const;
    void RemoveInterfaces();
    // An interface that comes back while the machine runs (after a reset, a
    // firmware crash or a removal): added as AddInterface adds it, then, as a
    // real modem does once it is ready and has found its network again, its
    // ready-state change, registration-state change and packet-service change
    // are raised for it, in this order. Returns its index.
    std::size_t ReturnInterface(ModemInterface settings);
    void SetProviderId(std::size_t index, std::string providerId);

    // Device services, by id (letter case aside). The AT and device-mode
    // services are there from the start, their sessions closed.
    void AddDeviceService(const std::string& id);
    void RemoveDeviceService(const std::string& id);
    void SetSessionOpen(const std::string& id, bool open);
    bool SessionOpen(const std::string& id) const;
    void SetOpenBehaviour(const std::string& id, SessionBehaviour behaviour);
    void SetCloseBehaviour(const std::string& id, SessionBehaviour behaviour);

    // The AT service's replies.
    void SetReply(std::string command, ModemReply reply);
    void AddReplyPattern(std::string pattern, ModemReply reply);
    void SetDefaultReply(ModemReply reply);
    void ClearReplies();
    // Every AT command gets this reply, whatever the table says, until cleared (an outage of the
    // AT service: every reply "ERROR", or none at all).
    void SetReplyOverride(std::optional<ModemReply> reply);

    // The device-mode service's answer.
    void SetDeviceMode(std::int32_t mode, std::int32_t sarIndex, std::int32_t antennaIndex);
    void SetDeviceModeReply(ModemReply reply);

    void SetEarlyCompletions(bool early);
    void SetFault(ModemFault step, HRESULT result);  // S_OK clears it

    // Outside events, each delivered (Post) to every sink advised then.
    void RaiseRegistrationEvent(RegistrationEvent event, std::size_t index = 0, ULONG requestId = 0,
                                HRESULT status = S_OK);
    void RaiseInterfaceEvent(InterfaceEvent event, std::size_t index = 0);
    void RaiseEventNotification(const std::string& serviceId, ULONG eventId, std::string data);

    std::vector<ModemCommand> Commands() const;
    void ClearCommands();
    std::size_t AdvisedSinks(REFIID events) const;

    // Reads a modem file (syntax above) over the current settings. Returns
    // "" or the error "<file>:<line>: <what>".
    std::string LoadModemFile(const std::filesystem::path& hostPath);
    std::string LoadModemText(std::string_view text, std::string_view fileName);

    // For the COM layer.
    std::shared_ptr<ModemCore> Core() const { return core_; }

private:
    std::shared_ptr<ModemCore> core_;
};

// Objects of the COM layer still alive, of any machine: tests compare counts
// before and after to see that the system frees what it is given.
std::size_t LiveComObjects();
std::size_t LiveBstrs();
std::size_t LiveSafeArrays();

// "\r\n" and other bytes as the transcript and the modem file write them.
std::string EscapeBytes(std::string_view bytes);

}  // namespace sim
