// The stand-in device's line: a pseudo-terminal in raw mode, RTU framing by line silence,
// the fault switches, and the serve loop that steps the model in (scaled) real time.
#pragma once
#include <csignal>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/SimOptions.h"

class SimDeviceModel;
class SimSlave;

// Fault switches applied to each reply on its way out; counts the replies itself.
class SimFaults {
public:
    explicit SimFaults(const SimOptions &options);
    // A run of bytes for the line and the silence before it (after the previous piece).
    struct Piece {
        std::vector<uint8_t> Bytes;
        uint32_t GapUs = 0;
    };
    // What to put on the line for a reply, in pieces; empty: nothing goes out.
    std::vector<Piece> Pieces(std::vector<uint8_t> reply);
    // The same bytes joined, without their pauses.
    std::vector<uint8_t> Shape(std::vector<uint8_t> reply);
    // The frame of another unit on the bus that --foreign-every puts before a reply.
    static std::vector<uint8_t> ForeignFrame(uint8_t ownUnit);

    static constexpr uint8_t kGarbage[] = {0x00, 0xFF, 0x55, 0xAA};

private:
    bool Every(uint32_t n) const { return n != 0 && count_ % n == 0; }

    SimOptions options_;
    uint64_t count_ = 0;
};

// Collects received bytes into a frame that ends after 3.5 characters of silence.
class SimFramer {
public:
    static constexpr uint64_t kGapUs = 4000;  // an unpaced line
    static constexpr size_t kMaxFrame = 512;  // longer runs are noise; they are dropped whole

    explicit SimFramer(uint64_t gapUs = kGapUs) : gapUs_(gapUs) {}
    // The silence that ends a frame at a line rate: 3.5 characters of 10 bits, 1750 us
    // above 19200 baud, kGapUs for an unpaced line (0).
    static uint64_t GapUsAt(uint32_t lineRate);
    uint64_t GapUs() const { return gapUs_; }

    void Feed(const uint8_t *bytes, size_t n, uint64_t nowUs);
    // Microseconds until the frame is complete; -1 when nothing is being received.
    int64_t UsUntilDue(uint64_t nowUs) const;
    // The completed frame (empty when none is due, or when it overflowed); *startUs, when
    // given, gets the time its first byte came.
    std::vector<uint8_t> Take(uint64_t nowUs, uint64_t *startUs = nullptr);

private:
    std::vector<uint8_t> bytes_;
    uint64_t firstUs_ = 0;
    uint64_t lastUs_ = 0;
    bool receiving_ = false;
    bool overflow_ = false;
    uint64_t gapUs_;
};

// Master side of a pseudo-terminal; a slave descriptor stays open inside so that a client
// closing its end does not make the master report hang-up over and over.
class SimPty {
public:
    SimPty() = default;
    SimPty(const SimPty &) = delete;
    SimPty &operator=(const SimPty &) = delete;
    ~SimPty();

    bool Open(std::string *error);
    // The rate the client has set the terminal to; 0 when it cannot be read.
    uint32_t Baud() const;
    // A symbolic link to the slave path, removed again by the destructor.
    bool Link(const std::string &path, std::string *error);
    const std::string &SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string link_;
};

class SimServer {
public:
    SimServer(SimPty &pty, SimSlave &slave, SimDeviceModel &model, const SimOptions &options);
    // Serves until *stop is non-zero. Waits with waitMask as the signal mask (ppoll), so
    // that the stop signals, blocked elsewhere, arrive only while waiting. 0, or 1 on a line error.
    int Run(volatile std::sig_atomic_t *stop, const sigset_t *waitMask);

private:
    struct Outgoing {
        uint64_t DueUs;  // when the first byte goes out
        std::vector<uint8_t> Bytes;
        size_t Sent = 0;
        bool Started = false;
        uint64_t StartUs = 0;  // paced: the first character's start on the line
        uint64_t GapUs = 0;    // silence after the previous piece before this one starts
    };
    // The earliest start of the first byte of o.
    uint64_t StartOf(const Outgoing &o) const;
    // False when --baud is given and the terminal runs at another rate (the device would
    // hear noise); takes the rate saved to 485.Init.BaudRate after a save command.
    bool RateMatches() const;
    void FollowSavedRate(const std::vector<uint8_t> &request, const std::vector<uint8_t> &reply);
    void Serve(const std::vector<uint8_t> &frame, uint64_t startUs, uint64_t nowUs);
    void SendDue(uint64_t nowUs);
    // Microseconds until the next byte is due (0: now), -1 when nothing waits.
    int64_t UsUntilNextByte(uint64_t nowUs) const;
    uint64_t CharUs() const { return options_.LineRate == 0 ? 0 : 10000000ull / options_.LineRate; }
    void AdvanceModel(uint64_t nowUs);

    SimPty &pty_;
    SimSlave &slave_;
    SimDeviceModel &model_;
    SimOptions options_;
    SimFaults faults_;
    SimFramer framer_;
    uint32_t baud_ = 0;  // the rate the device listens at; 0 = any
    std::deque<Outgoing> outgoing_;
    uint64_t lastStepUs_ = 0;
    uint64_t lineFreeUs_ = 0;  // the end of the last character put on the line
};
