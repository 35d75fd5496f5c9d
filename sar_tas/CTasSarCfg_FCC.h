// The TA-SAR writer of the FCC region, from "SAR_TAS_FCC_PV.xml".
#pragma once

#include <string>

#include "sar_tas/CTasSarXml.h"

class CTasSarCfg_FCC {
public:
    CTasSarCfg_FCC();

    int SetTasSarXml(std::string mcc, std::string netMcc, std::string boardProduct, std::string modemVersion,
                     bool* changed) {
        return m_core.SetTasSarXml(mcc, netMcc, boardProduct, modemVersion, changed);
    }
    bool SelectXmlFile(std::string mcc, std::string netMcc, std::string boardProduct) {
        return m_core.SelectXmlFile(mcc, netMcc, boardProduct);
    }

    static const TasSarRegion kRegion;

private:
    CTasSarXml m_core;
};
