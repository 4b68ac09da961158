#include "port/SerialPort.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/MicroClock.h"
#include "port/LineSettings.h"
#include "port/PortList.h"

namespace {

// The thread sleeps on the descriptor and the wake-up; these only bound a wait that
// nothing ends (bytes put into TxRing without Wake, a port that reports events forever).
constexpr int kIdleWaitMs = 1000;
constexpr int kClosedWaitMs = 1000;
constexpr int kStuckPortWaitMs = 50;
// The longest a frame's remaining bytes are left to gather in the line's own queue.
constexpr int64_t kMaxGatherUs = 50000;

long PosixRead(void *, int fd, uint8_t *buf, size_t n)
{
    ssize_t r = ::read(fd, buf, n);
    if (r >= 0)
        return static_cast<long>(r);
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
}

long PosixWrite(void *, int fd, const uint8_t *buf, size_t n)
{
    ssize_t r = ::write(fd, buf, n);
    if (r >= 0)
        return static_cast<long>(r);
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
}

// Counts one event on an eventfd (none made: nothing to do). A full counter only means a
// wake-up is already pending, so the write's result does not matter.
void SignalEvent(int eventFd)
{
    if (eventFd >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(eventFd, &one, sizeof one);
    }
}

// Opens and configures the device; -1 on any failure, with the reason in *error. The
// descriptor is never 0, since 0 means "closed" to the port's callers.
int OpenLine(const std::string &path, uint32_t baud, uint8_t byteSize, uint8_t stopBits, uint8_t parity,
             std::string *error)
{
    auto fail = [&](const char *what) {
        // TIOCEXCL of another holder shows as EBUSY to users other than root.
        *error = errno == EBUSY ? std::string("in use by another program") : std::string(what) + std::strerror(errno);
        return -1;
    };
    int fd = OpenPortFile(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail("");
    if (!isatty(fd)) {
        ::close(fd);
        *error = "not a terminal";
        return -1;
    }
    if (fd < 3) {
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        if (moved < 0)
            return fail("");
        fd = moved;
    }
    // Not shared: flock keeps out other programs that ask (root included), TIOCEXCL
    // keeps out ordinary users that do not.
    termios wanted{}, got{};
    const char *failed = nullptr;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        failed = errno == EWOULDBLOCK ? "in use by another program" : "cannot lock it: ";
    else if (ioctl(fd, TIOCEXCL) != 0 || tcgetattr(fd, &wanted) != 0)
        failed = "cannot take it: ";
    else if (!BuildLineSettings(wanted, baud, byteSize, stopBits, parity))
        failed = "line settings not supported";
    // A driver may accept the call and quietly keep some settings (a pseudo-terminal keeps
    // 8 data bits and no parity): a line that does not run as asked counts as refused.
    else if (tcsetattr(fd, TCSANOW, &wanted) != 0 || tcgetattr(fd, &got) != 0 || !LineSettingsHeld(wanted, got))
        failed = "line settings refused";
    // Bytes left in the line by an earlier program or run would be read as the answer to
    // our first request: both queues start empty.
    else if (tcflush(fd, TCIOFLUSH) != 0)
        failed = "cannot empty its queues: ";
    if (failed != nullptr) {
        const int saved = errno;
        ioctl(fd, TIOCNXCL);  // do not leave the line locked against others
        ::close(fd);
        const size_t len = std::strlen(failed);
        *error = failed;
        if (len > 0 && failed[len - 1] == ' ')
            *error += std::strerror(saved);
        return -1;
    }
    return fd;
}

bool PosixSetRts(void *, int fd, bool high)
{
    int bits = TIOCM_RTS;
    return ioctl(fd, high ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

void PosixDrain(void *, int fd)
{
    while (tcdrain(fd) != 0 && errno == EINTR) {
    }
}

bool PosixRs485Flags(void *, int fd, bool set, uint32_t *flags)
{
    serial_rs485 rs485{};
    if (ioctl(fd, TIOCGRS485, &rs485) != 0)
        return false;
    if (!set) {
        *flags = rs485.flags;
        return true;
    }
    rs485.flags = *flags;
    return ioctl(fd, TIOCSRS485, &rs485) == 0;
}

}  // namespace

SerialTransport TermiosTransport()
{
    return SerialTransport{PosixRead, PosixWrite, nullptr, PosixSetRts, PosixDrain, PosixRs485Flags};
}

CSerialPort::CSerialPort() : transport_(TermiosTransport())
{
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // without it waits just run their time
    readyFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    Running.store(true);
    ReaderThread = std::thread(&CSerialPort::ThreadMain, this);
}

CSerialPort::~CSerialPort()
{
    // The thread checks Running on every pass and never holds Lock while waiting,
    // so it ends by itself within one wait.
    Running.store(false);
    Wake();
    if (ReaderThread.joinable())
        ReaderThread.join();
    Close();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    if (readyFd_ >= 0)
        ::close(readyFd_);
}

bool CSerialPort::IsOpen() const
{
    return handle_.load() != 0;
}

std::string CSerialPort::PortPath() const
{
    std::lock_guard<std::mutex> g(pathGuard_);
    return path_;
}

bool CSerialPort::Open(int n)
{
    return Open(::PortPath(n));
}

bool CSerialPort::Open(const std::string &path)
{
    if (handle_.load() != 0)
        Close();
    std::string error;
    if (path.empty()) {
        std::lock_guard<std::mutex> g(errorGuard_);
        lastError_ = "no such port";
        return false;
    }
    int fd = OpenLine(path, baudRate_, byteSize_, stopBits_, parity_, &error);
    {
        std::lock_guard<std::mutex> g(errorGuard_);
        lastError_ = fd < 0 ? error : std::string();
    }
    if (fd < 0)
        return false;
    SetUpDirection(fd);
    echoes_.store(false);  // a new line: whether it echoes is to be seen again
    {
        CAutoLock lock(Lock);
        RxRing.Clear();
        TxRing.Clear();
        lastRxTick_ = GetTickCount32();
        lastRxUs_ = GetTickCountUs();
        {
            std::lock_guard<std::mutex> g(pathGuard_);
            path_ = path;
        }
        handle_.store(fd);
    }
    Wake();  // no need to sit out the closed-port wait
    return true;
}

bool CSerialPort::Close()
{
    int fd;
    closing_.fetch_add(1);
    Wake();
    {
        // Once both are held the thread is neither in a pass nor waiting on the descriptor,
        // and it looks at handle_ again before it touches the port.
        std::lock_guard<std::mutex> guard(fdGuard_);
        CAutoLock lock(Lock);
        fd = handle_.exchange(0);
        std::lock_guard<std::mutex> g(pathGuard_);
        path_.clear();
    }
    closing_.fetch_sub(1);
    if (fd == 0)
        return false;
    // The driver keeps its RS-485 mode after the close: the next program to open the
    // port finds it as it was before this one.
    if (rs485Set_.exchange(false)) {
        SerialTransport transport{};
        {
            CAutoLock lock(Lock);
            transport = transport_;
        }
        uint32_t flags = rs485Before_;
        transport.Rs485Flags(transport.Context, fd, true, &flags);
    }
    toggleRts_.store(false);
    // Closed outside the locks: a serial close may wait for the output to drain, and the
    // number cannot be reused before close returns.
    ioctl(fd, TIOCNXCL);
    return ::close(fd) == 0;
}

bool CSerialPort::SetParams(uint32_t baudRate, uint8_t byteSize, uint8_t stopBits, uint8_t parity)
{
    bool changed = false;
    {
        // The transfer thread reads the rate to pace its gathering.
        CAutoLock lock(Lock);
        if (baudRate_ != baudRate) {
            baudRate_ = baudRate;
            changed = true;
        }
        if (byteSize_ != byteSize) {
            byteSize_ = byteSize;
            changed = true;
        }
        if (stopBits_ != stopBits) {
            stopBits_ = stopBits;
            changed = true;
        }
        if (parity_ != parity) {
            parity_ = parity;
            changed = true;
        }
    }
    // By the path it was opened by: after a hot-plug the same number may name another device.
    if (changed && IsOpen())
        return Open(PortPath());
    return true;
}

void CSerialPort::SetTransport(const SerialTransport &transport)
{
    CAutoLock lock(Lock);
    transport_ = (transport.Read && transport.Write) ? transport : TermiosTransport();
    if (transport_.SetRts == nullptr)
        transport_.SetRts = PosixSetRts;
    if (transport_.Drain == nullptr)
        transport_.Drain = PosixDrain;
    if (transport_.Rs485Flags == nullptr)
        transport_.Rs485Flags = PosixRs485Flags;
}

void CSerialPort::SetUpDirection(int fd)
{
    toggleRts_.store(false);
    rs485Set_.store(false);
    if (!rtsDirection_.load())
        return;
    SerialTransport transport{};
    {
        CAutoLock lock(Lock);
        transport = transport_;
    }
    // The driver's own RS-485 mode switches the direction at the right bit time; only
    // where it has none is RTS set by hand, which is as good as the thread's wake-ups.
    uint32_t flags = 0;
    if (transport.Rs485Flags(transport.Context, fd, false, &flags)) {
        const uint32_t before = flags;
        flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND);
        if (transport.Rs485Flags(transport.Context, fd, true, &flags)) {
            rs485Before_ = before;
            rs485Set_.store(true);
            return;
        }
    }
    CAutoLock lock(Lock);
    toggleRts_.store(true);
    transport_.SetRts(transport_.Context, fd, false);  // listening until a frame goes out
    rtsHigh_ = false;
}

std::string CSerialPort::LastError() const
{
    std::lock_guard<std::mutex> g(errorGuard_);
    return lastError_;
}

bool CSerialPort::Transmit(const uint8_t *bytes, size_t n, bool dropReceived, size_t *dropped)
{
    {
        CAutoLock lock(Lock);
        if (dropReceived) {
            if (dropped != nullptr)
                *dropped = RxRing.Count();
            RxRing.Clear();
        }
        // Half a frame on the wire would corrupt the exchange.
        if (TxRing.Free() < n)
            return false;
        TxRing.Put(bytes, n, false);
    }
    Wake();
    return true;
}

size_t CSerialPort::RxCount() const
{
    CAutoLock lock(Lock);
    return RxRing.Count();
}

size_t CSerialPort::PeekReceived(uint8_t *buf, size_t n) const
{
    CAutoLock lock(Lock);
    return RxRing.Peek(buf, n);
}

size_t CSerialPort::TakeReceived(uint8_t *buf, size_t n)
{
    CAutoLock lock(Lock);
    return RxRing.Take(buf, n);
}

size_t CSerialPort::DropReceived(size_t n)
{
    CAutoLock lock(Lock);
    if (n >= RxRing.Count()) {
        const size_t all = RxRing.Count();
        RxRing.Clear();
        return all;
    }
    uint8_t scratch[kChunk];
    size_t done = 0;
    while (done < n)
        done += RxRing.Take(scratch, std::min(kChunk, n - done));
    return done;
}

uint32_t CSerialPort::LastRxTick() const
{
    CAutoLock lock(Lock);
    return lastRxTick_;
}

uint64_t CSerialPort::LastRxUs() const
{
    CAutoLock lock(Lock);
    return lastRxUs_;
}

size_t CSerialPort::TxFree() const
{
    CAutoLock lock(Lock);
    return TxRing.Free();
}

bool CSerialPort::InputWaiting() const
{
    const int fd = handle_.load();
    int n = 0;
    return fd > 0 && ioctl(fd, FIONREAD, &n) == 0 && n > 0;
}

void CSerialPort::Wake()
{
    SignalEvent(wakeFd_);
}

void CSerialPort::SignalReady()
{
    SignalEvent(readyFd_);
}

bool CSerialPort::TakeReady()
{
    uint64_t count = 0;
    return readyFd_ >= 0 && ::read(readyFd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

void CSerialPort::SetQuietMarks(std::initializer_list<uint32_t> marksUs)
{
    {
        CAutoLock lock(Lock);
        quietMarkCount_ = 0;
        for (uint32_t m : marksUs)
            if (quietMarkCount_ < quietMarks_.size())
                quietMarks_[quietMarkCount_++] = m;
        std::sort(quietMarks_.begin(), quietMarks_.begin() + static_cast<long>(quietMarkCount_));
        quietMarksSignalled_ = quietMarkCount_;  // nothing received yet
    }
    Wake();
}

void CSerialPort::SetReadyCount(uint16_t count)
{
    CAutoLock lock(Lock);
    readyCount_ = count == 0 ? 1 : count;
}

int64_t CSerialPort::NextQuietMark()
{
    if (quietMarksSignalled_ >= quietMarkCount_)
        return -1;
    const int64_t quiet = static_cast<int64_t>(GetTickCountUs() - lastRxUs_);
    bool passed = false;
    while (quietMarksSignalled_ < quietMarkCount_ && quiet >= static_cast<int64_t>(quietMarks_[quietMarksSignalled_])) {
        // The first mark always matters (the line is free again); later ones only while
        // received bytes still wait to be framed.
        passed = passed || quietMarksSignalled_ == 0 || RxRing.Count() > 0;
        ++quietMarksSignalled_;
    }
    if (passed)
        SignalReady();
    if (quietMarksSignalled_ >= quietMarkCount_)
        return -1;
    return static_cast<int64_t>(quietMarks_[quietMarksSignalled_]) - (quiet < 0 ? 0 : quiet);
}

bool CSerialPort::TransferPass(int fd, bool &blocked)
{
    uint8_t buf[kChunk];
    bool activity = false;
    blocked = false;

    if (TxRing.Count() > 0) {
        if (toggleRts_.load() && !rtsHigh_)
            rtsHigh_ = transport_.SetRts(transport_.Context, fd, true);
        size_t taken = TxRing.Take(buf, kChunk);
        long r = transport_.Write(transport_.Context, fd, buf, taken);
        size_t written = r > 0 ? (static_cast<size_t>(r) < taken ? static_cast<size_t>(r) : taken) : 0;
        if (written < taken)
            TxRing.Unget(taken - written);  // the rest goes first next time, in its order
        // A write that moved nothing is not progress: the wait below ends when the port
        // can take more, instead of retrying in a tight loop.
        if (written > 0)
            activity = true;
        else
            blocked = true;
        // The frame is out of the ring: back to listening once its last bit has left,
        // or the device's first reply bytes meet a driver that still drives the bus.
        if (rtsHigh_ && TxRing.Count() == 0) {
            transport_.Drain(transport_.Context, fd);
            transport_.SetRts(transport_.Context, fd, false);
            rtsHigh_ = false;
        }
    }

    uint16_t before = RxRing.Count();
    for (;;) {
        long r = transport_.Read(transport_.Context, fd, buf, kChunk);
        if (r <= 0)
            break;
        RxRing.Put(buf, static_cast<size_t>(r) < kChunk ? static_cast<size_t>(r) : kChunk, false);
        activity = true;
    }
    if (RxRing.Count() > before) {
        lastRxTick_ = GetTickCount32();
        lastRxUs_ = GetTickCountUs();
        quietMarksSignalled_ = 0;
        if (RxRing.Count() >= readyCount_)
            SignalReady();
    }
    return activity;
}

namespace {
// Waits up to timeoutUs for input (or room for output when wantOut) on fd (none when -1),
// or a wake-up. Returns whether the port itself ended the wait.
bool WaitOn(int wakeFd, int fd, bool wantOut, int64_t timeoutUs)
{
    pollfd p[2] = {{wakeFd, POLLIN, 0}, {fd, static_cast<short>(POLLIN | (wantOut ? POLLOUT : 0)), 0}};
    // Microseconds: a frame's silence on a fast line is shorter than two milliseconds.
    const timespec timeout{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
    int r = ppoll(p, fd >= 0 ? 2 : 1, &timeout, nullptr);
    if (r <= 0)
        return false;
    if (p[0].revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = ::read(wakeFd, &count, sizeof count);
    }
    return fd >= 0 && p[1].revents != 0;
}
}  // namespace

void CSerialPort::ThreadMain()
{
    // Set when the last wait ended on a port event and the pass after it moved nothing:
    // a hung-up or failing port reports events at once and would make the waits spin.
    bool eventWithoutProgress = false;
    bool lastWaitByPort = false;
    while (Running.load()) {
        if (handle_.load() == 0) {
            WaitOn(wakeFd_, -1, false, kClosedWaitMs * 1000);
            lastWaitByPort = false;
            continue;
        }
        int fd;
        bool blocked = false;
        bool activity;
        int64_t markUs;
        int64_t gatherUs = 0;
        {
            CAutoLock lock(Lock);
            fd = handle_.load();  // Open and Close change it only under Lock
            if (fd == 0)
                continue;
            const uint16_t before = RxRing.Count();
            activity = TransferPass(fd, blocked);
            markUs = NextQuietMark();
            // Part of the awaited frame is in: on a real line the rest comes a character time
            // per byte, so sleep until it can be whole and take it in one read, rather than
            // waking for every byte.
            const uint16_t count = RxRing.Count();
            if (count > before && count < readyCount_ && baudRate_ > 0 && TxRing.Count() == 0)
                gatherUs = std::min<int64_t>(kMaxGatherUs, (readyCount_ - count) * 10000000ll / baudRate_);
        }
        if (gatherUs > 0) {
            WaitOn(wakeFd_, -1, false, gatherUs);
            lastWaitByPort = false;
            continue;
        }
        if (activity) {
            lastWaitByPort = false;
            continue;
        }
        eventWithoutProgress = lastWaitByPort;
        std::unique_lock<std::mutex> guard(fdGuard_);
        if (handle_.load() != fd) {  // closed or replaced since the pass
            lastWaitByPort = false;
            continue;
        }
        if (closing_.load() != 0) {  // a Close waits for fdGuard_: let it have it
            lastWaitByPort = false;
            guard.unlock();
            std::this_thread::yield();
            continue;
        }
        if (eventWithoutProgress) {
            WaitOn(wakeFd_, -1, false, kStuckPortWaitMs * 1000);
            lastWaitByPort = false;
        } else {
            // The next quiet mark ends the wait; a wait that ends on it alone moved nothing.
            lastWaitByPort = WaitOn(wakeFd_, fd, blocked, markUs >= 0 ? markUs : kIdleWaitMs * 1000);
        }
    }
}
