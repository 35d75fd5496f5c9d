// The TA-SAR writer of the CE region, from "SAR_TAS_CE_PV.xml".
#pragma once

#include <string>

#include "sar_tas/CTasSarXml.h"

class CTasSarCfg_CE {
public:
    CTasSarCfg_CE();

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
