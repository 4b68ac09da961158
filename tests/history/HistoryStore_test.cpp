// The history database: daily energy from the counters (resets, gaps, local midnight and
// clock changes), aggregates and pruning, concurrent writers, and files it must not touch.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "history/HistoryStore.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSolar = 9;  // Adc.EnergySolar
constexpr int kCharge = 7;

// Runs the test in a time zone of its own (central Europe, with its changes of clocks).
class ZoneGuard {
public:
    explicit ZoneGuard(const char *tz)
    {
        const char *old = std::getenv("TZ");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneGuard()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

class HistoryStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("qv-history-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "history.sqlite").string();
    }
    void TearDown() override
    {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    static int64_t Local(int y, int mo, int d, int h, int mi = 0, int s = 0)
    {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
        tm.tm_isdst = -1;
        return std::mktime(&tm);
    }
    static HistorySample Sample(int64_t t, std::optional<double> solar, std::optional<double> voltage = 13.0)
    {
        HistorySample s;
        s.Time = t;
        s.Values[0] = voltage;
        s.Values[kSolar] = solar;
        return s;
    }
    static std::string FileBytes(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir_;
    std::string path_;
};

TEST_F(HistoryStoreTest, EachIntervalCountsForTheLocalDayItEndsInAcrossAChangeOfClocks)
{
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    HistoryStore store;
    ASSERT_TRUE(store.Open(path_, false)) << store.ErrorText();
    const int64_t dev = store.DeviceId("00000001 00000002 00000003", "Quintavolte 1.11");
    ASSERT_NE(dev, 0);
    // One unit of energy every 10 s from 22:00 before the night the clocks go forward
    // until 02:00 two days later.
    const int64_t from = Local(2026, 3, 28, 22);
    const int64_t to = Local(2026, 3, 30, 2);
    double counter = 1000;
    std::vector<HistorySample> samples;
    for (int64_t t = from; t <= to; t += 10, counter += 1)
        samples.push_back(Sample(t, counter));
    ASSERT_TRUE(store.AddSamples(dev, samples)) << store.ErrorText();

    const auto days = store.Daily(dev, "2026-03-27", "2026-03-30");
    ASSERT_EQ(days.size(), 4u);
    struct Expect {
        const char *Day;
        std::optional<double> Solar;
        int64_t Covered;
        bool Partial;
    } expect[] = {
        {"2026-03-27", std::nullopt, 0, true},             // nobody recorded: unknown, not 0
        {"2026-03-28", 719, 7190, true},                   // the interval ending at midnight is the next day's
        {"2026-03-29", 23 * 360, 23 * 3600, false},        // 23 hours long
        {"2026-03-30", 2 * 360 + 1, 2 * 3600 + 10, true},  // up to 02:00:00 itself
    };
    for (size_t i = 0; i < days.size(); ++i) {
        SCOPED_TRACE(expect[i].Day);
        EXPECT_EQ(days[i].Day, expect[i].Day);
        ASSERT_EQ(days[i].Energy[kSolar - 7].has_value(), expect[i].Solar.has_value());
        if (expect[i].Solar) {
            EXPECT_DOUBLE_EQ(*days[i].Energy[kSolar - 7], *expect[i].Solar);
        }
        EXPECT_FALSE(days[i].Energy[kCharge - 7].has_value());  // never given by the device
        EXPECT_EQ(days[i].Covered, expect[i].Covered);
        EXPECT_EQ(days[i].Partial, expect[i].Partial);
    }
}

TEST_F(HistoryStoreTest, CounterResetsCountFromZeroAndGapsAddNothing)
{
    ZoneGuard zone("UTC0");
    HistoryStore store;
    ASSERT_TRUE(store.Open(path_, false));
    const int64_t dev = store.DeviceId("A", "");
    const int64_t t0 = Local(2026, 6, 1, 8);
    struct Step {
        int64_t After;
        std::optional<double> Counter;
    } steps[] = {
        {0, 100.0},         {10, 101.25},  // +1.25
        {10, 0.5},                         // reset to 0, then 0.5 more: +0.5
        {10, 1.5},                         // +1
        {3600, 50.0},                      // an hour nobody recorded: unknown, not 48.5
        {10, 51.0},                        // +1
        {10, std::nullopt}, {10, 52.0},    // the missing reading makes this a 20 s interval: +1
    };
    int64_t t = t0;
    for (const Step &s : steps) {
        t += s.After;
        ASSERT_TRUE(store.AddSample(dev, Sample(t, s.Counter))) << store.ErrorText();
    }
    // A sample of a second already recorded (another recorder had it) changes nothing.
    ASSERT_TRUE(store.AddSample(dev, Sample(t, 60.0)));
    const auto days = store.Daily(dev, "2026-06-01", "2026-06-01");
    ASSERT_EQ(days.size(), 1u);
    ASSERT_TRUE(days[0].Energy[kSolar - 7].has_value());
    EXPECT_DOUBLE_EQ(*days[0].Energy[kSolar - 7], 4.75);
    EXPECT_EQ(days[0].Covered, 60);
    EXPECT_TRUE(days[0].Partial);
}

TEST_F(HistoryStoreTest, AggregatesHoldMeanLeastAndGreatestAndOutliveThePrunedSamples)
{
    HistoryStore store;
    ASSERT_TRUE(store.Open(path_, false));
    const int64_t dev = store.DeviceId("A", "");
    const int64_t t0 = 1780000000 - 1780000000 % 3600;
    // Two minutes: 12, 14 in the first, 13 alone in the second.
    for (auto [dt, v] : {std::pair{0, 12.0}, {30, 14.0}, {60, 13.0}})
        ASSERT_TRUE(store.AddSample(dev, Sample(t0 + dt, std::nullopt, v)));
    const auto minutes = store.Series(dev, 0, t0, t0 + 3600, HistoryLevel::Minute);
    ASSERT_EQ(minutes.size(), 2u);
    EXPECT_DOUBLE_EQ(minutes[0].Mean, 13.0);
    EXPECT_DOUBLE_EQ(minutes[0].Min, 12.0);
    EXPECT_DOUBLE_EQ(minutes[0].Max, 14.0);
    EXPECT_DOUBLE_EQ(minutes[1].Mean, 13.0);
    const auto hours = store.Series(dev, 0, t0, t0 + 3600, HistoryLevel::Hour);
    ASSERT_EQ(hours.size(), 1u);
    EXPECT_DOUBLE_EQ(hours[0].Mean, 13.0);
    EXPECT_EQ(store.Series(dev, 0, t0, t0 + 3600, HistoryLevel::Raw).size(), 3u);

    // 40 days on, a small step removes part of the old samples and minutes; hours stay.
    const int64_t later = t0 + 40 * 86400;
    EXPECT_EQ(store.PruneStep(later, 2), 2);
    EXPECT_EQ(store.PruneStep(later, 100), 3);
    EXPECT_EQ(store.PruneStep(later, 100), 0);
    EXPECT_TRUE(store.Series(dev, 0, t0, t0 + 3600, HistoryLevel::Raw).empty());
    EXPECT_TRUE(store.Series(dev, 0, t0, t0 + 3600, HistoryLevel::Minute).empty());
    EXPECT_EQ(store.Series(dev, 0, t0, t0 + 3600, HistoryLevel::Hour).size(), 1u);
}

TEST_F(HistoryStoreTest, TwoUnitsNeverMix)
{
    HistoryStore store;
    ASSERT_TRUE(store.Open(path_, false));
    const int64_t a = store.DeviceId("00000001 00000000 00000000", "");
    const int64_t b = store.DeviceId("00000002 00000000 00000000", "");
    ASSERT_NE(a, b);
    EXPECT_EQ(store.DeviceId("00000001 00000000 00000000", "Quintavolte 1.20"), a);
    const int64_t t0 = 1780000000;
    ASSERT_TRUE(store.AddSample(a, Sample(t0, 10.0)));
    ASSERT_TRUE(store.AddSample(b, Sample(t0 + 5, 500.0)));
    ASSERT_TRUE(store.AddSample(a, Sample(t0 + 10, 11.0)));
    const auto day = LocalDayOf(t0 + 10);
    EXPECT_DOUBLE_EQ(*store.Daily(a, day, day)[0].Energy[kSolar - 7], 1.0);
    EXPECT_FALSE(store.Daily(b, day, day)[0].Energy[kSolar - 7].has_value());
}

TEST_F(HistoryStoreTest, TwoWritersOnOneFileCountEveryIntervalOnce)
{
    {
        HistoryStore init;
        ASSERT_TRUE(init.Open(path_, false));
        ASSERT_EQ(init.DeviceId("A", ""), 1);
    }
    // Two programs record the same unit, each every 10 s, 5 s apart: the database must see
    // one sequence of samples, whoever wrote them.
    const int64_t t0 = 1780000000 - 1780000000 % 86400 + 3600;
    constexpr int kEach = 300;
    std::string errors[2];
    auto writer = [&](int which) {
        HistoryStore store;
        if (!store.Open(path_, false, 5000)) {
            errors[which] = store.ErrorText();
            return;
        }
        for (int i = 0; i < kEach; ++i) {
            const int64_t t = t0 + i * 10 + which * 5;
            if (!store.AddSample(1, Sample(t, static_cast<double>(t - t0)))) {
                errors[which] = store.ErrorText();
                return;
            }
        }
    };
    std::thread w0(writer, 0), w1(writer, 1);
    w0.join();
    w1.join();
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(errors[1], "");
    HistoryStore reader;
    ASSERT_TRUE(reader.Open(path_, true));
    EXPECT_EQ(reader.Samples(1, t0, t0 + 10 * kEach).size(), 2u * kEach);
    const auto day = LocalDayOf(t0);
    const auto days = reader.Daily(1, day, day);
    // The samples arrive out of order between the writers; a late one splits an interval
    // already counted, and none is counted twice.
    ASSERT_TRUE(days[0].Energy[kSolar - 7].has_value());
    EXPECT_DOUBLE_EQ(*days[0].Energy[kSolar - 7], (kEach - 1) * 10.0 + 5.0);
    EXPECT_EQ(days[0].Covered, (kEach - 1) * 10 + 5);
}

TEST_F(HistoryStoreTest, AFileThatIsNotOursIsRefusedAndLeftAsItWas)
{
    struct Case {
        const char *Name;
        std::function<void(const std::string &)> Make;
    } cases[] = {
        {"text", [](const std::string &p) { std::ofstream(p) << "time,value\n1,2\n"; }},
        {"another program's database",
         [](const std::string &p) {
             sqlite3 *db = nullptr;
             sqlite3_open(p.c_str(), &db);
             sqlite3_exec(db, "CREATE TABLE notes(x TEXT); INSERT INTO notes VALUES('keep me');", nullptr, nullptr,
                          nullptr);
             sqlite3_close(db);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string p = (dir_ / "other").string();
        fs::remove(p);
        c.Make(p);
        const std::string before = FileBytes(p);
        for (bool readOnly : {false, true}) {
            HistoryStore store;
            EXPECT_FALSE(store.Open(p, readOnly));
            EXPECT_EQ(store.LastError(), HistoryError::NotOurs) << store.ErrorText();
        }
        EXPECT_TRUE(FileBytes(p) == before) << "the foreign file was changed";
        EXPECT_FALSE(fs::exists(p + "-wal"));
    }
}

TEST_F(HistoryStoreTest, ADamagedFileIsReportedAndNotRepaired)
{
    {
        HistoryStore store;
        ASSERT_TRUE(store.Open(path_, false));
        const int64_t dev = store.DeviceId("A", "");
        for (int i = 0; i < 2000; ++i)
            ASSERT_TRUE(store.AddSample(dev, Sample(1780000000 + i * 10, i * 1.0)));
        store.Close();
    }
    {
        // Checkpoint into the main file so the damage lands in real pages.
        sqlite3 *db = nullptr;
        sqlite3_open(path_.c_str(), &db);
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode = DELETE;", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    std::string bytes = FileBytes(path_);
    ASSERT_GT(bytes.size(), 8 * 4096u);
    for (size_t i = 3 * 4096; i < 6 * 4096; ++i)
        bytes[i] = static_cast<char>(0xA5);
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;

    HistoryStore store;
    EXPECT_FALSE(store.Open(path_, false, 3000, true));
    EXPECT_EQ(store.LastError(), HistoryError::Damaged) << store.ErrorText();
    store.Close();
    EXPECT_TRUE(FileBytes(path_) == bytes) << "the damaged file was changed";
}

TEST_F(HistoryStoreTest, AFileThatCannotBeWrittenFailsTheWriteAndKeepsWhatItHeld)
{
    {
        HistoryStore store;
        ASSERT_TRUE(store.Open(path_, false));
        ASSERT_TRUE(store.AddSample(store.DeviceId("A", ""), Sample(1780000000, 1.0)));
    }
    {
        // Opened for reading (a service's file shown on the page): a write is refused.
        HistoryStore reader;
        ASSERT_TRUE(reader.Open(path_, true));
        EXPECT_FALSE(reader.AddSample(1, Sample(1780000010, 2.0)));
        EXPECT_EQ(reader.LastError(), HistoryError::ReadOnly) << reader.ErrorText();
    }
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes files without write permission";
    fs::permissions(path_, fs::perms::owner_read);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    HistoryStore store;
    bool wrote = store.Open(path_, false);
    if (wrote)
        wrote = store.AddSample(1, Sample(1780000010, 2.0));
    EXPECT_FALSE(wrote);
    EXPECT_TRUE(store.LastError() == HistoryError::ReadOnly || store.LastError() == HistoryError::CannotOpen)
        << store.ErrorText();
    store.Close();
    fs::permissions(dir_, fs::perms::owner_all);
    HistoryStore reader;
    ASSERT_TRUE(reader.Open(path_, true)) << reader.ErrorText();
    EXPECT_EQ(reader.Samples(1, 0, INT64_MAX).size(), 1u);
}

TEST_F(HistoryStoreTest, AFileHeldTooLongByAnotherProgramFailsTheWriteAndLosesNothing)
{
    HistoryStore store;
    ASSERT_TRUE(store.Open(path_, false, 200));
    const int64_t dev = store.DeviceId("A", "");
    ASSERT_TRUE(store.AddSample(dev, Sample(1780000000, 1.0)));
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(store.AddSample(dev, Sample(1780000010, 2.0)));
    EXPECT_EQ(store.LastError(), HistoryError::Locked) << store.ErrorText();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    // Once the other program lets go, the store writes again and kept what it had.
    EXPECT_TRUE(store.AddSample(dev, Sample(1780000020, 3.0))) << store.ErrorText();
    EXPECT_EQ(store.Samples(dev, 0, INT64_MAX).size(), 2u);
}

TEST(HistoryLevel, TheSpanChoosesTheAggregate)
{
    const int64_t now = 1780000000;
    struct Case {
        int64_t Span;
        int64_t Age;
        HistoryLevel Level;
    } cases[] = {
        {3600, 0, HistoryLevel::Raw},           {86400, 0, HistoryLevel::Minute},
        {7 * 86400, 0, HistoryLevel::Hour},     {365 * 86400, 0, HistoryLevel::Hour},
        {3600, 40 * 86400, HistoryLevel::Hour},  // samples that old are pruned
    };
    for (const Case &c : cases)
        EXPECT_EQ(HistoryStore::LevelFor(now - c.Age - c.Span, now - c.Age, now), c.Level) << c.Span << " " << c.Age;
}

}  // namespace
