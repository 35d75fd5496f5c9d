// Connects the registration-event sink to the Mobile Broadband API at start, disconnects it at stop.
#pragma once

class CMbnMonitor {
public:
    static CMbnMonitor* GetInstance();

    // 1 when the sink is advised, 0 after logging the failed step.
    int AttachStateMbnRegEvent();
    // Safe after a partial or failed attach.
    void DetachStateMbnRegEvent();

    // Test hook of the placeholder: makes the next attaches fail.
    void FailAttachForTest() { m_bFailAttach = true; }

private:
    CMbnMonitor() {}

    bool m_bFailAttach = false;
};
