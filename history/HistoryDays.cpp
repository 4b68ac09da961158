// Local calendar days and the plain names of the database's failures.
#include <cstdio>
#include <ctime>
#include <string>

#include "history/HistoryStore.h"

namespace {

bool ParseDay(const std::string &day, std::tm *tm)
{
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(day.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    *tm = std::tm{};
    tm->tm_year = y - 1900;
    tm->tm_mon = m - 1;
    tm->tm_mday = d;
    tm->tm_isdst = -1;
    return true;
}

}  // namespace

const char *HistoryErrorName(HistoryError error)
{
    switch (error) {
    case HistoryError::None:
        return "no error";
    case HistoryError::NotOurs:
        return "the file is not a history database";
    case HistoryError::Damaged:
        return "the history database is damaged";
    case HistoryError::Locked:
        return "the history database stayed locked by another program";
    case HistoryError::Full:
        return "the disk is full";
    case HistoryError::ReadOnly:
        return "the history database cannot be written";
    case HistoryError::CannotOpen:
        return "the history database cannot be opened";
    case HistoryError::Failed:
        break;
    }
    return "the history database failed";
}

std::string LocalTimeText(int64_t utcSeconds, const char *format)
{
    const std::time_t t = static_cast<std::time_t>(utcSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    return std::strftime(buf, sizeof buf, format, &tm) != 0 ? std::string(buf) : std::string();
}

std::string LocalDayOf(int64_t utcSeconds)
{
    return LocalTimeText(utcSeconds, "%Y-%m-%d");
}

bool LocalDayStart(const std::string &day, int64_t *utcSeconds)
{
    std::tm tm{};
    if (!ParseDay(day, &tm))
        return false;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return false;
    *utcSeconds = t;
    return true;
}

std::string NextDay(const std::string &day)
{
    std::tm tm{};
    if (!ParseDay(day, &tm))
        return day;
    // Noon never falls into a change of clocks, so one day on is always the next date.
    tm.tm_mday += 1;
    tm.tm_hour = 12;
    const std::time_t t = std::mktime(&tm);
    return LocalDayOf(t);
}
