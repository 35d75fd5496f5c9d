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

std::string Equals(AntCommandForm form) { return form == AntCommandForm::Spaced ? " = " : "="; }

}  // namespace

std::string CAntCommand::TuningEnableCommand(const std::string& value, AntCommandForm form) {
    return "AT+GTANTTUNINGEN" + Equals(form) + value + "\r\n";
}

std::string CAntCommand::CtrlModeCommand(const std::string& value, AntCommandForm form) {
    return "AT+GTANTCTRLMODE" + Equals(form) + value + "\r\n";
}

std::string CAntCommand::TuneModeCommand(const std::string& value, AntCommandForm form) {
    return "AT+GTANTTUNEMODE" + Equals(form) + value + "\r\n";
}

std::string CAntCommand::ProfileCommand(const std::string& profile) {
    return "AT+GTANTPROFILE=" + profile + "\r\n";
}

bool CAntCommand::AreBasicParamsSendable(const std::string& file, const char* const (&keys)[3],
                                         const std::string& tuningEnable, const std::string& ctrlMode,
                                         const std::string& tuneMode) {
    return CAtText::IsSendable(file, keys[0], tuningEnable, TuningEnableCommand(tuningEnable)) &&
           CAtText::IsSendable(file, keys[1], ctrlMode, CtrlModeCommand(ctrlMode)) &&
           CAtText::IsSendable(file, keys[2], tuneMode, TuneModeCommand(tuneMode));
}

int CAntCommand::SetAntTuningEnable(const std::string& value, AntCommandForm form) {
    return SendValue(TuningEnableCommand(value, form), value);
}

int CAntCommand::SetAntCtrlMode(const std::string& value, AntCommandForm form) {
    return SendValue(CtrlModeCommand(value, form), value);
}

int CAntCommand::SetAntTuneMode(const std::string& value, AntCommandForm form) {
    return SendValue(TuneModeCommand(value, form), value);
}

int CAntCommand::SetAntBasicParam(const std::string& tuningEnable, const std::string& ctrlMode,
                                  const std::string& tuneMode, AntCommandForm form) {
    int result = SetAntTuningEnable(tuningEnable, form);
    if (result == 0) {
        result = SetAntCtrlMode(ctrlMode, form);
    }
    if (result == 0) {
        result = SetAntTuneMode(tuneMode, form);
    }
    return result;
}

int CAntCommand::SetAntProfile(const std::string& profile) {
    return CAtCommandSequence::SendOne(ProfileCommand(profile));
}
