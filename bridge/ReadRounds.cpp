#include "bridge/ReadRounds.h"

#include "core/MicroClock.h"

namespace {

bool Settled(const ModbusAction *v)
{
    return v->State != mbsRequested && v->State != mbsSent;
}

}  // namespace

ReadRounds::ReadRounds(std::vector<std::string> names, int intervalMs) : intervalMs_(intervalMs)
{
    for (std::string &name : names) {
        Watched w;
        w.Name = std::move(name);
        watched_.push_back(std::move(w));
    }
}

void ReadRounds::Attach(ModbusShell &shell, const std::set<std::string> &settings)
{
    for (Watched &w : watched_) {
        w.Setting = settings.count(w.Name) != 0;
        w.Variable = shell.FindVariable(MString::FromUtf8(w.Name));
        w.Awaiting = false;
        w.Queued = false;
    }
    due_.clear();
    started_ = false;
}

void ReadRounds::Detach()
{
    for (Watched &w : watched_) {
        w.Variable = nullptr;
        w.Awaiting = false;
        w.Queued = false;
        w.HasPublished = false;
        w.Published.clear();
    }
    due_.clear();
}

void ReadRounds::StartRoundIfDue(uint32_t now)
{
    if (started_ && TickDiff(now, lastRound_) < intervalMs_)
        return;
    started_ = true;
    lastRound_ = now;
    for (size_t i = 0; i < watched_.size(); ++i) {
        Watched &w = watched_[i];
        if (w.Queued || w.Awaiting || w.Variable == nullptr)
            continue;
        w.Queued = true;
        due_.push_back(i);
    }
}

void ReadRounds::Feed(const std::string &skip)
{
    size_t marked = 0;
    for (const Watched &w : watched_)
        marked += w.Awaiting ? 1 : 0;
    while (marked < kReadWindow && !due_.empty()) {
        Watched &w = watched_[due_.front()];
        due_.pop_front();
        w.Queued = false;
        if (w.Variable == nullptr || w.Name == skip)
            continue;
        if (Settled(w.Variable))
            w.Variable->State = mbsRequested;
        w.Awaiting = true;
        ++marked;
    }
}

void ReadRounds::Collect(const std::string &skip, const std::function<void(Watched &)> &done)
{
    for (Watched &w : watched_) {
        if (!w.Awaiting || w.Variable == nullptr || !Settled(w.Variable) || w.Name == skip)
            continue;
        w.Awaiting = false;
        if (w.Variable->State == mbsDone)
            done(w);
    }
}

void ReadRounds::ReadAgain(const std::string &name)
{
    if (Watched *w = Find(name); w != nullptr && w->Variable != nullptr) {
        w->Variable->State = mbsRequested;
        w->Awaiting = true;
    }
}

bool ReadRounds::Busy() const
{
    if (!due_.empty())
        return true;
    for (const Watched &w : watched_)
        if (w.Awaiting)
            return true;
    return false;
}

int32_t ReadRounds::UntilNextRound(uint32_t now) const
{
    return intervalMs_ - TickDiff(now, lastRound_);
}

ReadRounds::Watched *ReadRounds::Find(const std::string &name)
{
    for (Watched &w : watched_)
        if (w.Name == name)
            return &w;
    return nullptr;
}
