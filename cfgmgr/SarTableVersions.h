// The modem's current OEM table versions, one per slot, as the reply to
// "AT+GETOEMTABLEVER?" reports them; handed to the XML table writers.
#pragma once

#include <string>

struct SarTableVersions {
    std::string DprVer;
    std::string TasFccVer;
    std::string TasIsedVer;
    std::string AntGpoVer;
    std::string AntMipiVer;

    // Fills every field from a version reply whose blanks are removed
    // ("DPRver:<v>,TAS_FCCver:<v>,TAS_ISEDver:<v>,ANT_GPOver:<v>,ANT_MIPIver:<v>\r\n").
    // A version runs from its label to one separator before the next label,
    // the last one to its line's end, all within the label's own line; a field
    // whose label, or the label after it, is missing or out of place is left
    // empty, which no file version equals, so its writer writes.
    void Parse(const std::string& reply);
};
