#include "modem/CAtExecute.h"

int CAtExecute::ExecuteAtCommand(const std::string&, std::string& reply) {
    reply.clear();
    return kExchangeFailed;
}
int CAtExecute::ExecuteAtCommandRetry(int, int, const std::string&, std::string& reply) {
    reply.clear();
    return kExchangeFailed;
}
int CAtExecute::QueryBodySarOn(std::string&) { return kExchangeFailed; }
int CAtExecute::QueryBodySar(std::string&) { return kExchangeFailed; }
int CAtExecute::QueryTasCfg(std::string&) { return kExchangeFailed; }
int CAtExecute::QueryTas(std::string&) { return kExchangeFailed; }
int CAtExecute::QueryFdCar(std::string&) { return kExchangeFailed; }
int CAtExecute::QueryLockCar(std::string&, std::string&) { return kExchangeFailed; }
int CAtExecute::QueryTasEnable(std::string&) { return kExchangeFailed; }
void CAtExecute::GetDeviceMode(std::string& posture) { posture = "Lowest Power"; }
int CAtExecute::FindNthChar(const std::string&, char, int) { return -1; }
