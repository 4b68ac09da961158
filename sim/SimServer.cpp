#include "sim/SimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/MbFraming.h"
#include "sim/SimDeviceModel.h"
#include "sim/SimRegisters.h"
#include "sim/SimSlave.h"

namespace {

uint64_t NowUs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// The model needs no finer steps than this when the line is quiet.
constexpr uint64_t kIdleWakeUs = 200000;

}  // namespace

// ---- SimFaults

SimFaults::SimFaults(const SimOptions &options) : options_(options)
{
}

std::vector<uint8_t> SimFaults::ForeignFrame(uint8_t ownUnit)
{
    // Another unit (17, or 18 when the stand-in itself answers as 17) answering a read of two
    // registers, as another device on the bus would.
    const uint8_t unit = ownUnit == 0x11 ? 0x12 : 0x11;
    std::vector<uint8_t> frame{unit, 0x03, 0x04, 0x00, 0x2A, 0x01, 0x00};
    const uint16_t crc = MbCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

std::vector<SimFaults::Piece> SimFaults::Pieces(std::vector<uint8_t> reply)
{
    if (reply.empty() || options_.Silent)
        return {};
    ++count_;
    if (Every(options_.DropEvery))
        return {};
    if (Every(options_.BadCrcEvery))
        reply.back() ^= 0xFF;
    std::vector<Piece> pieces;
    if (Every(options_.ForeignEvery))
        pieces.push_back({ForeignFrame(reply.front()), 0});
    uint32_t gapUs = 0;
    if (Every(options_.GarbageEvery)) {
        if (options_.GarbageByte >= 0)
            pieces.push_back({{static_cast<uint8_t>(options_.GarbageByte)}, 0});
        else
            pieces.push_back({{std::begin(kGarbage), std::end(kGarbage)}, 0});
        gapUs = options_.GarbageGapMs * 1000;
    }
    if (options_.SplitGapMs != 0 && reply.size() > 1) {
        const auto half = reply.begin() + static_cast<long>(reply.size() / 2);
        pieces.push_back({{reply.begin(), half}, gapUs});
        pieces.push_back({{half, reply.end()}, options_.SplitGapMs * 1000});
    } else {
        pieces.push_back({std::move(reply), gapUs});
    }
    return pieces;
}

std::vector<uint8_t> SimFaults::Shape(std::vector<uint8_t> reply)
{
    std::vector<uint8_t> bytes;
    for (const Piece &p : Pieces(std::move(reply)))
        bytes.insert(bytes.end(), p.Bytes.begin(), p.Bytes.end());
    return bytes;
}

// ---- SimFramer

uint64_t SimFramer::GapUsAt(uint32_t lineRate)
{
    if (lineRate == 0)
        return kGapUs;
    if (lineRate > 19200)
        return 1750;
    return (35000000ull + lineRate - 1) / lineRate;
}

void SimFramer::Feed(const uint8_t *bytes, size_t n, uint64_t nowUs)
{
    if (n == 0)
        return;
    if (!receiving_)
        firstUs_ = nowUs;
    receiving_ = true;
    lastUs_ = nowUs;
    if (overflow_ || bytes_.size() + n > kMaxFrame) {
        overflow_ = true;
        bytes_.clear();
        return;
    }
    bytes_.insert(bytes_.end(), bytes, bytes + n);
}

int64_t SimFramer::UsUntilDue(uint64_t nowUs) const
{
    if (!receiving_)
        return -1;
    uint64_t due = lastUs_ + gapUs_;
    return nowUs >= due ? 0 : static_cast<int64_t>(due - nowUs);
}

std::vector<uint8_t> SimFramer::Take(uint64_t nowUs, uint64_t *startUs)
{
    if (UsUntilDue(nowUs) != 0)
        return {};
    if (startUs != nullptr)
        *startUs = firstUs_;
    std::vector<uint8_t> frame;
    if (!overflow_)
        frame.swap(bytes_);
    bytes_.clear();
    receiving_ = false;
    overflow_ = false;
    return frame;
}

// ---- SimPty

SimPty::~SimPty()
{
    if (!link_.empty()) {
        // Only our own link goes: someone may have replaced it meanwhile.
        char target[4096];
        ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == slavePath_)
            unlink(link_.c_str());
    }
    if (slave_ >= 0)
        close(slave_);
    if (master_ >= 0)
        close(master_);
}

bool SimPty::Open(std::string *error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        *error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        *error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (tcgetattr(slave_, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(slave_, TCSANOW, &tio);
    }
    // Never block on the master: a reply nobody reads must not stop the device.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

uint32_t SimPty::Baud() const
{
    termios tio{};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0)
        return 0;
    static const std::pair<speed_t, uint32_t> rates[] = {
        {B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
        {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
    const speed_t speed = cfgetispeed(&tio);
    for (const auto &[code, rate] : rates)
        if (code == speed)
            return rate;
    return 0;
}

bool SimPty::Link(const std::string &path, std::string *error)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = path + " exists and is not a symbolic link";
            return false;
        }
        unlink(path.c_str());  // a stale link of an earlier run
    }
    if (symlink(slavePath_.c_str(), path.c_str()) != 0) {
        *error = "cannot link " + path + ": " + std::strerror(errno);
        return false;
    }
    link_ = path;
    return true;
}

// ---- SimServer

SimServer::SimServer(SimPty &pty, SimSlave &slave, SimDeviceModel &model, const SimOptions &options)
    : pty_(pty), slave_(slave), model_(model), options_(options), faults_(options),
      framer_(SimFramer::GapUsAt(options.LineRate)), baud_(options.Baud)
{
}

bool SimServer::RateMatches() const
{
    return baud_ == 0 || pty_.Baud() == baud_;
}

void SimServer::FollowSavedRate(const std::vector<uint8_t> &request, const std::vector<uint8_t> &reply)
{
    // A save command acknowledged: the rate written before it is the line's from now on.
    const uint16_t saveRegister = SimVar(vSaveConfigToRomNow).Register;
    if (baud_ == 0 || request.size() < 8 || reply.size() < 2 || (reply[1] & 0x80) != 0)
        return;
    const uint16_t address = static_cast<uint16_t>((request[2] << 8) | request[3]);
    if ((request[1] == 6 || request[1] == 16) && address == saveRegister) {
        const double rate = model_.Get(vBaudRate);
        if (rate >= 300)
            baud_ = static_cast<uint32_t>(rate);
    }
}

uint64_t SimServer::StartOf(const Outgoing &o) const
{
    return o.Started ? o.StartUs : std::max(o.DueUs, lineFreeUs_ + o.GapUs);
}

void SimServer::AdvanceModel(uint64_t nowUs)
{
    if (lastStepUs_ != 0 && nowUs > lastStepUs_)
        model_.Step(static_cast<double>(nowUs - lastStepUs_) / 1e6 * options_.Speed);
    lastStepUs_ = nowUs;
}

void SimServer::Serve(const std::vector<uint8_t> &frame, uint64_t startUs, uint64_t nowUs)
{
    if (frame.empty() || !RateMatches())
        return;
    std::vector<uint8_t> answer = slave_.HandleFrame(frame.data(), frame.size());
    FollowSavedRate(frame, answer);
    std::vector<SimFaults::Piece> pieces = faults_.Pieces(std::move(answer));
    if (pieces.empty())
        return;
    // A pseudo-terminal hands over a request at once; a real line needs a character time
    // per byte, then the 3.5-character silence that ends the frame.
    uint64_t due = nowUs;
    if (const uint64_t charUs = CharUs(); charUs != 0)
        due = std::max(due, startUs + frame.size() * charUs + charUs * 7 / 2);
    due += static_cast<uint64_t>(options_.DelayMs) * 1000;
    for (SimFaults::Piece &p : pieces) {
        Outgoing o{due, std::move(p.Bytes)};
        o.GapUs = p.GapUs;
        outgoing_.push_back(std::move(o));
        due = 0;  // the later pieces follow the earlier ones after their gaps
    }
}

int64_t SimServer::UsUntilNextByte(uint64_t nowUs) const
{
    if (outgoing_.empty())
        return -1;
    const Outgoing &o = outgoing_.front();
    uint64_t due = StartOf(o);
    // A byte reaches the far end once all its bits are on the line.
    if (const uint64_t charUs = CharUs(); charUs != 0)
        due += (o.Sent + 1) * charUs;
    return due > nowUs ? static_cast<int64_t>(due - nowUs) : 0;
}

void SimServer::SendDue(uint64_t nowUs)
{
    const uint64_t charUs = CharUs();
    while (!outgoing_.empty() && UsUntilNextByte(nowUs) == 0) {
        Outgoing &o = outgoing_.front();
        if (!o.Started) {
            o.StartUs = StartOf(o);
            o.Started = true;
        }
        // Unpaced: the whole reply at once. Paced: every character complete by now.
        size_t upTo = o.Bytes.size();
        if (charUs != 0)
            upTo = std::min<size_t>(upTo, static_cast<size_t>((nowUs - o.StartUs) / charUs));
        while (o.Sent < upTo) {
            ssize_t n = write(pty_.MasterFd(), o.Bytes.data() + o.Sent, upTo - o.Sent);
            if (n > 0) {
                o.Sent += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                o.Sent = o.Bytes.size();  // the terminal's queue is full: nobody reads, lost as on a wire
                break;
            }
        }
        lineFreeUs_ = charUs != 0 ? o.StartUs + o.Sent * charUs : nowUs;
        if (o.Sent >= o.Bytes.size())
            outgoing_.pop_front();
    }
}

int SimServer::Run(volatile std::sig_atomic_t *stop, const sigset_t *waitMask)
{
    lastStepUs_ = NowUs();
    uint8_t buf[512];
    while (!*stop) {
        uint64_t now = NowUs();
        int64_t waitUs = kIdleWakeUs;
        if (int64_t frameUs = framer_.UsUntilDue(now); frameUs >= 0)
            waitUs = std::min(waitUs, frameUs);
        if (int64_t byteUs = UsUntilNextByte(now); byteUs >= 0)
            waitUs = std::min(waitUs, byteUs);
        timespec ts{static_cast<time_t>(waitUs / 1000000), static_cast<long>((waitUs % 1000000) * 1000)};
        pollfd pfd{pty_.MasterFd(), POLLIN, 0};
        int r = ppoll(&pfd, 1, &ts, waitMask);
        if (r < 0 && errno != EINTR)
            return 1;
        now = NowUs();
        if (r > 0 && (pfd.revents & POLLIN)) {
            ssize_t n = read(pty_.MasterFd(), buf, sizeof buf);
            if (n > 0) {
                // An adapter with local echo hands every byte straight back.
                if (options_.Echo) [[maybe_unused]]
                    ssize_t echoed = write(pty_.MasterFd(), buf, static_cast<size_t>(n));
                framer_.Feed(buf, static_cast<size_t>(n), now);
            }
        } else if (r > 0 && (pfd.revents & (POLLERR | POLLNVAL))) {
            return 1;
        } else if (r > 0 && (pfd.revents & POLLHUP)) {
            // Cannot happen while our own slave descriptor is open; never spin on it all the same.
            usleep(static_cast<useconds_t>(kIdleWakeUs));
        }
        AdvanceModel(now);
        uint64_t startUs = now;
        std::vector<uint8_t> frame = framer_.Take(now, &startUs);
        Serve(frame, startUs, now);
        SendDue(NowUs());
    }
    return 0;
}
