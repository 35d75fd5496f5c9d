#include "config/CConfigPath.h"
#include "sar_tas/CTasSarCfg_CE.h"
#include "sar_tas/CTasSarCfg_FCC.h"
#include "sar_tas/CTasSarCfg_ISED.h"

// FCC covers every MCC that neither the ISED nor the CE list holds; its zero
// version goes into the ISED slot before its own, and ISED does the reverse.
const TasSarRegion CTasSarCfg_FCC::kRegion = {
    "SAR_TAS_FCC_PV.xml", {kISEDMCC, kCEMCC}, false, true, false, 3, 2, "AT+GTTASALGO=1\r\n", "TAS_FCC", 0};

// CE shares the FCC slot; without any MCC the notebook counts as CE.
const TasSarRegion CTasSarCfg_CE::kRegion = {
    "SAR_TAS_CE_PV.xml", {kCEMCC, nullptr}, true, true, false, 3, 2, "AT+GTTASALGO=1\r\n", "TAS_CE", 10};

const TasSarRegion CTasSarCfg_ISED::kRegion = {
    "SAR_TAS_ISED_PV.xml", {kISEDMCC, nullptr}, true, false, true, 2, 3, "AT+GTTASALGO=2\r\n", "TAS_ISED", 20};

CTasSarCfg_FCC::CTasSarCfg_FCC() : m_core(kRegion) {}
CTasSarCfg_CE::CTasSarCfg_CE() : m_core(kRegion) {}
CTasSarCfg_ISED::CTasSarCfg_ISED() : m_core(kRegion) {}
