#include "history/HistoryStore.h"

#include <sqlite3.h>

#include <cmath>
#include <map>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <sys/stat.h>

namespace {

// "QVH1": marks a file as ours, so that a foreign SQLite file is never written.
constexpr int kApplicationId = 0x51564831;
constexpr int kSchemaVersion = 1;
// Values are kept as integers in thousandths: small on disk, exact counter differences.
constexpr double kScale = 1000.0;

int64_t Scaled(double v)
{
    return std::llround(v * kScale);
}

// One prepared statement, finalised at scope end.
class Stmt {
public:
    Stmt(sqlite3 *db, const std::string &sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr); }
    // A statement kept in the store's cache: the writes run the same few statements every sample.
    Stmt(sqlite3 *db, const std::string &sql, std::map<std::string, sqlite3_stmt *> *cache) : cached_(true)
    {
        auto it = cache->find(sql);
        if (it != cache->end()) {
            s_ = it->second;
            return;
        }
        rc_ = sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr);
        if (rc_ == SQLITE_OK)
            (*cache)[sql] = s_;
        else
            cached_ = false;
    }
    ~Stmt()
    {
        if (cached_) {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        } else {
            sqlite3_finalize(s_);
        }
    }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    int Prepared() const { return rc_; }
    sqlite3_stmt *operator*() const { return s_; }
    void Bind(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
    void Bind(int i, const std::string &v)
    {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    void Bind(int i, const std::optional<int64_t> &v)
    {
        if (v)
            sqlite3_bind_int64(s_, i, *v);
        else
            sqlite3_bind_null(s_, i);
    }
    int Step() { return sqlite3_step(s_); }
    bool Null(int col) const { return sqlite3_column_type(s_, col) == SQLITE_NULL; }
    int64_t Int(int col) const { return sqlite3_column_int64(s_, col); }
    std::string Text(int col) const
    {
        const unsigned char *t = sqlite3_column_text(s_, col);
        return t ? reinterpret_cast<const char *>(t) : "";
    }

private:
    sqlite3_stmt *s_ = nullptr;
    int rc_ = SQLITE_OK;
    bool cached_ = false;
};

std::string AggregateColumns()
{
    std::string cols;
    for (const HistoryVar &v : HistoryVars()) {
        const std::string c = v.Column;
        cols += ", " + c + "_lo INTEGER, " + c + "_hi INTEGER, " + c + "_sum INTEGER, " + c +
                "_n INTEGER NOT NULL DEFAULT 0";
    }
    return cols;
}

std::string SampleColumns()
{
    std::string cols;
    for (const HistoryVar &v : HistoryVars())
        cols += std::string(", ") + v.Column + " INTEGER";
    return cols;
}

std::string CounterColumns(const char *type)
{
    std::string cols;
    for (const HistoryVar &v : HistoryVars())
        if (v.Counter)
            cols += std::string(", ") + v.Column + " " + type;
    return cols;
}

HistoryError ErrorOf(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_NOTADB:
        return HistoryError::NotOurs;
    case SQLITE_CORRUPT:
        return HistoryError::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return HistoryError::Locked;
    case SQLITE_FULL:
        return HistoryError::Full;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return HistoryError::ReadOnly;
    case SQLITE_CANTOPEN:
        return HistoryError::CannotOpen;
    default:
        return HistoryError::Failed;
    }
}

}  // namespace

HistoryStore::~HistoryStore()
{
    Close();
}

void HistoryStore::Close()
{
    for (auto &[sql, stmt] : cache_)
        sqlite3_finalize(stmt);
    cache_.clear();
    if (db_ != nullptr)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool HistoryStore::Fail(int rc, const char *what)
{
    error_ = ErrorOf(rc);
    // The plain sentence first; SQLite's own words for whoever looks closer.
    errorText_ = std::string(HistoryErrorName(error_)) + " (" + what + ": " +
                 (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)) + ")";
    return false;
}

bool HistoryStore::Exec(const char *sql)
{
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || Fail(rc, sql);
}

bool HistoryStore::CheckOurs(bool *empty)
{
    Stmt q(db_, "SELECT (SELECT application_id FROM pragma_application_id), "
                "(SELECT count(*) FROM sqlite_schema)");
    if (q.Prepared() != SQLITE_OK)
        return Fail(q.Prepared(), "reading the file");
    const int rc = q.Step();
    if (rc != SQLITE_ROW)
        return Fail(rc, "reading the file");
    *empty = q.Int(1) == 0 && q.Int(0) == 0;
    if (!*empty && q.Int(0) != kApplicationId) {
        error_ = HistoryError::NotOurs;
        errorText_ = HistoryErrorName(error_);
        return false;
    }
    return true;
}

bool HistoryStore::CreateSchema()
{
    const std::string sql = "BEGIN IMMEDIATE;"
                            "CREATE TABLE IF NOT EXISTS device(id INTEGER PRIMARY KEY, chip TEXT NOT NULL UNIQUE,"
                            " type TEXT NOT NULL DEFAULT '');"
                            "CREATE TABLE IF NOT EXISTS sample(dev INTEGER NOT NULL, t INTEGER NOT NULL" +
                            SampleColumns() +
                            ", PRIMARY KEY(dev, t)) WITHOUT ROWID;"
                            "CREATE TABLE IF NOT EXISTS minute(dev INTEGER NOT NULL, t INTEGER NOT NULL" +
                            AggregateColumns() +
                            ", PRIMARY KEY(dev, t)) WITHOUT ROWID;"
                            "CREATE TABLE IF NOT EXISTS hour(dev INTEGER NOT NULL, t INTEGER NOT NULL" +
                            AggregateColumns() +
                            ", PRIMARY KEY(dev, t)) WITHOUT ROWID;"
                            "CREATE TABLE IF NOT EXISTS daily(dev INTEGER NOT NULL, day TEXT NOT NULL,"
                            " covered INTEGER NOT NULL DEFAULT 0" +
                            CounterColumns("INTEGER") +
                            ", PRIMARY KEY(dev, day)) WITHOUT ROWID;"
                            "PRAGMA application_id = " +
                            std::to_string(kApplicationId) +
                            "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + "; COMMIT;";
    if (Exec(sql.c_str()))
        return true;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool HistoryStore::Open(const std::string &path, bool readOnly, int busyTimeoutMs, bool check)
{
    Close();
    error_ = HistoryError::None;
    errorText_.clear();
    const int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        Fail(rc, ("opening " + path).c_str());
        Close();
        return false;
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, busyTimeoutMs);
    bool empty = false;
    if (!CheckOurs(&empty)) {
        Close();
        return false;
    }
    if (readOnly) {
        if (empty) {
            error_ = HistoryError::NotOurs;
            errorText_ = HistoryErrorName(error_);
            Close();
            return false;
        }
        return true;
    }
    // A damaged file is reported before anything is written to it.
    if (check && !empty && !Check()) {
        Close();
        return false;
    }
    // WAL lets readers (the window's page) go on while a recorder writes.
    if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = NORMAL") || (empty && !CreateSchema())) {
        Close();
        return false;
    }
    return true;
}

bool HistoryStore::Check()
{
    Stmt q(db_, "PRAGMA quick_check");
    const int rc = q.Step();
    if (rc != SQLITE_ROW)
        return Fail(rc, "checking the file");
    if (q.Text(0) != "ok") {
        error_ = HistoryError::Damaged;
        errorText_ = std::string(HistoryErrorName(error_)) + ": " + q.Text(0);
        return false;
    }
    return true;
}

int64_t HistoryStore::DeviceId(const std::string &chip, const std::string &type)
{
    Stmt ins(db_, "INSERT INTO device(chip, type) VALUES(?1, ?2) ON CONFLICT(chip) DO UPDATE SET type = ?2 "
                  "RETURNING id");
    if (ins.Prepared() != SQLITE_OK)
        return Fail(ins.Prepared(), "adding the device"), 0;
    ins.Bind(1, chip);
    ins.Bind(2, type);
    const int rc = ins.Step();
    if (rc != SQLITE_ROW)
        return Fail(rc, "adding the device"), 0;
    const int64_t id = ins.Int(0);
    ins.Step();
    return id;
}

std::vector<HistoryDevice> HistoryStore::Devices()
{
    std::vector<HistoryDevice> out;
    Stmt q(db_, "SELECT id, chip, type FROM device ORDER BY id");
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW)
        out.push_back({q.Int(0), q.Text(1), q.Text(2)});
    if (rc != SQLITE_DONE)
        Fail(rc, "reading the devices");
    return out;
}

bool HistoryStore::UpsertAggregate(const char *table, int64_t device, int64_t slot, const HistorySample &sample)
{
    std::string cols = "dev, t", vals = "?1, ?2", set;
    int n = 3;
    for (const HistoryVar &v : HistoryVars()) {
        const std::string c = v.Column;
        cols += ", " + c + "_lo, " + c + "_hi, " + c + "_sum, " + c + "_n";
        const std::string p = "?" + std::to_string(n++);
        vals += ", " + p + ", " + p + ", " + p + ", " + p + " IS NOT NULL";
        set += std::string(set.empty() ? "" : ", ") + c + "_lo = CASE WHEN excluded." + c + "_lo IS NULL THEN " + c +
               "_lo WHEN " + c + "_lo IS NULL THEN excluded." + c + "_lo ELSE min(" + c + "_lo, excluded." + c +
               "_lo) END, " + c + "_hi = CASE WHEN excluded." + c + "_hi IS NULL THEN " + c + "_hi WHEN " + c +
               "_hi IS NULL THEN excluded." + c + "_hi ELSE max(" + c + "_hi, excluded." + c + "_hi) END, " + c +
               "_sum = coalesce(" + c + "_sum, 0) + coalesce(excluded." + c + "_sum, 0), " + c + "_n = " + c +
               "_n + excluded." + c + "_n";
    }
    Stmt up(db_,
            std::string("INSERT INTO ") + table + "(" + cols + ") VALUES(" + vals +
                ") ON CONFLICT(dev, t) DO UPDATE SET " + set,
            &cache_);
    if (up.Prepared() != SQLITE_OK)
        return Fail(up.Prepared(), "adding to the aggregates");
    up.Bind(1, device);
    up.Bind(2, slot);
    for (int i = 0; i < kHistoryVarCount; ++i)
        up.Bind(3 + i, sample.Values[i] ? std::optional<int64_t>(Scaled(*sample.Values[i])) : std::nullopt);
    const int rc = up.Step();
    return rc == SQLITE_DONE || Fail(rc, "adding to the aggregates");
}

namespace {

// What one sample changes in the daily totals, per local day.
struct DayChange {
    int64_t Covered = 0;
    std::array<std::optional<int64_t>, kHistoryCounterCount> Energy{};
};
using DayChanges = std::map<std::string, DayChange>;

// An interval counts for the local day it ends in, unless it is a gap (nobody recorded).
void CountCovered(DayChanges *changes, int64_t from, int64_t to, int sign, int64_t maxGapS)
{
    if (to - from <= maxGapS)
        (*changes)[LocalDayOf(to)].Covered += sign * (to - from);
}

void CountEnergy(DayChanges *changes, int counter, const HistoryStore::Neighbour &from,
                 const HistoryStore::Neighbour &to, int sign, int64_t maxGapS)
{
    if (to.T - from.T > maxGapS)
        return;
    // A counter that went down was reset and counted up again from 0.
    const int64_t delta = to.V >= from.V ? to.V - from.V : to.V;
    std::optional<int64_t> &e = (*changes)[LocalDayOf(to.T)].Energy[counter];
    e = e.value_or(0) + sign * delta;
}

}  // namespace

HistoryStore::Neighbour HistoryStore::Near(int64_t device, const char *column, int64_t t, int64_t maxGapS, bool after)
{
    std::string sql = "SELECT t";
    if (column)
        sql += std::string(", ") + column;
    sql += after ? " FROM sample WHERE dev = ?1 AND t > ?2 AND t <= ?2 + ?3"
                 : " FROM sample WHERE dev = ?1 AND t < ?2 AND t >= ?2 - ?3";
    if (column)
        sql += std::string(" AND ") + column + " IS NOT NULL";
    sql += after ? " ORDER BY t LIMIT 1" : " ORDER BY t DESC LIMIT 1";
    Stmt q(db_, sql, &cache_);
    q.Bind(1, device);
    q.Bind(2, t);
    q.Bind(3, maxGapS);
    Neighbour n;
    const int rc = q.Step();
    if (rc == SQLITE_ROW) {
        n.Found = true;
        n.T = q.Int(0);
        n.V = column ? q.Int(1) : 0;
    } else if (rc != SQLITE_DONE) {
        Fail(rc, "reading the neighbouring samples");
        n.Failed = true;
    }
    return n;
}

bool HistoryStore::AddInTransaction(int64_t device, const HistorySample &sample, int64_t maxGapS)
{
    const auto &vars = HistoryVars();
    const int64_t t = sample.Time;
    {
        Stmt seen(db_, "SELECT 1 FROM sample WHERE dev = ?1 AND t = ?2", &cache_);
        seen.Bind(1, device);
        seen.Bind(2, t);
        const int rc = seen.Step();
        if (rc == SQLITE_ROW)
            return true;  // this second is recorded already
        if (rc != SQLITE_DONE)
            return Fail(rc, "reading the samples");
    }
    std::string insSql = "INSERT INTO sample(dev, t", params = "?1, ?2";
    for (int i = 0; i < kHistoryVarCount; ++i) {
        insSql += std::string(", ") + vars[i].Column;
        params += ", ?" + std::to_string(3 + i);
    }
    {
        Stmt ins(db_, insSql + ") VALUES(" + params + ")", &cache_);
        ins.Bind(1, device);
        ins.Bind(2, t);
        for (int i = 0; i < kHistoryVarCount; ++i)
            ins.Bind(3 + i, sample.Values[i] ? std::optional<int64_t>(Scaled(*sample.Values[i])) : std::nullopt);
        const int rc = ins.Step();
        if (rc != SQLITE_DONE)
            return Fail(rc, "adding the sample");
    }
    if (!UpsertAggregate("minute", device, t - t % 60, sample) ||
        !UpsertAggregate("hour", device, t - t % 3600, sample))
        return false;

    // The new sample splits the interval between its neighbours (another recorder may
    // have written a later one): that interval's share comes out, the two halves go in.
    DayChanges changes;
    const Neighbour prev = Near(device, nullptr, t, maxGapS, false);
    const Neighbour next = Near(device, nullptr, t, maxGapS, true);
    if (prev.Failed || next.Failed)
        return false;
    if (prev.Found && next.Found)
        CountCovered(&changes, prev.T, next.T, -1, maxGapS);
    if (prev.Found)
        CountCovered(&changes, prev.T, t, +1, maxGapS);
    if (next.Found)
        CountCovered(&changes, t, next.T, +1, maxGapS);
    int k = 0;
    for (int i = 0; i < kHistoryVarCount; ++i) {
        if (!vars[i].Counter)
            continue;
        const int counter = k++;
        if (!sample.Values[i])
            continue;
        const Neighbour me{true, false, t, Scaled(*sample.Values[i])};
        const Neighbour p = Near(device, vars[i].Column, t, maxGapS, false);
        const Neighbour n = Near(device, vars[i].Column, t, maxGapS, true);
        if (p.Failed || n.Failed)
            return false;
        if (p.Found && n.Found)
            CountEnergy(&changes, counter, p, n, -1, maxGapS);
        if (p.Found)
            CountEnergy(&changes, counter, p, me, +1, maxGapS);
        if (n.Found)
            CountEnergy(&changes, counter, me, n, +1, maxGapS);
    }

    std::string dSql = "INSERT INTO daily(dev, day, covered" + CounterColumns("") + ") VALUES(?1, ?2, ?3";
    std::string set = "covered = covered + excluded.covered";
    for (int i = 0; i < kHistoryCounterCount; ++i) {
        dSql += ", ?" + std::to_string(4 + i);
        const std::string c = vars[kHistoryVarCount - kHistoryCounterCount + i].Column;
        set += ", " + c + " = CASE WHEN excluded." + c + " IS NULL THEN " + c + " ELSE coalesce(" + c +
               ", 0) + excluded." + c + " END";
    }
    for (const auto &[day, change] : changes) {
        Stmt daily(db_, dSql + ") ON CONFLICT(dev, day) DO UPDATE SET " + set, &cache_);
        daily.Bind(1, device);
        daily.Bind(2, day);
        daily.Bind(3, change.Covered);
        for (int i = 0; i < kHistoryCounterCount; ++i)
            daily.Bind(4 + i, change.Energy[i]);
        const int rc = daily.Step();
        if (rc != SQLITE_DONE)
            return Fail(rc, "adding to the daily totals");
    }
    return true;
}

bool HistoryStore::AddSamples(int64_t device, const std::vector<HistorySample> &samples, int64_t maxGapS)
{
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    for (const HistorySample &s : samples)
        if (!AddInTransaction(device, s, maxGapS)) {
            const HistoryError e = error_;
            const std::string text = errorText_;
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            error_ = e;
            errorText_ = text;
            return false;
        }
    return Exec("COMMIT") || (sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr), false);
}

bool HistoryStore::AddSample(int64_t device, const HistorySample &sample, int64_t maxGapS)
{
    // IMMEDIATE takes the write lock at once: two recorders never both read the same
    // neighbours and then count one interval twice.
    return AddSamples(device, {sample}, maxGapS);
}

int HistoryStore::PruneStep(int64_t now, int maxRows)
{
    const int64_t cutoff = now - kKeepFineS;
    int deleted = 0;
    for (const HistoryDevice &d : Devices()) {
        for (const char *table : {"sample", "minute"}) {
            if (deleted >= maxRows)
                return deleted;
            Stmt del(db_, std::string("DELETE FROM ") + table + " WHERE dev = ?1 AND t IN (SELECT t FROM " + table +
                              " WHERE dev = ?1 AND t < ?2 ORDER BY t LIMIT ?3)");
            del.Bind(1, d.Id);
            del.Bind(2, cutoff);
            del.Bind(3, static_cast<int64_t>(maxRows - deleted));
            const int rc = del.Step();
            if (rc != SQLITE_DONE)
                return Fail(rc, "removing old samples"), -1;
            deleted += sqlite3_changes(db_);
        }
    }
    return deleted;
}

HistoryLevel HistoryStore::LevelFor(int64_t from, int64_t to, int64_t now)
{
    const int64_t span = to - from;
    const bool fineKept = from >= now - kKeepFineS;
    if (span <= 6 * 3600 && fineKept)
        return HistoryLevel::Raw;
    if (span <= 3 * 86400 && fineKept)
        return HistoryLevel::Minute;
    return HistoryLevel::Hour;
}

std::vector<HistoryPoint> HistoryStore::Series(int64_t device, int var, int64_t from, int64_t to, HistoryLevel level)
{
    std::vector<HistoryPoint> out;
    if (var < 0 || var >= kHistoryVarCount)
        return out;
    const std::string c = HistoryVars()[var].Column;
    std::string sql;
    if (level == HistoryLevel::Raw)
        sql = "SELECT t, " + c + ", " + c + ", " + c + ", 1 FROM sample WHERE dev = ?1 AND t >= ?2 AND t <= ?3 AND " +
              c + " IS NOT NULL ORDER BY t";
    else
        sql = "SELECT t, " + c + "_sum, " + c + "_lo, " + c + "_hi, " + c + "_n FROM " +
              (level == HistoryLevel::Minute ? "minute" : "hour") + " WHERE dev = ?1 AND t >= ?2 AND t <= ?3 AND " + c +
              "_n > 0 ORDER BY t";
    Stmt q(db_, sql);
    q.Bind(1, device);
    q.Bind(2, from);
    q.Bind(3, to);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        const double n = static_cast<double>(q.Int(4));
        out.push_back({q.Int(0), static_cast<double>(q.Int(1)) / n / kScale, q.Int(2) / kScale, q.Int(3) / kScale});
    }
    if (rc != SQLITE_DONE)
        Fail(rc, "reading the curve");
    return out;
}

std::vector<HistorySample> HistoryStore::Samples(int64_t device, int64_t from, int64_t to)
{
    std::vector<HistorySample> out;
    std::string sql = "SELECT t";
    for (const HistoryVar &v : HistoryVars())
        sql += std::string(", ") + v.Column;
    Stmt q(db_, sql + " FROM sample WHERE dev = ?1 AND t >= ?2 AND t <= ?3 ORDER BY t");
    q.Bind(1, device);
    q.Bind(2, from);
    q.Bind(3, to);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        HistorySample s;
        s.Time = q.Int(0);
        for (int i = 0; i < kHistoryVarCount; ++i)
            if (!q.Null(1 + i))
                s.Values[i] = q.Int(1 + i) / kScale;
        out.push_back(s);
    }
    if (rc != SQLITE_DONE)
        Fail(rc, "reading the samples");
    return out;
}

std::vector<HistoryDaily> HistoryStore::Daily(int64_t device, const std::string &fromDay, const std::string &toDay)
{
    std::vector<HistoryDaily> out;
    int64_t start = 0, end = 0;
    if (!LocalDayStart(fromDay, &start) || !LocalDayStart(toDay, &end) || toDay < fromDay)
        return out;
    Stmt q(db_, "SELECT day, covered" + CounterColumns("") +
                    " FROM daily WHERE dev = ?1 AND day >= ?2 AND day <= ?3 ORDER BY day");
    q.Bind(1, device);
    q.Bind(2, fromDay);
    q.Bind(3, toDay);
    int rc = q.Step();
    for (std::string day = fromDay; day <= toDay; day = NextDay(day)) {
        HistoryDaily d;
        d.Day = day;
        while (rc == SQLITE_ROW && q.Text(0) < day)
            rc = q.Step();
        if (rc == SQLITE_ROW && q.Text(0) == day) {
            d.Covered = q.Int(1);
            for (int i = 0; i < kHistoryCounterCount; ++i)
                if (!q.Null(2 + i) && d.Covered > 0)
                    d.Energy[i] = q.Int(2 + i) / kScale;
        }
        int64_t dayStart = 0, nextStart = 0;
        LocalDayStart(day, &dayStart);
        LocalDayStart(NextDay(day), &nextStart);
        // An interval that ends just after midnight belongs to the next day: allow it.
        d.Partial = d.Covered + 2 * kDefaultMaxGapS < nextStart - dayStart;
        out.push_back(d);
        if (day == NextDay(day))
            break;
    }
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        Fail(rc, "reading the daily totals");
    return out;
}
