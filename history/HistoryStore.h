// HistoryStore: one history database file (SQLite, WAL). Samples of every device by chip
// identity, their minute and hour aggregates, and daily energy totals from the counters.
// Several processes may write one file; every write is one short transaction.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryVars.h"

struct sqlite3;
struct sqlite3_stmt;

enum class HistoryError {
    None,
    NotOurs,     // a file that is not a history database: refused, never changed
    Damaged,     // the database's pages are broken
    Locked,      // another program held the file longer than the busy timeout
    Full,        // the disk is full
    ReadOnly,    // the file or its folder cannot be written
    CannotOpen,  // missing folder, no permission to read
    Failed,      // any other failure of the database
};

// How finely a span is read: the raw samples, minute or hour aggregates.
enum class HistoryLevel { Raw, Minute, Hour };

struct HistoryDevice {
    int64_t Id = 0;
    std::string Chip;  // the chip identity as the settings file writes it
    std::string Type;  // the device's type text when it was last seen
};

// One point of a curve: the mean, least and greatest value of its time slot.
struct HistoryPoint {
    int64_t Time = 0;
    double Mean = 0, Min = 0, Max = 0;
};

// The energy of one local day. A counter whose intervals were all unknown (nobody
// recorded) has no value; Covered is how many seconds of the day were recorded.
struct HistoryDaily {
    std::string Day;  // YYYY-MM-DD, local time
    std::array<std::optional<double>, kHistoryCounterCount> Energy{};
    int64_t Covered = 0;
    bool Partial = false;  // less than the whole day was recorded
};

class HistoryStore {
public:
    // Raw samples and minute aggregates are kept this long.
    static constexpr int64_t kKeepFineS = 31 * 86400;
    // A longer time between two samples is a gap: its energy is unknown.
    static constexpr int64_t kDefaultMaxGapS = 120;

    HistoryStore() = default;
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // Opens or creates the file. A file that is neither empty nor a history database is
    // refused (NotOurs) and left as it was. readOnly opens for reading only, never creates.
    // With check, a damaged file is refused before anything is written to it.
    bool Open(const std::string &path, bool readOnly, int busyTimeoutMs = 3000, bool check = false);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    // A full check of the file's pages (slow on a big file): false with Damaged.
    bool Check();

    HistoryError LastError() const { return error_; }
    const std::string &ErrorText() const { return errorText_; }

    // The device's id, added on first sight; 0 on failure.
    int64_t DeviceId(const std::string &chip, const std::string &type);
    std::vector<HistoryDevice> Devices();

    // Adds one sample with its aggregates and daily energy in one short transaction. A
    // sample at a time already recorded for the device is left out (another recorder had it).
    bool AddSample(int64_t device, const HistorySample &sample, int64_t maxGapS = kDefaultMaxGapS);
    // Several samples in one transaction (a backlog, a generated history).
    bool AddSamples(int64_t device, const std::vector<HistorySample> &samples, int64_t maxGapS = kDefaultMaxGapS);

    // The nearest sample before or after a time within maxGapS (with a column: the nearest
    // that holds a value there).
    struct Neighbour {
        bool Found = false;
        bool Failed = false;
        int64_t T = 0;
        int64_t V = 0;
    };
    // Deletes up to maxRows of the samples and minute aggregates older than kKeepFineS
    // before now; the number deleted, -1 on failure.
    int PruneStep(int64_t now, int maxRows = 1000);

    // The level that fits a span: raw up to 6 hours, minutes up to 3 days, hours beyond;
    // and the finest level that still holds data as old as `from`.
    static HistoryLevel LevelFor(int64_t from, int64_t to, int64_t now);
    std::vector<HistoryPoint> Series(int64_t device, int var, int64_t from, int64_t to, HistoryLevel level);
    std::vector<HistorySample> Samples(int64_t device, int64_t from, int64_t to);
    // Every local day from fromDay to toDay (YYYY-MM-DD), days nobody recorded included.
    std::vector<HistoryDaily> Daily(int64_t device, const std::string &fromDay, const std::string &toDay);

private:
    bool Fail(int rc, const char *what);
    bool Exec(const char *sql);
    bool CreateSchema();
    bool CheckOurs(bool *empty);
    bool AddInTransaction(int64_t device, const HistorySample &sample, int64_t maxGapS);
    Neighbour Near(int64_t device, const char *column, int64_t t, int64_t maxGapS, bool after);
    bool UpsertAggregate(const char *table, int64_t device, int64_t slot, const HistorySample &sample);

    sqlite3 *db_ = nullptr;
    std::map<std::string, sqlite3_stmt *> cache_;
    HistoryError error_ = HistoryError::None;
    std::string errorText_;
};

// A short English sentence for an error, for the command line and the bridge's log.
const char *HistoryErrorName(HistoryError error);

// Local calendar days in the process's time zone (TZ).
// The local time of utcSeconds written with strftime's format.
std::string LocalTimeText(int64_t utcSeconds, const char *format);
std::string LocalDayOf(int64_t utcSeconds);
// The UTC second at which a local day begins; false for a text that is no date.
bool LocalDayStart(const std::string &day, int64_t *utcSeconds);
// The day after, as YYYY-MM-DD.
std::string NextDay(const std::string &day);
