// ConnectionController: finding the device and keeping the link to it, for every front end.
// One search over the candidate ports (or the ones given), taken a step at a time so that
// a window or a bridge keeps serving its own events meanwhile; a blocking form of it for
// the command line; the operator's choice of one port with the way back to the previous
// one; and the path of the open port, which stays the device it was opened as.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class cActionManager;
class ModbusShell;
struct ModbusAction;

// What a search met at one port it tried.
struct PortOutcome {
    std::string Path;
    std::string OpenError;    // the system's reason when the port could not be opened
    bool BadReplies = false;  // replies came but failed their check
    bool Answered = false;    // a device answered (not ours, or ours)

    // The outcome as the operator is told it.
    enum class Kind { NoAnswer, BadReplies, OtherDevice, InUse, NotSerial, CannotOpen };
    Kind Result() const;
};

// The refused ports grouped for advice: the ports each group would open, in search order
// of each group's first port; an empty Group gathers the ports no group of ours may use.
struct RefusedGroup {
    std::string Group;
    std::vector<std::string> Ports;
};
std::vector<RefusedGroup> GroupRefusedPorts(const std::vector<std::string> &refused);

class ConnectionController {
public:
    explicit ConnectionController(cActionManager &manager) : manager_(manager) {}
    ConnectionController(const ConnectionController &) = delete;
    ConnectionController &operator=(const ConnectionController &) = delete;

    enum class Result { Busy, Found, NotFound };

    // Closes the port, rebuilds the variable table and starts a search of the ports (the
    // candidates of the port list when none are given). Clears the outcomes.
    // The rate: the manager's LineBaud alone when it is set; otherwise 9600 (the rate
    // remembered with a port, on that port) on every port first, then, when no device
    // answered, one short attempt at each other offered rate on the ports that opened.
    void Begin(std::vector<std::string> ports = {});
    // One step of the search; never blocks. Found leaves the device identified with its
    // port open; NotFound leaves no port open. Pause() tells whether the step found the
    // line with nothing for it (a blocking caller rests then).
    Result Step();
    bool Searching() const { return phase_ != Phase::Idle; }
    bool Pause() const { return pause_; }
    // Ends a search under way: the port is closed and the request in flight dropped.
    void Abandon();

    // The way back to a device that was lost, a step at a time: a search of the port it was
    // last found on (by its by-id name where it has one) at the rate it answered at, and of
    // nothing else, begun at once and then every kReturnPeriodMs after a search that failed.
    // Found when the device answers again; Busy until then (Pause() tells that nothing is due).
    // False from CanReturn when no device was ever found.
    Result StepReturn();
    bool CanReturn() const { return !lastPort_.empty(); }
    // Forgets a way back under way (the port of a search in progress is closed).
    void EndReturn();
    // The port and rate the device was last found on.
    const std::string &LastDevicePort() const { return lastPort_; }
    uint32_t LastDeviceBaud() const { return lastBaud_; }

    // The whole search at once: steps, calling OnSearchWait and resting on the line (at most
    // kPauseMs) whenever it has nothing. True when the device was found.
    bool Connect(std::vector<std::string> ports = {});
    // Whether the last Connect ended early for CancelSearch or StopAfterPort.
    bool Interrupted() const { return interrupted_; }

    // What connecting to one chosen port came to.
    struct Choice {
        bool Found = false;
        bool Cancelled = false;       // the search was cancelled or stopped (see Interrupted)
        std::string Previous;         // the port connected before, when the chosen one failed
        bool BackOnPrevious = false;  // and the device is connected through it again
    };
    // The usual search over this one port, disconnecting first. The port already connected
    // is left as it is. When the device answers, the port is tried first from then on (it
    // is put in front of explicit ports); when it does not, the previous port is searched
    // again so that the operator is not left without the device.
    Choice ConnectToPort(const std::string &path);

    // The path of the open port, empty when none is open.
    std::string PortPath() const;
    // The path of the port the identified device is on, empty when none is.
    std::string DevicePath() const;
    // Whether the identified device is on the port at path (or the device it names).
    bool OnPort(const std::string &path) const;
    // Keeps the open port as the one to try first next time (its by-id name where it has
    // one), with its rate, which is tried first on it.
    void RememberOpenPort() const;

    // Called with each port's path before the search tries it (progress for the operator).
    std::function<void(const std::string &path)> OnTryPort;
    // Called at every pause of a blocking search, so that a window keeps painting and
    // taking input meanwhile.
    std::function<void()> OnSearchWait;
    // Set (from OnTryPort or OnSearchWait) to end the blocking search at its next pause:
    // Connect then closes the port and returns false. Cleared as Connect starts and ends.
    bool CancelSearch = false;
    // Set to end the search with the port it is trying: no further port is tried, but a
    // device that answers there is still connected. Cleared as Connect starts and ends.
    bool StopAfterPort = false;

    // The ports the last search could not open for lack of permission, in search order.
    std::vector<std::string> RefusedPorts;
    // What the last search found on each other port it tried, in search order.
    std::vector<PortOutcome> TriedPorts;

    static constexpr int kAttempts = 3;
    // A request that has not gone out by then, or whose reply has not come, counts as a
    // failed attempt (the reply timeout itself is shorter).
    static constexpr uint32_t kSendLimitMs = 1000;
    static constexpr uint32_t kReplyLimitMs = 1000;
    // The longest rest of the blocking search between two steps.
    static constexpr int kPauseMs = 1;
    // The rate of the first pass where nothing else is known.
    static constexpr uint32_t kUsualBaud = 9600;
    // The reply time of a short attempt at another rate: the rates together cost a port
    // less than a second more (the line time of the exchange comes on top at slow rates).
    static constexpr int32_t kShortReplyMs = 40;
    // The other offered rates, in the order the second pass tries them.
    static constexpr uint32_t kOtherBauds[] = {19200, 38400, 57600, 115200, 4800, 2400, 1200};
    // Between searches for a lost device: a search that finds no port costs nothing, one
    // on a silent port ends at its first time-out (the link counts as lost meanwhile), so
    // the line is left alone most of the time and a device plugged back is found within
    // about a second.
    static constexpr uint32_t kReturnPeriodMs = 1000;

private:
    enum class Phase { Idle, Announce, Open, Ask, Send, Reply };
    // One port at one rate: the first pass makes kAttempts attempts, the second one.
    struct Try {
        std::string Path;
        uint32_t Baud = kUsualBaud;
        bool Short = false;
    };
    ModbusShell &Shell();
    void Start(std::vector<Try> tries, bool otherRates);
    bool AddOtherRates();
    Result NextPort();
    Result Found();
    PortOutcome &Outcome();

    cActionManager &manager_;
    std::vector<Try> tries_;
    bool otherRates_ = false;  // the second pass is still to come
    int32_t typeTimeoutMs_ = 0;
    std::string lastPort_;
    uint32_t lastBaud_ = 0;
    bool returning_ = false;  // StepReturn's search is the one under way
    uint32_t returnAt_ = 0;   // when StepReturn's next search is due
    size_t next_ = 0;
    Phase phase_ = Phase::Idle;
    ModbusAction *type_ = nullptr;
    int attempt_ = 0;
    uint32_t phaseStart_ = 0;
    bool pause_ = false;
    bool connectedBefore_ = false;
    bool interrupted_ = false;  // the last Connect was cancelled or stopped after a port
};
