#include "antenna/CAntCommand.h"

#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"

namespace {

int SendValue(const std::string& command, const std::string& value) {
    if (value.empty()) {
        return CAntCommand::kNothingToSend;
    }
    return CAtCommandSequence::SendOne(command);
}

bool IsSendable(const std::string& value, const std::string& command) {
    return CAtText::IsSafe(value) && CAntCommand::Fits(command);
}

}  // namespace

std::string CAntCommand::TuningEnableCommand(const std::string& value) {
    return "AT+GTANTTUNINGEN=" + value + "\r\n";
}

std::string CAntCommand::CtrlModeCommand(const std::string& value) {
    return "AT+GTANTCTRLMODE=" + value + "\r\n";
}

std::string CAntCommand::TuneModeCommand(const std::string& value) {
    return "AT+GTANTTUNEMODE=" + value + "\r\n";
}

std::string CAntCommand::ProfileCommand(const std::string& profile) {
    return "AT+GTANTPROFILE=" + profile + "\r\n";
}

bool CAntCommand::AreBasicParamsSendable(const std::string& tuningEnable, const std::string& ctrlMode,
                                         const std::string& tuneMode) {
    return IsSendable(tuningEnable, TuningEnableCommand(tuningEnable)) &&
           IsSendable(ctrlMode, CtrlModeCommand(ctrlMode)) && IsSendable(tuneMode, TuneModeCommand(tuneMode));
}

int CAntCommand::SetAntTuningEnable(const std::string& value) {
    return SendValue(TuningEnableCommand(value), value);
}

int CAntCommand::SetAntCtrlMode(const std::string& value) {
    return SendValue(CtrlModeCommand(value), value);
}

int CAntCommand::SetAntTuneMode(const std::string& value) {
    return SendValue(TuneModeCommand(value), value);
}

int CAntCommand::SetAntBasicParam(const std::string& tuningEnable, const std::string& ctrlMode,
                                  const std::string& tuneMode) {
    int result = SetAntTuningEnable(tuningEnable);
    if (result == 0) {
        result = SetAntCtrlMode(ctrlMode);
    }
    if (result == 0) {
        result = SetAntTuneMode(tuneMode);
    }
    return result;
}

int CAntCommand::SetAntProfile(const std::string& profile) {
    return CAtCommandSequence::SendOne(ProfileCommand(profile));
}
