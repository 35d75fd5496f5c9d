// The modem's OEM table versions as the XML table writers use them: a file's
// "XmlVer" is compared with the version the modem reports for the writer's
// slot (letters a to z upper-cased on both sides), and recorded upper-cased
// and quoted with "At+SETOEMTABLEVER=%d,%s\r\n".
// Slots: 1 body SAR, 2 TA SAR FCC/CE, 3 TA SAR ISED, 4 antenna GPO, 5 MIPI.
#pragma once

#include <string>

class COemTableVersion {
public:
    // Written into the other slot of a pair (2/3, 4/5) before the writer's own.
    static constexpr const char* kZeroVersion = "0000.0000.000000.0000.0000.000";

    // true when the two versions differ once both are upper-cased.
    static bool IsChanged(const std::string& fileVersion, const std::string& modemVersion);
    static std::string Quote(const std::string& text);
    // "At+SETOEMTABLEVER=<slot>,<quotedVersion>\r\n"
    static std::string RecordCommand(int slot, const std::string& quotedVersion);
};
