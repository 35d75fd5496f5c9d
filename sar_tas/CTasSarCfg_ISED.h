// The TA-SAR writer of the ISED region, from "SAR_TAS_ISED_PV.xml". It applies
// only to an MCC in effect that the ISED list holds.
#pragma once

#include <string>

#include "sar_tas/CTasSarXml.h"

class CTasSarCfg_ISED {
public:
    CTasSarCfg_ISED();

    int SetTasSarXml(std::string mcc, std::string boardProduct, std::string modemVersion, bool* changed) {
        return m_core.SetTasSarXml(mcc, std::string(), boardProduct, modemVersion, changed);
    }
    bool SelectXmlFile(std::string mcc, std::string boardProduct) {
        return m_core.SelectXmlFile(mcc, std::string(), boardProduct);
    }

    static const TasSarRegion kRegion;

private:
    CTasSarXml m_core;
};
