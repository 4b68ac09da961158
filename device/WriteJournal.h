// The journal of writes: one line for every write the program makes (or was asked to make
// and did not), with when, who asked, what was there before and how it ended, so that a
// change nobody remembers making can be traced. Writing the journal never holds up a write.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// The journal is rotated before a line would take it past this size: writes.log becomes
// writes.log.1 (replacing the older one) and a new writes.log starts.
constexpr uint64_t kJournalMaxBytes = 1024 * 1024;

struct JournalLine {
    std::string Time;      // ISO-8601 local time with its offset
    std::string Origin;    // "window: SupUsetEdit", "command set", "mqtt <topic>", ...
    std::string Name;      // the variable
    std::string OldValue;  // its text before the write
    std::string NewValue;  // the text written
    std::string Outcome;   // "done", "timed out", "refused by the gate: ...", ...
};

// One line: the six fields joined by tabs; a tab, line end or backslash inside a field is
// escaped (\t, \n, \r, \\) and other control characters as \xHH, so a line stays a line.
std::string FormatJournalLine(const JournalLine &line);
// The reverse; false for a line that has not six fields.
bool ParseJournalLine(std::string_view text, JournalLine *line);
std::string EscapeJournalField(std::string_view field);
std::string UnescapeJournalField(std::string_view field);

// "2026-12-11T06:01:02.345+01:00" for the given moment in local time.
std::string JournalTimeText(std::time_t seconds, int milliseconds);
std::string JournalTimeNow();

// $XDG_STATE_HOME/quintavolte/writes.log, or ~/.local/state/quintavolte/writes.log when
// XDG_STATE_HOME is unset or empty; "" when neither it nor HOME tells where.
std::string DefaultJournalPath();
// The journal of this process: the default until a program's --journal sets another
// ("" goes back to the default).
void SetJournalPath(const std::string &path);
std::string JournalPath();

// Appends a line (creating the folder, rotating at kJournalMaxBytes). A journal that
// cannot be written is reported once per process through the message hook and otherwise
// ignored: false then, and nothing else changes.
bool AppendJournal(const JournalLine &line);
// Appends with the current time.
bool JournalWrite(const std::string &origin, const std::string &name, const std::string &oldValue,
                  const std::string &newValue, const std::string &outcome);

// The journal's lines, oldest first (the rotated file's, then the current one's). A journal
// that does not exist yet has no lines; false with the reason in *error when a file exists
// but cannot be read.
bool ReadJournal(const std::string &path, std::vector<std::string> *lines, std::string *error);

// Who is writing: set by the entry points (the window's controls, a settings file, a command,
// the bridge) for the duration of a scope, and taken by each write when it is asked for.
// Inner guards win; leaving a scope restores the outer origin.
class WriteOrigin {
public:
    explicit WriteOrigin(std::string origin);
    ~WriteOrigin();
    WriteOrigin(const WriteOrigin &) = delete;
    WriteOrigin &operator=(const WriteOrigin &) = delete;

private:
    std::string previous_;
};
// The innermost origin; outside every guard the program's default ("unknown" until set).
std::string CurrentWriteOrigin();
// What a program's writes outside every guard are attributed to ("window", ...).
void SetDefaultWriteOrigin(const std::string &origin);
// True while a guard is in force: a generic helper then keeps the caller's more precise origin.
bool HasWriteOrigin();

// Test seam: forget that a failure was reported, so the next one is reported again.
void ResetJournalFailureReport();
