// The records the table XML readers fill and the XML writers share.
#pragma once

#include <string>

// The "value" texts of the first four "Param" items of a TA-SAR file.
struct TasCfgParam {
    std::string strParam1;
    std::string strParam2;
    std::string strParam3;
    std::string strParam4;
};

// The attributes of one "Antenna_Tuner_Cfg" tuner element.
struct AntMipiTunerParam {
    std::string strStartupTime;
    std::string strPayloadRegisterAddress;
    std::string strPmTrigger;
    std::string strTunerUsid;
    std::string strTunerId;
};

// The "value" texts of the first three "Param" items: tuning enable, control mode, tune mode.
struct AntBasicParam {
    std::string strAntTuningEnable;
    std::string strAntCtrlMode;
    std::string strAntTuneMode;
};
