#include "config/CSysHelper.h"

int CSysHelper::GetBoardIdRegPath(std::string& valueName, std::string& keyPath) {
    valueName = "BaseBoardProduct";
    keyPath = "SYSTEM\\HardwareConfig\\Current";
    return 1;
}
int CSysHelper::GetBoardProduct(std::string&, std::string& boardProduct) {
    boardProduct.clear();
    return 1;
}
int CSysHelper::GetBiosValue(const std::string&, std::string& value) {
    value.clear();
    return 1;
}
int CSysHelper::GetWwanDeviceConfigId(std::string& configId) {
    configId.clear();
    return 1;
}
int CSysHelper::GetModuleId() { return 0; }
int CSysHelper::SetServiceRegValue(const std::string&, const std::string&) { return 1; }
bool CSysHelper::IsFwPackUniversalEnabled() { return false; }
bool CSysHelper::IsConfigNonSecureEnabled() { return false; }
void CSysHelper::DeleteFlsDataFolder() {}
void CSysHelper::BackupLogFiles() {}
