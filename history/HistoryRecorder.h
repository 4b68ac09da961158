// HistoryRecorder: a scheduler task that reads the history's variables of the connected
// device every interval and hands each sample to a writer thread, so that the link never
// waits on the database. The first failure of the database stops the recording, not the link.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/MicroTask.h"
#include "history/HistoryStore.h"

class cActionManager;
struct ModbusAction;

class HistoryRecorder : public MicroTaskBase {
public:
    static constexpr int kDefaultIntervalS = 10;
    // How long the link may take to answer a sample's reads before it is taken as it is.
    static constexpr uint32_t kReadWaitMs = 5000;
    // A file held by another program longer than this stops the recording.
    static constexpr int kBusyTimeoutMs = 5000;

    // Registers itself with the scheduler; the database opens on the writer thread.
    HistoryRecorder(cActionManager &manager, const std::string &path, int intervalS = kDefaultIntervalS);
    // Writes what is queued, then ends the writer.
    ~HistoryRecorder() override;

    void Run() override;

    // UTC seconds; tests inject a clock that runs faster than the wall's.
    std::function<int64_t()> Now;
    // Called once, from Run (the link's thread), when a database failure stops the recording.
    std::function<void(HistoryError error, const std::string &text)> OnStopped;

    bool Stopped() const { return stopped_; }
    HistoryError Error() const { return stoppedError_; }
    const std::string &Path() const { return path_; }
    const std::string &Chip() const { return chip_; }
    int IntervalS() const { return intervalS_; }
    // Samples the writer has put into the database.
    int64_t Written() const { return written_.load(); }
    // Waits (up to timeoutMs) until the writer has written everything queued; for tests and
    // for a clean end of the command line's recording.
    bool WaitWritten(int timeoutMs);

private:
    struct Item {
        std::string Chip;
        std::string Type;
        HistorySample Sample;
    };
    enum class Phase { Identify, WaitIdentity, Idle, WaitSample };

    void StepIdentify();
    void StepSample();
    bool MarkForReading(const char *const *names, int count);
    bool AllAnswered(const char *const *names, int count);
    bool Answered(const ModbusAction &v) const;
    bool FreshNumber(const ModbusAction *v) const;
    void Push(Item item);
    void WriterLoop();
    bool WriteOne(HistoryStore &store, const Item &item);

    cActionManager &manager_;
    std::string path_;
    int intervalS_;
    Phase phase_ = Phase::Identify;
    uint32_t waitStart_ = 0;
    int64_t nextDue_ = 0;
    int64_t sampleTime_ = 0;
    std::string chip_;
    std::string type_;
    bool stopped_ = false;
    HistoryError stoppedError_ = HistoryError::None;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<Item> queue_;
    bool busy_ = false;
    bool quit_ = false;
    HistoryError writerError_ = HistoryError::None;  // under mutex_
    std::string writerErrorText_;
    std::atomic<int64_t> written_{0};
    std::thread writer_;
};

// The user's history file: $XDG_DATA_HOME/quintavolte/history.sqlite, or
// ~/.local/share/quintavolte/history.sqlite. Makes the folder.
std::string DefaultHistoryPath();
