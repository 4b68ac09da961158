// The bridge's writes on their way to the device. The newest set of a name replaces one
// still waiting (the last value wins, and the queue holds at most one write per name); a
// set the device already holds is not written; and what was written is saved to the
// device's non-volatile memory once writes have gone quiet, but not more often than the
// device's memory should bear. Time comes from the given clock, so the rules can be
// stepped through without waiting.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "device/ModbusAction.h"

struct SaveTiming {
    uint32_t QuietMs = 5000;      // save once no write has come for this long; 0: only at the end
    uint32_t SpacingMs = 600000;  // at least this long between two saves
    uint32_t RetryMs = 60000;     // a save that failed is tried again after this long
};

class WriteQueue {
public:
    using Clock = std::function<uint32_t()>;
    static constexpr char kSaveName[] = "SaveConfigToRomNow";

    struct Write {
        std::string Name;
        std::string Text;
        std::string Stored;       // the register bytes it leaves on the device; empty: cannot tell
        bool Command = false;     // makes the device act: what it held before is not known after
        uint32_t KnownForMs = 0;  // how long the value stays known once written (see Holds)
        bool Save = false;        // the save the queue asks for itself
        bool Unchanged = false;   // set by Next: the device holds it already, nothing to send
    };
    enum class Outcome { Ok, Failed, Unknown };

    WriteQueue(SaveTiming timing, Clock clock);

    // Queues a set behind the others. One still waiting for the same name is dropped and
    // returned, to be answered as replaced.
    std::optional<Write> Add(Write write);

    // The next write to carry out, oldest first, then the save when it is due; nothing
    // while a write is under way. A write the device holds already comes out with
    // Unchanged set and is done with: answer it and ask again.
    std::optional<Write> Next();
    // The write that Next gave ended.
    void Finished(Outcome outcome);
    bool UnderWay() const { return underWay_.has_value(); }

    // What a read found on the device (empty bytes: not known). A value the device also
    // changes by itself (a counter, an output) is trusted for forMs only; 0: until written.
    void Holds(const std::string &name, const std::string &stored, uint32_t forMs = 0);
    void ForgetAll() { known_.clear(); }

    // The waiting writes, taken out (the device went away); the save stays owed.
    std::deque<Write> TakeWaiting();
    size_t Waiting() const { return waiting_.size(); }

    // A write succeeded since the last save (or may have: its reply was damaged).
    bool Unsaved() const { return unsaved_; }
    // Whether the save would go out now.
    bool SaveDue() const;
    // Another device: nothing written to it yet, nothing known of it.
    void Reset();

private:
    SaveTiming timing_;
    Clock clock_;
    std::deque<Write> waiting_;
    std::optional<Write> underWay_;
    struct Known {
        std::string Stored;  // register bytes last seen
        uint32_t At = 0;
        uint32_t ForMs = 0;  // 0: until written
    };
    std::map<std::string, Known> known_;
    bool unsaved_ = false;
    uint32_t lastWrite_ = 0;  // when the last write ended
    bool saved_ = false;      // a save went out on this device
    uint32_t lastSave_ = 0;
    bool saveFailed_ = false;
    uint32_t lastFailure_ = 0;
};

// The register bytes (least significant first) that writing `text` leaves in a variable
// of the type, as the device connection encodes it; empty for a type this does not cover
// or a text that is not a number.
std::string StoredValue(uint32_t type, const std::string &text);
// The register bytes of the variable's last read; empty when a write has set its text
// since, or when it was never read.
std::string StoredValue(const ModbusAction &variable);
