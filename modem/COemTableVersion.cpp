#include "modem/COemTableVersion.h"

std::string COemTableVersion::Upper(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

bool COemTableVersion::IsChanged(const std::string& fileVersion, const std::string& modemVersion) {
    return Upper(fileVersion) != Upper(modemVersion);
}

std::string COemTableVersion::Quote(const std::string& text) {
    return "\"" + text + "\"";
}

std::string COemTableVersion::RecordCommand(int slot, const std::string& quotedVersion) {
    return "At+SETOEMTABLEVER=" + std::to_string(slot) + "," + quotedVersion + "\r\n";
}
