// The simulated machine: the modem behind the Mobile Broadband API.
//
// The modem has zero or more interfaces (ready state, ICCID, home provider,
// registered provider ID) and device services with command sessions; every
// interface carries the same services. Its services answer commands as
// modemfile::Answer says: the AT service "{ffffffff-abca-4b11-a4e2-f2fc87f94488}"
// command 1 from the reply table, the device-mode service
// "{613a2c9f-7579-4be2-bf30-94dc8fe47b1c}" command 3 with its three numbers.
// A command on a service without an open session fails with E_FAIL.
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
// The modem file's syntax (LoadModemFile) is in platform/modemfile/modem_description.h.
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
#include "platform/modemfile/modem_description.h"

namespace sim {

class Machine;
struct ModemCore;

using modemfile::kAtServiceId;
using modemfile::kDeviceModeServiceId;
using modemfile::ModemFault;
using modemfile::ModemInterface;
using modemfile::ModemReply;
using modemfile::SessionBehaviour;

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

    // Reads a modem file over the current settings: all of it, or nothing when it holds an
    // error. Returns "" or the error "<file>:<line>: <what>".
    std::string LoadModemFile(const std::filesystem::path& hostPath);
    std::string LoadModemText(std::string_view text, std::string_view fileName);
    void Apply(const modemfile::ModemDescription& description);
    // The `reply` lines of an applied description that no command has matched (see
    // modemfile::UnmatchedReplies).
    std::vector<std::string> UnmatchedReplies(const modemfile::ModemDescription& description,
                                              std::string_view fileName) const;

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

using modemfile::EscapeBytes;

}  // namespace sim
