#include "cli/CliHistory.h"

#include <cstdio>
#include <ctime>
#include <iomanip>
#include <map>
#include <sstream>

#include "cli/CliCommands.h"
#include "core/MicroClock.h"
#include "device/ActionManager.h"
#include "history/HistoryRecorder.h"

namespace {

std::string TimeText(int64_t t)
{
    return LocalTimeText(t, "%Y-%m-%dT%H:%M:%S");
}

std::string Number(const std::optional<double> &v)
{
    if (!v)
        return "";
    std::ostringstream s;
    s << std::fixed << std::setprecision(3) << *v;
    return s.str();
}

void Row(std::ostream &out, bool csv, const std::vector<std::string> &cells)
{
    for (size_t i = 0; i < cells.size(); ++i) {
        if (csv)
            out << (i ? "," : "") << cells[i];
        else
            out << (i ? "  " : "") << std::setw(i == 0 ? 19 : 12) << (cells[i].empty() ? "-" : cells[i]);
    }
    out << "\n";
}

// The variables asked for by name (all when none), as indexes of HistoryVars.
bool ChosenVars(const std::vector<std::string> &names, bool countersOnly, std::vector<int> *vars, std::ostream &err)
{
    for (const std::string &n : names) {
        const int i = FindHistoryVar(n);
        if (i < 0 || (countersOnly && !HistoryVars()[i].Counter)) {
            err << "quintavolte-cli: " << n << (i < 0 ? " is not kept in the history\n" : " has no daily total\n");
            return false;
        }
        vars->push_back(i);
    }
    if (names.empty())
        for (int i = 0; i < kHistoryVarCount; ++i)
            if (!countersOnly || HistoryVars()[i].Counter)
                vars->push_back(i);
    return true;
}

int PrintDaily(HistoryStore &store, const HistoryDevice &dev, const CliHistoryOptions &o, int64_t from, int64_t to,
               std::ostream &out, std::ostream &err)
{
    std::vector<int> vars;
    if (!ChosenVars(o.Names, true, &vars, err))
        return 2;
    std::vector<std::string> head{"day"};
    for (int i : vars)
        head.push_back(std::string(HistoryVars()[i].Name) + " Wh");
    head.push_back("recorded %");
    Row(out, o.Csv, head);
    for (const HistoryDaily &d : store.Daily(dev.Id, LocalDayOf(from), LocalDayOf(to))) {
        std::vector<std::string> cells{d.Day};
        for (int i : vars)
            cells.push_back(Number(d.Energy[i - (kHistoryVarCount - kHistoryCounterCount)]));
        int64_t start = 0, next = 0;
        LocalDayStart(d.Day, &start);
        LocalDayStart(NextDay(d.Day), &next);
        cells.push_back(std::to_string(std::min<int64_t>(100, d.Covered * 100 / std::max<int64_t>(1, next - start))));
        Row(out, o.Csv, cells);
    }
    return store.LastError() == HistoryError::None ? 0 : 1;
}

int PrintSamples(HistoryStore &store, const HistoryDevice &dev, const CliHistoryOptions &o, int64_t from, int64_t to,
                 std::ostream &out, std::ostream &err)
{
    std::vector<int> vars;
    if (!ChosenVars(o.Names, false, &vars, err))
        return 2;
    std::vector<std::string> head{"time"};
    for (int i : vars)
        head.push_back(HistoryVars()[i].Name);
    Row(out, o.Csv, head);
    const HistoryLevel level = HistoryStore::LevelFor(from, to, std::time(nullptr));
    // Long spans print the means of the aggregate that fits, not millions of samples.
    std::map<int64_t, std::vector<std::optional<double>>> rows;
    if (level == HistoryLevel::Raw) {
        for (const HistorySample &s : store.Samples(dev.Id, from, to))
            for (size_t k = 0; k < vars.size(); ++k) {
                auto &row = rows[s.Time];
                row.resize(vars.size());
                row[k] = s.Values[vars[k]];
            }
    } else {
        for (size_t k = 0; k < vars.size(); ++k)
            for (const HistoryPoint &p : store.Series(dev.Id, vars[k], from, to, level)) {
                auto &row = rows[p.Time];
                row.resize(vars.size());
                row[k] = p.Mean;
            }
    }
    for (const auto &[t, values] : rows) {
        std::vector<std::string> cells{TimeText(t)};
        for (const auto &v : values)
            cells.push_back(Number(v));
        Row(out, o.Csv, cells);
    }
    return store.LastError() == HistoryError::None ? 0 : 1;
}

}  // namespace

bool ParseHistoryTime(const std::string &text, bool endOfDay, int64_t *utcSeconds)
{
    std::tm tm{};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%*1[T ]%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail);
    if (!(n == 3 || n == 5 || n == 6) || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return false;
    if (n == 3 && text.size() != 10)
        return false;
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    if (n == 3 && endOfDay) {
        tm.tm_mday += 1;
        tm.tm_hour = 0;
    }
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return false;
    *utcSeconds = n == 3 && endOfDay ? t - 1 : t;
    return true;
}

int CmdHistory(const CliHistoryOptions &o, std::ostream &out, std::ostream &err)
{
    const int64_t now = std::time(nullptr);
    int64_t to = now, from = now - (o.Daily ? 29 * 86400 : 86400);
    if (!o.To.empty() && !ParseHistoryTime(o.To, true, &to)) {
        err << "quintavolte-cli: --to wants YYYY-MM-DD or YYYY-MM-DDTHH:MM, not '" << o.To << "'\n";
        return 2;
    }
    if (!o.From.empty() && !ParseHistoryTime(o.From, false, &from)) {
        err << "quintavolte-cli: --from wants YYYY-MM-DD or YYYY-MM-DDTHH:MM, not '" << o.From << "'\n";
        return 2;
    }
    if (o.From.empty() && !o.To.empty())
        from = to - (o.Daily ? 29 * 86400 : 86400);
    if (from > to) {
        err << "quintavolte-cli: --from is after --to\n";
        return 2;
    }
    const std::string path = o.Db.empty() ? DefaultHistoryPath() : o.Db;
    HistoryStore store;
    if (!store.Open(path, true)) {
        err << "quintavolte-cli: cannot read " << path << ": " << store.ErrorText() << "\n";
        return 1;
    }
    const std::vector<HistoryDevice> devices = store.Devices();
    for (const HistoryDevice &dev : devices) {
        // Units never mix: each has its own block.
        if (devices.size() > 1)
            out << "# chip: " << dev.Chip << (dev.Type.empty() ? "" : "  (" + dev.Type + ")") << "\n";
        const int status =
            o.Daily ? PrintDaily(store, dev, o, from, to, out, err) : PrintSamples(store, dev, o, from, to, out, err);
        if (status != 0) {
            if (status == 1)
                err << "quintavolte-cli: " << store.ErrorText() << "\n";
            return status;
        }
    }
    return 0;
}

int CmdLog(CliDeviceLink &link, const CliHistoryOptions &o, std::ostream &out, std::ostream &err)
{
    if (!link.Connect())
        return 1;
    cActionManager &m = link.Manager();
    const std::string path = o.Db.empty() ? DefaultHistoryPath() : o.Db;
    HistoryRecorder recorder(m, path, o.IntervalS);
    bool failed = false;
    recorder.OnStopped = [&](HistoryError, const std::string &text) {
        err << "quintavolte-cli: recording stopped: " << text << "\n";
        failed = true;
    };
    out << "recording to " << path << " every " << o.IntervalS << " s until interrupted" << std::endl;
    uint32_t lostAt = 0;
    while (!g_cliStop.load() && !failed) {
        if (!m.Identified) {
            // A small computer beside the device records for months: wait for the device.
            if (lostAt == 0) {
                err << "quintavolte-cli: connection lost; trying again\n";
                lostAt = GetTickCount32() | 1;
            }
            if (TickDiff(GetTickCount32(), lostAt) >= 5000) {
                lostAt = link.Connect() ? 0 : GetTickCount32() | 1;
            } else {
                SleepMs(50);
            }
            continue;
        }
        lostAt = 0;
        m.TickScheduler();
        m.ServeLine(5);
    }
    recorder.WaitWritten(HistoryRecorder::kBusyTimeoutMs + 1000);
    out << "recorded " << recorder.Written() << " samples" << std::endl;
    return failed ? 1 : 0;
}
