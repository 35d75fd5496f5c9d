#include "modem/COemTableVersion.h"

#include "modem/CAtText.h"

bool COemTableVersion::IsChanged(const std::string& fileVersion, const std::string& modemVersion) {
    return CAtText::Upper(fileVersion) != CAtText::Upper(modemVersion);
}

std::string COemTableVersion::Quote(const std::string& text) {
    return "\"" + text + "\"";
}

std::string COemTableVersion::RecordCommand(int slot, const std::string& quotedVersion) {
    return "At+SETOEMTABLEVER=" + std::to_string(slot) + "," + quotedVersion + "\r\n";
}
