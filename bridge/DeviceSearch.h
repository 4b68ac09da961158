// The search for the device that cActionManager::Connect makes (every candidate port, up to
// three reads of the type text on each), taken one scheduler turn at a time, so that the
// bridge's loop answers the broker and stops on a signal while no device is there.
#pragma once

#include <cstdint>

#include "device/ActionManager.h"

class DeviceSearch {
public:
    enum class Result { Busy, Found, NotFound };

    explicit DeviceSearch(cActionManager &manager) : manager_(manager) {}

    // Closes the port, rebuilds the variable table and opens the first port that opens.
    void Begin();
    // One turn; Found leaves the device identified (Identified, VersionX100) with its port open.
    Result Step();

    static constexpr int kAttempts = 3;
    // A read that neither went out nor timed out by then counts as a failed attempt.
    static constexpr uint32_t kAttemptLimitMs = 1500;

private:
    bool OpenNext();
    void Ask();

    cActionManager &manager_;
    ModbusAction *type_ = nullptr;
    int port_ = 0;
    int attempt_ = 0;
    uint32_t askedAt_ = 0;
};
