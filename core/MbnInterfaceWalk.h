// The walk over the modem's interfaces that both SIM reads make.
#pragma once

#include "platform/mbn.h"

// Fetches the manager's interfaces and walks them, reading each one's ready state, up to the
// first step that fails. False when the manager gave no interfaces at all. Otherwise `found`
// is the last interface fetched (the caller releases it), or null when there is none or a null
// element ended the walk. Each failure is logged.
bool GetLastMbnInterface(IMbnInterfaceManager* manager, IMbnInterface*& found);

// The start both SIM reads share: a fresh interface manager and its last interface, both
// released with the object, last fetched first.
class CMbnLastInterface {
public:
    // Logs `createFailed` when the manager cannot be created, "InterfaceManager is null" when
    // it is created empty.
    explicit CMbnLastInterface(const char* createFailed);
    ~CMbnLastInterface();
    CMbnLastInterface(const CMbnLastInterface&) = delete;
    CMbnLastInterface& operator=(const CMbnLastInterface&) = delete;

    // The manager was created empty: the read fails.
    bool ManagerMissing() const { return m_managerMissing; }
    // Null when there is none (each reason logged).
    IMbnInterface* Get() const { return m_interface; }
    // The home provider's ID after `prefix`, or the failure.
    void LogHomeProvider(const char* prefix) const;

private:
    IMbnInterfaceManager* m_manager = nullptr;
    IMbnInterface* m_interface = nullptr;
    bool m_managerMissing = false;
};
