#pragma once

// Shown while the port is drained.
class BusyIndicator {
public:
    virtual ~BusyIndicator() = default;
    virtual void setBusy(bool busy) = 0;
};
