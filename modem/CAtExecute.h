// The table writers' door to the modem: one AT command, a bounded retry, the
// fixed queries with their reply checks, and the notebook's posture name.
#pragma once

#include <string>

// The three numbers of the device-mode service as decimal texts.
struct DeviceModeInfo {
    std::string strDeviceMode;
    std::string strSarIndex;
    std::string strAntIndex;
};

class CAtExecute {
public:
    CAtExecute() {}
    virtual ~CAtExecute() {}

    // 0 when the exchange succeeded; otherwise kExchangeFailed and an empty reply.
    int ExecuteAtCommand(const std::string& command, std::string& reply);
    // Up to retries + 2 attempts (retries and delay outside 0..10 become 3),
    // sleeping the delay after every failed one; the last attempt's result.
    int ExecuteAtCommandRetry(int retries, int delaySeconds, const std::string& command, std::string& reply);

    // 0, 4 when the modem's reply fails the query's check (out values
    // untouched), or the exchange's result.
    int QueryBodySarOn(std::string& reply);
    int QueryBodySar(std::string& reply);
    int QueryTasCfg(std::string& reply);
    int QueryTas(std::string& reply);
    int QueryFdCar(std::string& value);
    int QueryLockCar(std::string& firstValue, std::string& secondValue);
    int QueryTasEnable(std::string& value);

    // "Lowest Power" to "book"; "Lowest Power" without an answer.
    void GetDeviceMode(std::string& posture);

    // Position of the n-th `character` in `text`, or -1.
    int FindNthChar(const std::string& text, char character, int n);

    static constexpr int kExchangeFailed = 1;
    static constexpr int kQueryCheckFailed = 4;
};
