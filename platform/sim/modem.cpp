#include "platform/sim/modem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/sim/hidden.h"
#include "platform/sim/machine.h"
#include "platform/sim/modem_core.h"
#include "platform/sync.h"

namespace sim {

namespace {

std::atomic<std::uint64_t> nextSerial{1};

IUnknown* AsUnknown(const IID& events, void* sink) {
    if (events == IID_IMbnRegistrationEvents) return static_cast<IMbnRegistrationEvents*>(sink);
    if (events == IID_IMbnDeviceServicesEvents) return static_cast<IMbnDeviceServicesEvents*>(sink);
    if (events == IID_IMbnInterfaceEvents) return static_cast<IMbnInterfaceEvents*>(sink);
    return static_cast<IUnknown*>(sink);
}

// A call to the connection's sink has ended, or will not be made after all (its delivery unwinds).
// The last call out of a connection already unadvised lets go of the sink.
void EndCall(ModemCore& core, ModemConnection& connection) {
    // Before the count drops: an Unadvise that then finds no call in progress finds this one
    // ordered before it.
    Publish(&connection.called);
    bool last;
    {
        std::lock_guard lock(core.mutex);
        last = --connection.active == 0 && connection.removed;
    }
    if (!last) return;
    Observe(&connection.called);  // the calls that ended on other threads
    Shown shown;
    AsUnknown(connection.events, connection.sink)->Release();
}

}  // namespace

std::shared_ptr<ModemCore> CurrentModemCore() {
    Machine* machine = Machine::Current();
    if (!machine) return nullptr;
    Hidden hidden;
    return HiddenCopy(machine->modem().Core());
}

// ---- core ---------------------------------------------------------------------------------

ModemCore::ModemCore(Machine& machine) : machine(machine), serial(nextSerial.fetch_add(1)) {
    services[kAtServiceId] = ModemServiceState{kAtServiceId, false, {}, {}};
    services[kDeviceModeServiceId] = ModemServiceState{kDeviceModeServiceId, false, {}, {}};
}

std::shared_ptr<ModemCore> ModemCore::Self() {
    Hidden hidden;
    return HiddenCopy(shared_from_this());
}

HRESULT ModemCore::Fault(ModemFault step) const {
    std::lock_guard lock(mutex);
    auto it = faults.find(step);
    return it == faults.end() ? S_OK : it->second;
}

bool ModemCore::FindInterface(std::uint64_t key, ModemInterface* settings, std::string* id) const {
    std::lock_guard lock(mutex);
    return interfaces.Find(key, settings, id);
}

bool ModemCore::FindInterfaceById(const std::string& id, std::uint64_t* key) const {
    std::lock_guard lock(mutex);
    return interfaces.FindById(id, key);
}

std::vector<std::uint64_t> ModemCore::InterfaceKeys() const {
    std::lock_guard lock(mutex);
    return interfaces.Keys();
}

void ModemCore::RemoveAllInterfaces() {
    std::lock_guard lock(mutex);
    interfaces.TakeAll();
}

ULONG ModemCore::NewRequestId() {
    std::lock_guard lock(mutex);
    return nextRequestId++;
}

std::uint64_t ModemCore::NewPoint() {
    std::lock_guard lock(mutex);
    return nextPoint++;
}

HRESULT ModemCore::Advise(std::uint64_t point, REFIID events, IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    if (HRESULT fault = Fault(ModemFault::Advise); FAILED(fault)) return fault;
    void* typed = nullptr;
    if (FAILED(sink->QueryInterface(events, &typed)) || !typed) return CONNECT_E_CANNOTCONNECT;
    auto connection = MakeHidden<ModemConnection>();
    std::lock_guard lock(mutex);
    connection->events = events;
    connection->point = point;
    connection->sink = typed;
    connection->cookie = nextCookie++;
    connections.push_back(connection);
    *cookie = connection->cookie;
    Publish(&connection->advised);
    return S_OK;
}

HRESULT ModemCore::Unadvise(std::uint64_t point, DWORD cookie) {
    if (HRESULT fault = Fault(ModemFault::Unadvise); FAILED(fault)) return fault;
    std::shared_ptr<ModemConnection> connection;
    bool letGo;
    {
        std::lock_guard lock(mutex);
        auto it = std::find_if(connections.begin(), connections.end(),
                               [&](const auto& c) { return c->cookie == cookie && c->point == point; });
        if (it == connections.end()) return CONNECT_E_NOCONNECTION;
        connection = *it;
        connections.erase(it);
        connection->removed = true;
        letGo = connection->active == 0;
        if (letGo) Observe(&connection->called);
    }
    // Windows' documentation promises no wait for a call in progress, so there is none, the harder
    // case for a sink: such a call, or one its delivery has yet to make, may still run in the sink
    // after Unadvise has returned. It holds the sink until it ends, as COM's rules hold a caller to,
    // and the last of them lets go of it.
    IUnknown* sink = AsUnknown(connection->events, connection->sink);
    {
        Hidden hidden;
        connection.reset();
    }
    if (letGo) sink->Release();
    return S_OK;
}

void ModemCore::Deliver(REFIID events, const std::function<void(void*)>& call) {
    // The service's bookkeeping is out of sight; the sinks' calls are seen.
    Hidden hidden;
    // Every sink advised as the delivery begins, also one unadvised meanwhile; each call holds its
    // connection, and with it the sink, until the call ends.
    std::vector<std::shared_ptr<ModemConnection>> targets;
    {
        std::lock_guard lock(mutex);
        for (const auto& c : connections) {
            if (c->events != events) continue;
            ++c->active;
            targets.push_back(c);
        }
    }
    // The calls not yet ended, also when a call unwinds the delivery.
    struct Pending {
        ModemCore& core;
        const std::vector<std::shared_ptr<ModemConnection>>& targets;
        std::size_t next = 0;
        ~Pending() {
            for (; next < targets.size(); ++next) EndCall(core, *targets[next]);
        }
    } pending{*this, targets};
    for (; pending.next < targets.size(); ++pending.next) {
        ModemConnection& target = *targets[pending.next];
        Observe(&target.advised);
        {
            Shown shown;
            call(target.sink);
        }
        EndCall(*this, target);
    }
}

void ModemCore::ReleaseAllSinks() {
    std::vector<std::shared_ptr<ModemConnection>> left;
    {
        std::lock_guard lock(mutex);
        left.swap(connections);
    }
    for (const auto& c : left) AsUnknown(c->events, c->sink)->Release();
}

void ModemCore::Complete(DWORD delayMs, std::function<void()> delivery) {
    bool now;
    {
        std::lock_guard lock(mutex);
        now = early && delayMs == 0;
    }
    Scheduler& clock = machine.clock();
    if (now) {
        clock.Post(std::move(delivery));
        clock.Settle(Scheduler::Settled::Unseen);
    } else {
        clock.At(clock.Now() + delayMs, std::move(delivery));
    }
}

bool ModemCore::ServiceExists(const std::string& id, std::string* canonical) const {
    std::lock_guard lock(mutex);
    auto it = services.find(LowerAscii(id));
    if (it == services.end()) return false;
    if (canonical) *canonical = it->second.id;
    return true;
}

bool ModemCore::SessionIsOpen(const std::string& id) const {
    std::lock_guard lock(mutex);
    auto it = services.find(LowerAscii(id));
    return it != services.end() && it->second.sessionOpen;
}

HRESULT ModemCore::Session(IMbnDeviceService* service, const std::string& id, bool open, ULONG* requestId) {
    if (!requestId) return E_POINTER;
    SessionBehaviour behaviour;
    ULONG request;
    {
        std::lock_guard lock(mutex);
        auto it = services.find(LowerAscii(id));
        if (it == services.end()) return static_cast<HRESULT>(0x8007048F);
        behaviour = open ? it->second.open : it->second.close;
        if (behaviour.kind == SessionBehaviour::Fail) return behaviour.failure;
        request = nextRequestId++;
    }
    *requestId = request;
    if (behaviour.kind == SessionBehaviour::Never) return S_OK;
    auto self = Self();
    ComRef<IMbnDeviceService> ref(service);
    HRESULT status = behaviour.status;
    Complete(behaviour.delayMs, [self, ref, id, open, status, request] {
        if (status == S_OK) {
            std::lock_guard lock(self->mutex);
            auto it = self->services.find(LowerAscii(id));
            if (it != self->services.end()) it->second.sessionOpen = open;
        }
        self->Deliver(IID_IMbnDeviceServicesEvents, [&](void* sink) {
            auto* events = static_cast<IMbnDeviceServicesEvents*>(sink);
            if (open)
                events->OnOpenCommandSessionComplete(ref.get(), status, request);
            else
                events->OnCloseCommandSessionComplete(ref.get(), status, request);
        });
    });
    return S_OK;
}

HRESULT ModemCore::Command(IMbnDeviceService* service, const std::string& id, bool query, ULONG commandId,
                           SAFEARRAY* data, ULONG* requestId) {
    if (!requestId) return E_POINTER;
    std::string bytes;
    if (!modemfile::ReadByteArray(data, &bytes)) return E_INVALIDARG;

    ModemReply reply;
    std::string description;
    ULONG request;
    ULONG answerId;
    std::string canonical;
    {
        std::lock_guard lock(mutex);
        auto it = services.find(LowerAscii(id));
        if (it == services.end()) return static_cast<HRESULT>(0x8007048F);
        if (!it->second.sessionOpen) return E_FAIL;
        canonical = it->second.id;
        modemfile::ModemAnswer answer = modemfile::Answer(answers, canonical, commandId, bytes);
        if (replyOverride && modemfile::IsAtCommand(canonical, commandId))
            answer = {*replyOverride, modemfile::DescribeReply(*replyOverride)};
        reply = answer.reply;
        description = answer.description;
        request = nextRequestId++;
        answerId = reply.wrongRequestId ? nextRequestId++ : request;
        commands.push_back({canonical, commandId, query, bytes, description});
    }
    *requestId = request;
    machine.transcript().Add("modem", std::string(query ? "QueryCommand " : "SetCommand ") + canonical + " " +
                                          std::to_string(commandId) + " \"" + EscapeBytes(bytes) + "\" -> " + description);
    if (reply.kind == ModemReply::Silent) {
        if (reply.gone) RemoveAllInterfaces();
        return S_OK;
    }

    auto self = Self();
    ComRef<IMbnDeviceService> ref(service);
    Complete(reply.delayMs, [self, ref, reply, query, commandId, answerId] {
        SAFEARRAY* array = reply.kind == ModemReply::NoData ? nullptr : NewByteArray(reply.bytes);
        self->Deliver(IID_IMbnDeviceServicesEvents, [&](void* sink) {
            auto* events = static_cast<IMbnDeviceServicesEvents*>(sink);
            if (query)
                events->OnQueryCommandComplete(ref.get(), commandId, array, reply.status, answerId);
            else
                events->OnSetCommandComplete(ref.get(), commandId, array, reply.status, answerId);
        });
        SafeArrayDestroy(array);
        if (reply.gone) self->RemoveAllInterfaces();
    });
    return S_OK;
}

// ---- the party --------------------------------------------------------------------------------

Modem::Modem(Machine& machine) : core_(std::make_shared<ModemCore>(machine)) {}

Modem::~Modem() {
    core_->alive = false;
    core_->ReleaseAllSinks();
}

std::size_t Modem::AddInterface(ModemInterface settings) {
    std::lock_guard lock(core_->mutex);
    return core_->interfaces.Add(std::move(settings));
}

void Modem::SetInterface(std::size_t index, ModemInterface settings) {
    std::lock_guard lock(core_->mutex);
    if (index < core_->interfaces.Size()) core_->interfaces.At(index) = std::move(settings);
}

ModemInterface Modem::Interface(std::size_t index) const {
    std::lock_guard lock(core_->mutex);
    if (index >= core_->interfaces.Size()) return {};
    ModemInterface settings = core_->interfaces.At(index);
    settings.id = core_->interfaces.IdAt(index);
    return settings;
}

std::size_t Modem::InterfaceCount() const {
    std::lock_guard lock(core_->mutex);
    return core_->interfaces.Size();
}

void Modem::RemoveInterfaces() { core_->RemoveAllInterfaces(); }

std::size_t Modem::ReturnInterface(ModemInterface settings) {
    std::size_t index = AddInterface(std::move(settings));
    RaiseInterfaceEvent(InterfaceEvent::ReadyStateChange, index);
    RaiseRegistrationEvent(RegistrationEvent::RegisterStateChange, index);
    RaiseRegistrationEvent(RegistrationEvent::PacketServiceStateChange, index);
    return index;
}

void Modem::SetProviderId(std::size_t index, std::string providerId) {
    std::lock_guard lock(core_->mutex);
    if (index < core_->interfaces.Size()) core_->interfaces.At(index).providerId = std::move(providerId);
}

void Modem::AddDeviceService(const std::string& id) {
    std::lock_guard lock(core_->mutex);
    auto& state = core_->services[LowerAscii(id)];
    if (state.id.empty()) state.id = LowerAscii(id);
}

void Modem::RemoveDeviceService(const std::string& id) {
    std::lock_guard lock(core_->mutex);
    core_->services.erase(LowerAscii(id));
}

void Modem::SetSessionOpen(const std::string& id, bool open) {
    AddDeviceService(id);
    std::lock_guard lock(core_->mutex);
    core_->services[LowerAscii(id)].sessionOpen = open;
}

bool Modem::SessionOpen(const std::string& id) const { return core_->SessionIsOpen(id); }

void Modem::SetOpenBehaviour(const std::string& id, SessionBehaviour behaviour) {
    AddDeviceService(id);
    std::lock_guard lock(core_->mutex);
    core_->services[LowerAscii(id)].open = behaviour;
}

void Modem::SetCloseBehaviour(const std::string& id, SessionBehaviour behaviour) {
    AddDeviceService(id);
    std::lock_guard lock(core_->mutex);
    core_->services[LowerAscii(id)].close = behaviour;
}

void Modem::SetReply(std::string command, ModemReply reply) {
    std::lock_guard lock(core_->mutex);
    core_->answers.exactReplies[std::move(command)] = {std::move(reply)};
}

void Modem::AddReplyPattern(std::string pattern, ModemReply reply) {
    std::lock_guard lock(core_->mutex);
    core_->answers.patternReplies.emplace_back(std::move(pattern), std::move(reply));
}

void Modem::SetDefaultReply(ModemReply reply) {
    std::lock_guard lock(core_->mutex);
    core_->answers.defaultReply = std::move(reply);
}

void Modem::SetReplyOverride(std::optional<ModemReply> reply) {
    std::lock_guard lock(core_->mutex);
    core_->replyOverride = std::move(reply);
}

void Modem::ClearReplies() {
    std::lock_guard lock(core_->mutex);
    core_->answers.exactReplies.clear();
    core_->answers.patternReplies.clear();
    core_->answers.defaultReply = ModemReply::Text("\r\nOK\r\n");
}

void Modem::SetDeviceMode(std::int32_t mode, std::int32_t sarIndex, std::int32_t antennaIndex) {
    std::lock_guard lock(core_->mutex);
    core_->answers.deviceMode[0] = mode;
    core_->answers.deviceMode[1] = sarIndex;
    core_->answers.deviceMode[2] = antennaIndex;
    core_->answers.deviceModeReply.reset();
}

void Modem::SetDeviceModeReply(ModemReply reply) {
    std::lock_guard lock(core_->mutex);
    core_->answers.deviceModeReply = std::move(reply);
}

void Modem::SetEarlyCompletions(bool early) {
    std::lock_guard lock(core_->mutex);
    core_->early = early;
}

void Modem::SetFault(ModemFault step, HRESULT result) {
    std::lock_guard lock(core_->mutex);
    if (result == S_OK)
        core_->faults.erase(step);
    else
        core_->faults[step] = result;
}

void Modem::RaiseRegistrationEvent(RegistrationEvent event, std::size_t index, ULONG requestId, HRESULT status) {
    auto core = core_->Self();
    core->machine.clock().Post([core, event, index, requestId, status] {
        std::vector<std::uint64_t> keys = core->InterfaceKeys();
        IMbnRegistration* registration = nullptr;
        if (index < keys.size()) {
            IMbnInterface* item = NewMbnInterface(core, keys[index]);
            item->QueryInterface(IID_IMbnRegistration, reinterpret_cast<void**>(&registration));
            item->Release();
        }
        ComRef<IMbnRegistration> ref(registration, false);
        core->Deliver(IID_IMbnRegistrationEvents, [&](void* sink) {
            auto* events = static_cast<IMbnRegistrationEvents*>(sink);
            switch (event) {
                case RegistrationEvent::RegisterModeAvailable: events->OnRegisterModeAvailable(ref.get()); break;
                case RegistrationEvent::RegisterStateChange: events->OnRegisterStateChange(ref.get()); break;
                case RegistrationEvent::PacketServiceStateChange: events->OnPacketServiceStateChange(ref.get()); break;
                case RegistrationEvent::SetRegisterModeComplete:
                    events->OnSetRegisterModeComplete(ref.get(), requestId, status);
                    break;
            }
        });
    });
}

void Modem::RaiseInterfaceEvent(InterfaceEvent event, std::size_t index) {
    auto core = core_->Self();
    core->machine.clock().Post([core, event, index] {
        std::vector<std::uint64_t> keys = core->InterfaceKeys();
        ComRef<IMbnInterface> ref(index < keys.size() ? NewMbnInterface(core, keys[index]) : nullptr, false);
        core->Deliver(IID_IMbnInterfaceEvents, [&](void* sink) {
            auto* events = static_cast<IMbnInterfaceEvents*>(sink);
            switch (event) {
                case InterfaceEvent::InterfaceCapabilityAvailable: events->OnInterfaceCapabilityAvailable(ref.get()); break;
                case InterfaceEvent::SubscriberInformationChange: events->OnSubscriberInformationChange(ref.get()); break;
                case InterfaceEvent::ReadyStateChange: events->OnReadyStateChange(ref.get()); break;
                case InterfaceEvent::EmergencyModeChange: events->OnEmergencyModeChange(ref.get()); break;
                case InterfaceEvent::HomeProviderAvailable: events->OnHomeProviderAvailable(ref.get()); break;
                case InterfaceEvent::PreferredProvidersChange: events->OnPreferredProvidersChange(ref.get()); break;
            }
        });
    });
}

void Modem::RaiseEventNotification(const std::string& serviceId, ULONG eventId, std::string data) {
    auto core = core_->Self();
    core->machine.clock().Post([core, serviceId, eventId, data] {
        std::vector<std::uint64_t> keys = core->InterfaceKeys();
        std::string canonical = serviceId;
        core->ServiceExists(serviceId, &canonical);
        ComRef<IMbnDeviceService> ref(NewMbnDeviceService(core, keys.empty() ? 0 : keys[0], canonical), false);
        SAFEARRAY* array = NewByteArray(data);
        core->Deliver(IID_IMbnDeviceServicesEvents, [&](void* sink) {
            static_cast<IMbnDeviceServicesEvents*>(sink)->OnEventNotification(ref.get(), eventId, array);
        });
        SafeArrayDestroy(array);
    });
}

std::string Modem::LoadModemFile(const std::filesystem::path& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) return hostPath.string() + ": cannot read the modem file";
    std::stringstream text;
    text << in.rdbuf();
    return LoadModemText(text.str(), hostPath.string());
}

std::string Modem::LoadModemText(std::string_view text, std::string_view fileName) {
    modemfile::ModemDescription description;
    std::string problem = modemfile::ParseModemText(text, fileName, description);
    if (problem.empty()) Apply(description);
    return problem;
}

void Modem::Apply(const modemfile::ModemDescription& description) {
    for (const ModemInterface& settings : description.interfaces) AddInterface(settings);
    for (const modemfile::ServiceSetting& setting : description.services) {
        switch (setting.kind) {
            case modemfile::ServiceSetting::Add: AddDeviceService(setting.id); break;
            case modemfile::ServiceSetting::Remove: RemoveDeviceService(setting.id); break;
            case modemfile::ServiceSetting::Session: SetSessionOpen(setting.id, setting.open); break;
            case modemfile::ServiceSetting::Open: SetOpenBehaviour(setting.id, setting.behaviour); break;
            case modemfile::ServiceSetting::Close: SetCloseBehaviour(setting.id, setting.behaviour); break;
        }
    }
    {
        std::lock_guard lock(core_->mutex);
        modemfile::ApplyAnswers(description, core_->answers);
    }
    if (description.early) SetEarlyCompletions(*description.early);
    for (const auto& [step, result] : description.faults) SetFault(step, result);
}

std::vector<std::string> Modem::UnmatchedReplies(const modemfile::ModemDescription& description,
                                                std::string_view fileName) const {
    std::lock_guard lock(core_->mutex);
    return modemfile::UnmatchedReplies(description, fileName, core_->answers);
}

std::vector<ModemCommand> Modem::Commands() const {
    std::lock_guard lock(core_->mutex);
    return core_->commands;
}

void Modem::ClearCommands() {
    std::lock_guard lock(core_->mutex);
    core_->commands.clear();
    core_->commands.shrink_to_fit();
}

std::size_t Modem::AdvisedSinks(REFIID events) const {
    std::lock_guard lock(core_->mutex);
    return static_cast<std::size_t>(std::count_if(core_->connections.begin(), core_->connections.end(),
                                                  [&](const auto& c) { return c->events == events; }));
}

}  // namespace sim
