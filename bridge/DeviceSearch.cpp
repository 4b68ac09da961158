#include "bridge/DeviceSearch.h"

#include "core/MicroClock.h"

void DeviceSearch::Begin()
{
    manager_.Shell.Port.Close();
    manager_.BuildRegisterMap();
    manager_.Shell.Port.SetParams(manager_.LineBaud, 8, 0, 0);
    type_ = manager_.Shell.FindVariable(MString(u"DeviceType"));
    port_ = 0;
    OpenNext();
}

bool DeviceSearch::OpenNext()
{
    // The port that gave up stays open; the next Open closes it.
    manager_.Shell.PollingEnabled = false;
    while (type_ != nullptr && ++port_ <= cActionManager::kMaxPortNumber) {
        if (!manager_.Shell.Port.Open(port_))
            continue;
        manager_.Shell.PollingEnabled = true;
        manager_.Shell.Engine.Reset();
        attempt_ = 0;
        Ask();
        return true;
    }
    manager_.Identified = false;
    return false;
}

void DeviceSearch::Ask()
{
    type_->State = mbsRequested;
    type_->LastPoll = 0;
    askedAt_ = GetTickCount32();
}

DeviceSearch::Result DeviceSearch::Step()
{
    if (type_ == nullptr || port_ > cActionManager::kMaxPortNumber)
        return Result::NotFound;
    // A link lost meanwhile (timeouts beyond the limit) has closed the port.
    if (manager_.Shell.Port.IsOpen())
        manager_.TickScheduler();
    const bool waiting = type_->State == mbsRequested || type_->State == mbsSent;
    if (waiting && manager_.Shell.Port.IsOpen() && TickDiff(GetTickCount32(), askedAt_) <= int32_t(kAttemptLimitMs))
        return Result::Busy;
    if (type_->State == mbsDone && !waiting) {
        if (type_->Value.View().starts_with(u"Quintavolte")) {
            manager_.Identified = true;
            manager_.VersionX100 = cActionManager::ParseVersionX100(type_->Value);
            return Result::Found;
        }
        return OpenNext() ? Result::Busy : Result::NotFound;  // another kind of device
    }
    if (++attempt_ < kAttempts && manager_.Shell.Port.IsOpen()) {
        Ask();
        return Result::Busy;
    }
    return OpenNext() ? Result::Busy : Result::NotFound;
}
