// The serial port with its transfer thread: the thread alone moves bytes between the
// port and two rings; the device connection only opens and closes the port and frames
// what was received through the narrow interface below (take, peek, transmit, quiet).
#pragma once
#include <array>
#include <atomic>
#include <initializer_list>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "core/CritSection.h"
#include "port/ByteRing.h"

// How the transfer thread moves bytes through an open port; the termios one is the
// default, tests put in their own. Both return the count moved, 0 when nothing can move
// now, -1 on failure.
struct SerialTransport {
    long (*Read)(void *context, int fd, uint8_t *buf, size_t n);
    long (*Write)(void *context, int fd, const uint8_t *buf, size_t n);
    void *Context;
    // Direction control for adapters that need RTS high while sending: raise or drop RTS,
    // and wait until every written byte has left the line. Null: the termios ones.
    bool (*SetRts)(void *context, int fd, bool high) = nullptr;
    void (*Drain)(void *context, int fd) = nullptr;
    // The driver's RS-485 mode: reads its flags (set false) or sets them (set true); false
    // where the driver has no such mode or refuses. Null: the TIOCGRS485/TIOCSRS485 ones.
    bool (*Rs485Flags)(void *context, int fd, bool set, uint32_t *flags) = nullptr;
};
// Plain read(2)/write(2) on the non-blocking descriptor.
SerialTransport TermiosTransport();

class CSerialPort {
public:
    // Most bytes written in one pass of the thread.
    static constexpr size_t kChunk = 64;

    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort &) = delete;
    CSerialPort &operator=(const CSerialPort &) = delete;

    // Opens the port at path with the stored settings, closing an open port first. The port
    // keeps that path: a reopen (SetParams) opens the same device file, whatever the list of
    // ports says by then. Whatever waited in the line's own queues is discarded; both rings
    // are emptied and LastRxTick stamped. False (and closed) on any failure, with the reason
    // in LastError().
    bool Open(const std::string &path);
    // The n-th candidate port (see PortList.h), looked up once: the same as Open(its path).
    bool Open(int n);
    // Why the last Open failed (the system's reason), empty after a successful one.
    std::string LastError() const;
    // Closes an open port; false when nothing was open or the close failed.
    bool Close();
    bool IsOpen() const;
    // Stores the settings; when any differs and a port is open, reopens it (rings emptied).
    // Parity: 0 none, 1 odd, 2 even, 3 mark, 4 space. Stop bits: 0 one, 2 two.
    // Returns false only when that reopen failed (the port is then closed).
    bool SetParams(uint32_t baudRate, uint8_t byteSize, uint8_t stopBits, uint8_t parity);

    // Queues a whole frame for sending and wakes the thread; false (nothing queued) when
    // the transmit ring cannot take all of it. With dropReceived, whatever was received
    // before is dropped in the same step (nothing that came earlier can be the reply) and
    // its count goes to *dropped.
    bool Transmit(const uint8_t *bytes, size_t n, bool dropReceived = false, size_t *dropped = nullptr);

    // Framing interface of the connection: received bytes stay in the port until the
    // connection has found its frame among them.
    size_t RxCount() const;
    // Copies up to n received bytes, oldest first, without taking them.
    size_t PeekReceived(uint8_t *buf, size_t n) const;
    // Takes up to n received bytes out, oldest first.
    size_t TakeReceived(uint8_t *buf, size_t n);
    // Drops up to n received bytes from the front (all with SIZE_MAX); returns how many.
    size_t DropReceived(size_t n);
    // Tick of the last received byte (or of the open).
    uint32_t LastRxTick() const;
    // The same moment in microseconds (GetTickCountUs), for the frame gap.
    uint64_t LastRxUs() const;
    // Room left in the transmit ring.
    size_t TxFree() const;

    // Whether the adapter has been seen sending our own bytes back (local echo); set by
    // the connection once it has proven it, forgotten when a port is opened.
    bool Echoes() const { return echoes_.load(); }
    void SetEchoes(bool echoes) { echoes_.store(echoes); }

    // RTS high while sending, for adapters without automatic direction: the kernel's
    // RS-485 mode where the driver has it, else RTS raised before each frame and dropped
    // once its last byte has left. Takes effect at the next Open; the driver's mode is put
    // back as it was at Close, since it outlives the descriptor.
    void SetRtsDirection(bool on) { rtsDirection_.store(on); }
    bool RtsDirection() const { return rtsDirection_.load(); }
    // True when the open port toggles RTS itself around frames (the driver has no RS-485 mode).
    bool TogglesRts() const { return toggleRts_.load(); }
    // True when the open port runs in the driver's RS-485 mode, switched on by this port.
    bool InDriverRs485Mode() const { return rs485Set_.load(); }
    // Whether received bytes still wait in the system's queue, not yet moved to RxRing
    // (the transfer thread was held up): a frame is not over while they do.
    bool InputWaiting() const;
    // Tells the thread that bytes were put into TxRing directly.
    void Wake();

    // A descriptor (eventfd) that becomes readable when the connection has something to do
    // on the line: bytes were received, or the line has been quiet for one of the quiet
    // marks since the last byte came in. Wait on it instead of polling the rings; read it
    // (or call TakeReady) to reset it. -1 when it could not be created.
    int ReadyFd() const { return readyFd_; }
    // Resets ReadyFd; true when it had been signalled.
    bool TakeReady();
    // Received bytes signal ReadyFd only once RxRing holds at least this many (1 by default):
    // a connection that knows how long the frame it waits for is wakes once, not per byte.
    // The quiet marks signal whatever the count. Under Lock, or takes it.
    void SetReadyCount(uint16_t count);
    // Times of silence after the last received byte at which ReadyFd is signalled (the end
    // of a frame on the line, the end-of-reply silence). Up to 4, in microseconds. The first
    // is always signalled, later ones only while received bytes wait in RxRing.
    void SetQuietMarks(std::initializer_list<uint32_t> marksUs);

    // Replaces the thread's byte mover (tests); takes effect at the next pass.
    void SetTransport(const SerialTransport &transport);

    int Handle() const { return handle_.load(); }  // descriptor of the open port, 0 when closed
    // The path the open port was opened by, empty when closed.
    std::string PortPath() const;
    uint32_t BaudRate() const { return baudRate_; }
    uint8_t ByteSize() const { return byteSize_; }
    uint8_t Parity() const { return parity_; }
    uint8_t StopBits() const { return stopBits_; }

private:
    friend struct SerialPortProbe;  // tests look at the rings as the thread left them

    // Guards both rings, lastRxTick_ and the transport; re-entrant.
    mutable CCritSection Lock;
    ByteRing RxRing;           // received, not yet taken by the connection
    ByteRing TxRing;           // queued for sending
    uint32_t lastRxTick_ = 0;  // tick of the last received bytes, or of the open
    uint64_t lastRxUs_ = 0;    // the same moment in microseconds (GetTickCountUs)
    std::atomic<bool> echoes_{false};
    std::atomic<bool> rtsDirection_{false};
    std::atomic<bool> toggleRts_{false};  // the fallback: RTS set by hand around frames
    bool rtsHigh_ = false;                // under Lock
    std::atomic<bool> rs485Set_{false};   // the driver's RS-485 mode was switched on at Open
    uint32_t rs485Before_ = 0;            // its flags before, put back at Close
    // Puts the line into the wanted direction mode after an open; under no lock.
    void SetUpDirection(int fd);

    void ThreadMain();
    // Steps 3 to 5 of a pass, under Lock. Returns whether anything moved; blocked is set
    // when bytes wait to be sent but the port took none.
    bool TransferPass(int fd, bool &blocked);

    std::atomic<int> handle_{0};
    mutable std::mutex pathGuard_;
    std::string path_;  // of the open port; empty when closed
    uint32_t baudRate_ = 9600;
    uint8_t byteSize_ = 8;
    uint8_t parity_ = 0;
    uint8_t stopBits_ = 0;

    SerialTransport transport_;
    mutable std::mutex errorGuard_;
    std::string lastError_;
    // Held by the thread while it waits on the descriptor outside Lock, and by Open/Close
    // while they change it, so the thread never waits on a closed or reused descriptor.
    std::mutex fdGuard_;
    int wakeFd_ = -1;   // eventfd that cuts the thread's wait short
    int readyFd_ = -1;  // eventfd the thread signals for the connection
    void SignalReady();
    // Microseconds until the next quiet mark after the last received byte is due, -1 when
    // none is left; signals the marks already passed. Under Lock.
    int64_t NextQuietMark();
    std::array<uint32_t, 4> quietMarks_{};
    size_t quietMarkCount_ = 0;
    size_t quietMarksSignalled_ = 0;  // marks already signalled since the last byte
    uint16_t readyCount_ = 1;
    std::atomic<int> closing_{0};  // Close is waiting for fdGuard_: the thread must not wait again
    std::atomic<bool> Running{false};
    std::thread ReaderThread;
};
