// A simulated modem described in plain terms: its interfaces, device services, AT replies and
// faults, read from a modem file, and the rule by which its services answer a command. Shared
// by the simulated machine (platform/sim/) and by the stand-in Mobile Broadband service of the
// runs under Wine (tests/windows/), so that both read one file alike and answer alike. Built in
// both faces; the system itself never includes it.
//
// The modem file, one setting a line, '#' starts a comment, texts in double quotes with the
// escapes \r \n \t \0 \" \\ \xNN:
//   interface                    adds an interface; the lines up to the next
//                                "interface" describe it
//     id "{...}"                 its id (default {6a1f3c5e-0000-4000-8000-<n as 12 hex digits>})
//     ready <state>              off, initialized (default), sim-not-inserted,
//                                bad-sim, failure, not-activated, device-locked,
//                                device-blocked, no-esim-profile, or its number 0-8
//     iccid "<text>"
//     home "<provider id>" ["<name>"]
//     provider "<provider id>"   the registered network; a provider id is its MCC and
//                                MNC, 5 or 6 digits; "" when not registered
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

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/mbn_interfaces.h"

namespace modemfile {

inline constexpr const char* kAtServiceId = "{ffffffff-abca-4b11-a4e2-f2fc87f94488}";
inline constexpr const char* kDeviceModeServiceId = "{613a2c9f-7579-4be2-bf30-94dc8fe47b1c}";

struct ModemInterface {
    std::string id;  // empty: generated from the position (DefaultInterfaceId)
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

// The id of the interface at this position (from 0) when the file gives none.
std::string DefaultInterfaceId(std::size_t index);

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
    // right after it): every interface is removed.
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

// The answer to one command's exact bytes.
struct ExactReply {
    ModemReply reply;
    bool matched = false;  // a command had exactly these bytes (set by Answer)
};

// What the device services answer, and the rule they answer by (Answer).
struct ModemAnswers {
    std::map<std::string, ExactReply> exactReplies;
    std::vector<std::pair<std::string, ModemReply>> patternReplies;
    ModemReply defaultReply = ModemReply::Text("\r\nOK\r\n");
    std::int32_t deviceMode[3] = {0, 0, 0};
    std::optional<ModemReply> deviceModeReply;
};

struct ModemAnswer {
    ModemReply reply;
    std::string description;  // as a transcript shows it: "\"\\r\\nOK\\r\\n\"", "5 3 -1", "(silent)"
};

// The AT service, command 1: the exact reply to these bytes, else the first pattern that
// matches, else the default. The device-mode service, command 3: its three numbers as 32-bit
// little-endian signed values, or the reply set instead. Any other command: status E_NOTIMPL
// and no data. `serviceId` is the service's own (lower-case) id. An exact reply found is marked
// matched.
ModemAnswer Answer(ModemAnswers& answers, const std::string& serviceId, ULONG commandId,
                   const std::string& bytes);
bool IsAtCommand(const std::string& serviceId, ULONG commandId);
std::string DescribeReply(const ModemReply& reply, const std::string& numbers = "");
// '*' stands for any run of bytes.
bool GlobMatch(std::string_view pattern, std::string_view text);
// "\r\n" and other bytes as the modem file writes them in a text.
std::string EscapeBytes(std::string_view bytes);
// "0x80004005"
std::string HresultText(HRESULT hr);

// One `service`, `session`, `open` or `close` line; they act in the file's order.
struct ServiceSetting {
    enum Kind { Add, Remove, Session, Open, Close };
    Kind kind = Add;
    std::string id;
    bool open = false;           // Session
    SessionBehaviour behaviour;  // Open, Close
};

// One `reply` line.
struct ReplyLine {
    std::string command;
    ModemReply reply;
    std::size_t line = 0;
    std::string written;  // the command's text as the file writes it, quotes included
};

// What one modem file says, nothing more: applied over a modem's present settings.
struct ModemDescription {
    std::vector<ModemInterface> interfaces;
    std::vector<ServiceSetting> services;
    std::vector<ReplyLine> replies;  // later ones replace earlier
    std::vector<std::pair<std::string, ModemReply>> patterns;
    std::optional<ModemReply> defaultReply;
    std::optional<std::array<std::int32_t, 3>> deviceMode;
    std::optional<ModemReply> deviceModeReply;  // with deviceMode: none clears an earlier reply
    std::optional<bool> early;
    std::vector<std::pair<ModemFault, HRESULT>> faults;  // S_OK clears the step
};

// Reads a modem file's text. Returns "" or the error "<file>:<line>: <what>".
std::string ParseModemText(std::string_view text, std::string_view fileName, ModemDescription& description);

// The replies and the device-mode answer of a description, over `answers`.
void ApplyAnswers(const ModemDescription& description, ModemAnswers& answers);

// The description's `reply` lines that gave no command its answer since they were applied to
// `answers` (a later line for the same command, or a command never sent), one text each:
// <file>:<line>: reply "AT+X?" ...
std::vector<std::string> UnmatchedReplies(const ModemDescription& description, std::string_view fileName,
                                          const ModemAnswers& answers);

}  // namespace modemfile
