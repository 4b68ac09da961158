// ModbusShell: the table of named device variables kept in step with the device.
// A scheduler task that takes received frames out of the serial port, lets the engine
// dispatch them, and sends at most one request per turn: a write asked for first, else a
// read of the next variable asked for together with its neighbours in the register map
// that are asked for too (one block read, each variable handed its own registers).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/MicroModbus.h"
#include "core/MicroTask.h"
#include "device/BlockReads.h"
#include "device/ModbusAction.h"
#include "device/WriteGate.h"
#include "port/SerialPort.h"

// Failed exchanges (no reply, or a damaged or unfitting one) since the last normal
// reply, process-wide; only a normal reply resets it. More than kMaxConsecutiveTimeouts drop the connection.
extern int32_t ConsecutiveTimeouts;
constexpr int32_t kMaxConsecutiveTimeouts = 10;

// Shown when a value text cannot be turned into register data.
extern const char16_t kConversionErrorText[];

class ModbusShell : public MicroTaskBase {
public:
    static constexpr uint32_t kFrameSize = 1024;
    static constexpr uint32_t kSilenceMs = 20;  // end of a reply: this much line silence
    static constexpr uint32_t kEncodeBufferSize = 64;
    static constexpr uint32_t kFraming = MbRtu;
    static constexpr uint16_t kShortestReply = MbRules(kFraming).ShortestReply();  // an exception reply
    // A reply whose head announces more bytes than have come is waited for this long
    // after its last byte: USB adapters deliver a frame in bursts with pauses between.
    static constexpr uint32_t kBurstSilenceMs = 100;
    // After a timeout (or a reply cut short), the next request waits until the line has
    // been quiet this long: a reply the device sends late is drained then instead of
    // being taken as the answer to the next request.
    static constexpr uint32_t kQuietAfterFailureMs = 300;
    // Registers one read request may span: 32 unless told (1 reads every variable alone);
    // the protocol allows at most 125.
    static constexpr uint16_t kDefaultMaxRead = 32;
    static constexpr uint16_t kMaxReadLimit = 125;
    // Line time of an exchange that a variable's reply time already covers.
    static constexpr uint32_t kLineAllowanceMs = 40;
    // How long after its timeout a reply is still looked for as late: meanwhile a read
    // whose reply would have the same length asks for more registers, so that the late
    // reply cannot pass for its answer.
    static constexpr uint32_t kLateReplyWindowMs = 2500;

    ModbusShell();
    virtual ~ModbusShell();
    ModbusShell(const ModbusShell &) = delete;
    ModbusShell &operator=(const ModbusShell &) = delete;

    void Run() override;  // task turn: Poll while polling is enabled
    void Poll();          // never blocks

    // Ends the exchange on the line without its reply, for a port closed under it: the
    // variables it was for fail as unanswered and are reported ended once, so that a waiter
    // wakes at once instead of at its bound. Counts nothing: no request timed out.
    void DropExchange();

    ModbusAction *FindVariable(const MString &name);
    ModbusAction *NewVariable();
    void ClearVariables();

    // Sets the text to write and leaves the rest to Poll, when the write gate lets the
    // text through; otherwise leaves the variable alone, puts the reason in *refusal
    // (when given) and returns false.
    bool RequestWrite(ModbusAction *variable, const MString &text, WriteCheck *refusal = nullptr);
    // Journals a write the gate refused where a caller checked before asking for it.
    static void JournalRefusal(const ModbusAction &variable, const MString &text, const WriteCheck &check);
    // Journals a write that was given up before it could be asked for.
    static void JournalUnsent(const ModbusAction &variable, const MString &text, const std::string &outcome);
    // Turns the variable's text into register data and builds the write request. A text
    // that cannot be represented (a number beyond the float or double range, an ASCII text
    // over 62 characters, more than 64 hex pairs) shows kConversionErrorText, leaves the
    // variable done with its write flag set, and returns false. Numbers parse leniently:
    // a text without digits writes 0.
    bool EncodeWrite(ModbusAction *variable);

    // The engine's reply callback; the context is the variable. A variable is done only
    // when its value was decoded (or its write acknowledged); a read reply that does not
    // carry its type leaves the previous text and the state mbsBadReply.
    static void OnReply(MicroModbus *engine, void *context, int status, uint16_t transactionId, uint8_t unit,
                        uint8_t function, uint32_t deadline);

    // Called when more than kMaxConsecutiveTimeouts exchanges in a row timed out. The
    // application installs it; cActionManager installs a default that drops the link.
    std::function<void()> ConnectionLost;
    // Called when a variable's exchange has ended (done, refused, damaged reply, no reply),
    // so that a caller waiting for it need not watch its state.
    std::function<void(ModbusAction &)> ExchangeEnded;

    int32_t PollCursor = -1;
    uint16_t MaxReadRegisters = kDefaultMaxRead;  // 1..kMaxReadLimit
    uint8_t TxFrame[kFrameSize] = {};
    uint8_t RxFrame[kFrameSize] = {};
    MicroModbus Engine;
    CSerialPort Port;
    TMbActions Actions;
    bool PollingEnabled = false;

    // What the link has done since the counters were last cleared.
    struct LinkStats {
        uint64_t Requests = 0;          // requests put on the line
        uint64_t GoodReplies = 0;       // normal replies that fitted their request
        uint64_t Timeouts = 0;          // no reply in time
        uint64_t BadReplies = 0;        // damaged (CRC) or of the wrong shape
        uint64_t Exceptions = 0;        // the device refused (exception reply)
        uint64_t LateBytesDropped = 0;  // bytes that came while no request waited, late replies
        uint64_t NoiseBytes = 0;        // bytes before a reply that were no frame of ours
        uint64_t Reconnections = 0;     // connections after the first
    } Stats;

    // The silence after a frame before the next request may go out: 3.5 characters at the
    // port's rate, at least 1750 us above 19200 baud. FrameGapMs rounds it up.
    uint32_t FrameGapUs() const;
    uint32_t FrameGapMs() const { return (FrameGapUs() + 999) / 1000; }
    // The engine's deadline for an exchange of the variable's timeout reading `registers`
    // registers (0: a write): the reply time, the silence that ends the reply, and, at slow
    // rates, the time both frames take on the line.
    uint16_t ExchangeTimeoutMs(const ModbusAction &variable, uint16_t registers) const;

    // True while the next request waits for the line to fall quiet after a failure.
    bool WaitingForQuiet() const { return quietPending_; }
    // Another port was opened: a reply late on the one before cannot come on it.
    void EndQuietWait() { quietPending_ = false; }

    // The reply callback of a block read; the context is the shell.
    static void OnBlockReply(MicroModbus *engine, void *context, int status, uint16_t transactionId, uint8_t unit,
                             uint8_t function, uint32_t deadline);
    // Registers a read of the variable asks for: its own count, or more while a late
    // reply of that length may still come.
    uint16_t ReadQuantity(const ModbusAction *variable) const;

private:
    // Where a reply stands among the received bytes.
    struct ReplyScan {
        size_t FrameAt = 0, FrameLength = 0;  // the reply, when Found
        bool Found = false;
        size_t WaitFor = 0;     // bytes the first head of ours announces but that have not come (0: none)
        bool Damaged = false;   // a head of ours, complete, whose CRC is wrong
        size_t EchoLength = 0;  // our own request at the front, to be skipped
        size_t LateBytes = 0;   // frames of ours with the length of an earlier request
    };
    ReplyScan ScanForReply(const uint8_t *bytes, size_t held);
    void ReceiveStep();
    void DropStrayBytes();
    void SendStep(uint32_t now);
    // The request for the variable at PollCursor (a write, or a read with its due
    // neighbours); false when nothing could be built.
    bool BuildRequest(ModbusAction *variable, uint32_t now);
    bool DueForRead(const ModbusAction *variable, uint32_t now) const;
    bool Transmit();
    void NoteFailure();
    void FinishBlock(int status, const uint8_t *data, int n, uint8_t exceptionCode);
    void UpdateQuietMarks();
    void Ended(ModbusAction &variable)
    {
        if (ExchangeEnded)
            ExchangeEnded(variable);
    }

    BlockReads blocks_{Actions};  // the block read on the line
    uint32_t markedBaud_ = 0;
    bool sending_ = false;
    // Queues the built request (whatever was received before is dropped as late).
    bool QueueRequest();
    void NoteTimeout();
    bool IsSuspect(uint8_t function, uint16_t length) const;
    bool RegisterMapped(uint32_t reg) const;
    void ClearSuspect(uint8_t function, uint16_t length);

    // Each write asked for, until its line is in the journal: who asked, the text before
    // and after, and whether its request went out.
    struct JournalledWrite {
        ModbusAction *Variable = nullptr;
        std::string Origin;
        std::string OldValue;
        std::string NewValue;
        bool Sent = false;
    };
    std::vector<JournalledWrite> journalled_;
    JournalledWrite *FindJournalled(const ModbusAction *variable, bool sent);
    void FinishJournalled(const ModbusAction *variable, bool sent, const std::string &outcome);
    void JournalReply(const ModbusAction *variable, int status, uint8_t function);
    // Ends the writes whose reply can no longer come (their exchange was dropped, or their
    // flag was taken back before they went out); with `all`, every write still open.
    void JournalLostWrites(bool all);

    bool quietPending_ = false;
    uint32_t failedAt_ = 0;

    // The request on the line: its bytes (an echoing adapter sends them back first), and
    // the unit, function and length of the reply it awaits.
    uint8_t request_[kFrameSize] = {};
    uint16_t requestLength_ = 0;
    uint8_t awaitUnit_ = 0;
    uint8_t awaitFunction_ = 0;
    uint16_t awaitLength_ = 0;
    bool echoChecked_ = false;  // the front of the received bytes was compared with the request

    // Replies of timed-out requests that may still come: their function and length.
    struct Suspect {
        uint8_t Function = 0;
        uint16_t Length = 0;
        uint32_t Since = 0;
    };
    std::array<Suspect, 4> suspects_{};
};
