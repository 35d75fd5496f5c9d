// Starts and stops the service's work: the worker object and the registration monitor.
#pragma once

class CServiceStart {
public:
    // True when the worker thread was started.
    bool StartWork();
    void StopWork();
};
