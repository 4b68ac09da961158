#include "history/HistoryRecorder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "core/MicroClock.h"
#include "device/ActionManager.h"
#include "device/SettingsFile.h"

namespace {

constexpr const char *kIdentityNames[] = {"ChipUID.H1", "ChipUID.H2", "ChipUID.L", "DeviceType"};
// Old samples are pruned after this many samples written, a few rows at a time.
constexpr int kPruneEvery = 30;
// A queue that long means the writer is stuck: drop the oldest rather than grow.
constexpr size_t kMaxQueue = 8640;

int64_t WallNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::string DefaultHistoryPath()
{
    std::filesystem::path dir;
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        dir = xdg;
    else if (const char *home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        dir = std::filesystem::path(home) / ".local" / "share";
    else
        dir = ".";
    dir /= "quintavolte";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return (dir / "history.sqlite").string();
}

HistoryRecorder::HistoryRecorder(cActionManager &manager, const std::string &path, int intervalS)
    : Now(WallNow), manager_(manager), path_(path), intervalS_(intervalS < 1 ? 1 : intervalS)
{
    writer_ = std::thread([this] { WriterLoop(); });
    TaskManager.Register(this, 0, 100);
}

HistoryRecorder::~HistoryRecorder()
{
    TaskManager.Unregister(this);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

bool HistoryRecorder::MarkForReading(const char *const *names, int count)
{
    bool any = false;
    for (int i = 0; i < count; ++i)
        if (ModbusAction *v = manager_.Variable(MString::FromUtf8(names[i]))) {
            if (v->State != mbsRequested && v->State != mbsSent)
                v->State = mbsRequested;
            any = true;
        }
    return any;
}

// An exchange for the variable ended after it was marked. The window may mark it again at
// once (it shows the same value), so a variable asked for once more counts as answered when
// a request went out after the mark.
bool HistoryRecorder::Answered(const ModbusAction &v) const
{
    if (v.State != mbsRequested && v.State != mbsSent)
        return true;
    return v.State == mbsRequested && TickDiff(v.LastPoll, waitStart_) >= 0;
}

bool HistoryRecorder::AllAnswered(const char *const *names, int count)
{
    for (int i = 0; i < count; ++i) {
        const ModbusAction *v = manager_.Variable(MString::FromUtf8(names[i]));
        if (v != nullptr && !Answered(*v))
            return false;
    }
    return true;
}

bool HistoryRecorder::FreshNumber(const ModbusAction *v) const
{
    return v != nullptr && v->Value.IsNumber() && (v->State == mbsDone || (v->State == mbsRequested && Answered(*v)));
}

void HistoryRecorder::Run()
{
    if (stopped_)
        return;
    {
        // Never wait for the writer here: if it holds the lock, look again next turn.
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (lock.owns_lock() && writerError_ != HistoryError::None) {
            stopped_ = true;
            stoppedError_ = writerError_;
            const std::string text = writerErrorText_;
            lock.unlock();
            if (OnStopped)
                OnStopped(stoppedError_, text);
            return;
        }
    }
    if (!manager_.Identified) {
        // The next device may be another unit.
        chip_.clear();
        phase_ = Phase::Identify;
        return;
    }
    if (phase_ == Phase::Identify || phase_ == Phase::WaitIdentity)
        StepIdentify();
    else
        StepSample();
}

void HistoryRecorder::StepIdentify()
{
    if (phase_ == Phase::Identify) {
        MarkForReading(kIdentityNames, 4);
        waitStart_ = GetTickCount32();
        phase_ = Phase::WaitIdentity;
        return;
    }
    if (!AllAnswered(kIdentityNames, 4) && TickDiff(GetTickCount32(), waitStart_) < static_cast<int32_t>(kReadWaitMs))
        return;
    uint32_t words[3] = {};
    for (int i = 0; i < 3; ++i) {
        const ModbusAction *v = manager_.Variable(MString::FromUtf8(kIdentityNames[i]));
        if (!FreshNumber(v)) {
            // Without its identity a unit's samples could mix with another's: try again.
            phase_ = Phase::Identify;
            return;
        }
        words[i] = static_cast<uint32_t>(v->Value.ToReal());
    }
    chip_ = ChipIdentityText(words[0], words[1], words[2]);
    const ModbusAction *type = manager_.Variable(MString(u"DeviceType"));
    type_ = type != nullptr && !type->Value.Equals(u"--") ? type->Value.ToUtf8() : std::string();
    phase_ = Phase::Idle;
    nextDue_ = Now();
}

void HistoryRecorder::StepSample()
{
    const auto &vars = HistoryVars();
    const char *names[kHistoryVarCount];
    for (int i = 0; i < kHistoryVarCount; ++i)
        names[i] = vars[i].Name;
    if (phase_ == Phase::Idle) {
        const int64_t now = Now();
        if (now < nextDue_)
            return;
        sampleTime_ = now;
        // Keep the pace of the clock; after a pause start again from now.
        nextDue_ = nextDue_ + intervalS_ > now ? nextDue_ + intervalS_ : now + intervalS_;
        MarkForReading(names, kHistoryVarCount);
        waitStart_ = GetTickCount32();
        phase_ = Phase::WaitSample;
        return;
    }
    if (!AllAnswered(names, kHistoryVarCount) &&
        TickDiff(GetTickCount32(), waitStart_) < static_cast<int32_t>(kReadWaitMs))
        return;
    phase_ = Phase::Idle;
    Item item{chip_, type_, {}};
    item.Sample.Time = sampleTime_;
    bool any = false;
    for (int i = 0; i < kHistoryVarCount; ++i) {
        const ModbusAction *v = manager_.Variable(MString::FromUtf8(names[i]));
        if (FreshNumber(v)) {
            item.Sample.Values[i] = v->Value.ToReal();
            any = true;
        }
    }
    if (any)
        Push(std::move(item));
}

void HistoryRecorder::Push(Item item)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMaxQueue)
            queue_.pop_front();
        queue_.push_back(std::move(item));
    }
    wake_.notify_one();
}

bool HistoryRecorder::WaitWritten(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return drained_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return (queue_.empty() && !busy_) || writerError_ != HistoryError::None; });
}

bool HistoryRecorder::WriteOne(HistoryStore &store, const Item &item)
{
    static thread_local std::string lastChip;
    static thread_local int64_t lastId = 0;
    if (item.Chip != lastChip || lastId == 0) {
        lastId = store.DeviceId(item.Chip, item.Type);
        lastChip = item.Chip;
        if (lastId == 0)
            return false;
    }
    // Two missed samples are still one stretch; longer is a gap.
    const int64_t maxGap = std::max<int64_t>(HistoryStore::kDefaultMaxGapS, 3 * intervalS_);
    return store.AddSample(lastId, item.Sample, maxGap);
}

void HistoryRecorder::WriterLoop()
{
    HistoryStore store;
    bool ok = store.Open(path_, false, kBusyTimeoutMs, true);
    int sincePrune = kPruneEvery;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!ok) {
            writerError_ = store.LastError();
            writerErrorText_ = store.ErrorText();
            queue_.clear();
            drained_.notify_all();
            wake_.wait(lock, [this] { return quit_; });
            return;
        }
        wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (queue_.empty() && quit_)
            return;
        Item item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        ok = WriteOne(store, item);
        if (ok) {
            written_.fetch_add(1);
            if (++sincePrune >= kPruneEvery) {
                sincePrune = 0;
                ok = store.PruneStep(item.Sample.Time) >= 0;
            }
        }
        lock.lock();
        busy_ = false;
        if (queue_.empty())
            drained_.notify_all();
    }
}
