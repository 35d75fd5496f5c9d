// The run both antenna XML writers (GPO and MIPI tuner) make once they have
// selected their table file(s). The writer's master file gives "XmlVer", the
// basic parameters and the posture's enable list; the writer supplies its own
// reads and sends as steps.
//
// No "XmlVer": the file is not used (logged), nothing is sent. Version equal
// to the modem's: read the basic parameters, look up the posture's profile
// (a file without "Enable" entries is not used), send the three basic
// parameters and the profile. Version differs: read and check everything else, then send the
// basic parameters, the writer's tables, the zero version into the other
// antenna slot and the file's version into the writer's own slot; the change
// is reported once tables and version are in the modem, before the profile
// is looked up and sent (a profile that then fails is still the result).
//
// A posture without an enable entry, or whose profile text cannot travel
// inside a command, sends no "AT+GTANTPROFILE=" at all: the step is skipped
// and logged, the rest goes on. An "XmlVer" that cannot travel inside a
// command makes the file unreadable: result 0, nothing sent.
#pragma once

#include <functional>
#include <string>

#include "config/CXmlCfgReader.h"

struct AntXmlSteps {
    std::string masterPath;
    int ownSlot = 0;   // the writer's OEM table version slot
    int zeroSlot = 0;  // the other antenna slot, given the zero version first
    // The basic parameters from the master file, checked with
    // CAntCommand::AreBasicParamsSendable; false: nothing is sent.
    std::function<bool()> readAntBasicParam;
    // The three basic-parameter commands (CAntCommand::SetAntBasicParam).
    std::function<int()> setAntBasicParam;
    // Changed path: reads and checks everything else it sends and builds the
    // command arguments; false: nothing is sent.
    std::function<bool()> readAntTables;
    // Changed path: the commands between the basic parameters and the
    // versions; the first non-zero result ends the run.
    std::function<int()> setAntTables;
};

class CAntXmlWriter {
public:
    static constexpr int kGpoSlot = 4;
    static constexpr int kMipiSlot = 5;

    enum class Version { Unchanged, Changed, Unreadable };

    // `xmlVer` is the writer's own version text: upper-cased when read,
    // quoted once the zero version went out.
    CAntXmlWriter(CXmlCfgReader& reader, AntXmlSteps steps, std::string& xmlVer);

    // 0, 5 for an empty basic parameter, or the result of the first command
    // that failed. `changed` is only ever set to true.
    int Run(const std::string& moduleVersion, bool* changed);

    Version IsXmlVersionChanged(const std::string& moduleVersion);
    // The basic parameters, then the posture's profile (empty when the
    // posture has no enable entry or its profile cannot be sent); false when
    // either cannot be read.
    bool GetProfileByDeviceMode(std::string& profile);
    // Zero version into the other slot, then the quoted file version into the
    // writer's own; the first non-zero result.
    int SetOemTableVersion();
    // An empty profile is not sent: logged, 0.
    int SetAntProfile(const std::string& profile);

private:
    bool LookUpProfile(std::string& profile);

    CXmlCfgReader& m_reader;
    AntXmlSteps m_steps;
    std::string& m_strXmlVer;
    std::string m_strPosture;
};
