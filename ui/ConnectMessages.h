// What the operator is told when the device was not found: what the search met at each
// port, advice for the ports it was not allowed to open, and the way forward. Built from
// the search's outcomes alone, so that the texts can be checked without a window.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "device/ConnectionController.h"
#include "port/PortList.h"

// Who owns a port's device file; false when it cannot be examined.
using PortOwnerLookup = std::function<bool(const std::string &path, PortOwner *owner)>;

// The outcome at one port as the operator reads it ("нет ответа", "занят другой программой"…).
QString PortOutcomeText(const PortOutcome &tried);

// The whole message of a search that found no device: the ports tried (those with the
// same outcome on one line), the refused ports by the group that would open them (or by
// their owner where no group would), `after` when given, and the way to choose a port.
QString ConnectFailureText(const std::vector<PortOutcome> &tried, const std::vector<RefusedGroup> &refused,
                           const QString &after = QString(), const PortOwnerLookup &owner = PortOwnership);

// What became of the port connected before a chosen port failed; empty when there was none.
QString PreviousPortText(const ConnectionController::Choice &choice);
