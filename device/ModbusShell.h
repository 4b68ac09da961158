// ModbusShell: the table of named device variables kept in step with the device.
// A scheduler task that takes received frames out of the serial port, lets the engine
// dispatch them, and sends at most one request per turn: a write asked for first, else a
// read of the next variable asked for together with its neighbours in the register map
// that are asked for too (one block read, each variable handed its own registers).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/MicroModbus.h"
#include "core/MicroTask.h"
#include "core/ObjectFactory.h"
#include "device/ModbusAction.h"
#include "device/WriteGate.h"
#include "port/SerialPort.h"

using TMbActions = uObjectFactoryT<ModbusAction>;

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
    // After an exchange that failed (no reply, or one that did not fit), the next request
    // waits until the line has been quiet this long: a reply the device sends late is
    // drained then instead of being taken as the answer to the next request.
    static constexpr uint32_t kQuietAfterFailureMs = 300;
    // Registers one read request may span: 32 unless told (1 reads every variable alone);
    // the protocol allows at most 125.
    static constexpr uint16_t kDefaultMaxRead = 32;
    static constexpr uint16_t kMaxReadLimit = 125;
    // Line time of an exchange that a variable's reply time already covers.
    static constexpr uint32_t kLineAllowanceMs = 40;

    ModbusShell();
    virtual ~ModbusShell();
    ModbusShell(const ModbusShell &) = delete;
    ModbusShell &operator=(const ModbusShell &) = delete;

    void Run() override;  // task turn: Poll while polling is enabled
    void Poll();          // never blocks

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
        uint64_t LateBytesDropped = 0;  // bytes that came while no request waited
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

    // The reply callback of a block read; the context is the shell.
    static void OnBlockReply(MicroModbus *engine, void *context, int status, uint16_t transactionId, uint8_t unit,
                             uint8_t function, uint32_t deadline);

private:
    void ReceiveStep();
    bool HoldsCompleteReply(uint16_t count);
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

    // The block read on the line: table indexes [First, First + Count).
    struct BlockRead {
        int First = -1;
        int Count = 0;
        uint16_t Address = 0;
    } block_;
    uint32_t markedBaud_ = 0;
    bool sending_ = false;

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
};
