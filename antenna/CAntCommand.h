// The antenna commands every antenna writer shares: the three basic
// parameters of the antenna tuner (tuning enable, control mode, tune mode),
// the profile of the posture, and the bound on a command's length.
//
// Every command goes out with the writers' 3 retries and 3-second delay. A
// command that would not fit the 4096 bytes it is formatted into is not cut
// and sent: the writers check their commands with Fits before the first one
// goes out and send nothing when one is too long.
#pragma once

#include <cstddef>
#include <string>

// The MIPI INI writer's basic-parameter commands carry a blank on each side
// of "=" ("AT+GTANTTUNINGEN = %s\r\n"); every other writer's do not.
enum class AntCommandForm { Plain, Spaced };

class CAntCommand {
public:
    // An empty basic parameter: nothing to send.
    static constexpr int kNothingToSend = 5;
    static constexpr std::size_t kMaxLength = 4095;

    // "AT+GTANTTUNINGEN=%s\r\n", "AT+GTANTCTRLMODE=%s\r\n", "AT+GTANTTUNEMODE=%s\r\n"
    static std::string TuningEnableCommand(const std::string& value, AntCommandForm form = AntCommandForm::Plain);
    static std::string CtrlModeCommand(const std::string& value, AntCommandForm form = AntCommandForm::Plain);
    static std::string TuneModeCommand(const std::string& value, AntCommandForm form = AntCommandForm::Plain);
    static std::string ProfileCommand(const std::string& profile);  // "AT+GTANTPROFILE=%s\r\n"

    // Where a file keeps the three basic parameters, as a refusal names them.
    static constexpr const char* kIniBasicKeys[3] = {"[ANT_BASIC_PARAM] ANT_ENABLE", "[ANT_BASIC_PARAM] ANT_CTRLMODE",
                                                     "[ANT_BASIC_PARAM] ANT_TUNEMODE"};
    static constexpr const char* kXmlBasicKeys[3] = {"Param 1", "Param 2", "Param 3"};

    static bool Fits(const std::string& command) { return command.size() <= kMaxLength; }
    // Every byte of each value may travel inside a command and each command
    // fits; the first value of `file` that does not is logged as refused
    // under its key. Empty values pass: they give 5 when their turn comes.
    static bool AreBasicParamsSendable(const std::string& file, const char* const (&keys)[3],
                                       const std::string& tuningEnable, const std::string& ctrlMode,
                                       const std::string& tuneMode);

    // 5 for an empty value (nothing sent); otherwise the command's result.
    static int SetAntTuningEnable(const std::string& value, AntCommandForm form = AntCommandForm::Plain);
    static int SetAntCtrlMode(const std::string& value, AntCommandForm form = AntCommandForm::Plain);
    static int SetAntTuneMode(const std::string& value, AntCommandForm form = AntCommandForm::Plain);
    // The three in this order; the first non-zero result ends it.
    static int SetAntBasicParam(const std::string& tuningEnable, const std::string& ctrlMode,
                                const std::string& tuneMode, AntCommandForm form = AntCommandForm::Plain);
    // The profile command's result.
    static int SetAntProfile(const std::string& profile);
};
