// The bridge's reads of the device: every watched variable once per round, a round begun
// every interval, and only a few reads marked at a time, so that a write never waits
// behind more than those. A round that outlasts the interval goes on; what it has not
// reached keeps its place.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "device/ModbusShell.h"

class ReadRounds {
public:
    // Reads marked at a time: enough to keep the line busy, few enough that a write waits
    // for no more than these before it goes out.
    static constexpr size_t kReadWindow = 2;

    struct Watched {
        std::string Name;
        ModbusAction *Variable = nullptr;
        bool Setting = false;   // configuration: the device changes it only when written
        bool Queued = false;    // waits in the round for its read
        bool Awaiting = false;  // marked for reading, reply not handled yet
        bool HasPublished = false;
        std::string Published;  // the text last sent
        uint32_t PublishedAt = 0;
    };

    ReadRounds(std::vector<std::string> names, int intervalMs);

    // The variables of a device just found; `settings` are its configuration's names.
    void Attach(ModbusShell &shell, const std::set<std::string> &settings);
    // The device is gone: nothing read before is current when it comes back.
    void Detach();

    // A round begins when the interval is over (or none has begun yet).
    void StartRoundIfDue(uint32_t now);
    // Marks further reads of the round, none of `skip` (a write of it is under way).
    void Feed(const std::string &skip);
    // Hands every read that ended, except one of `skip`, to `done` when it succeeded.
    void Collect(const std::string &skip, const std::function<void(Watched &)> &done);
    // Reads the variable again at once (its value text holds what was written).
    void ReadAgain(const std::string &name);

    // Reads are marked or still due in this round.
    bool Busy() const;
    // Milliseconds until the next round begins (may be 0 or less).
    int32_t UntilNextRound(uint32_t now) const;

    Watched *Find(const std::string &name);
    std::vector<Watched> &All() { return watched_; }

private:
    std::vector<Watched> watched_;
    int intervalMs_;
    std::deque<size_t> due_;  // watched_ entries still to be read in this round
    bool started_ = false;
    uint32_t lastRound_ = 0;
};
