#include "device/ModbusShell.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/MicroClock.h"
#include "core/Notify.h"
#include "device/ValueCodec.h"
#include "device/WriteJournal.h"

int32_t ConsecutiveTimeouts = 0;

const char16_t kConversionErrorText[] = u"Input data or format is incorrect. Sorry, I can't understand them.";

namespace {

bool IsRegisterArea(uint32_t area)
{
    return area == MbHoldingRegisters || area == MbInputRegisters;
}

// The variable's value from its own n register bytes; false (value kept) when they do not
// carry its type.
bool DecodeRegisters(const uint8_t *data, int n, ModbusAction *variable)
{
    MString value;
    if (!DecodeValue(data, n, variable->Type, value))
        return false;
    variable->Value = value;
    variable->RawCount = static_cast<uint8_t>(std::min<int>(n, sizeof variable->Raw));
    std::memcpy(variable->Raw, data, variable->RawCount);
    return true;
}

// False when the reply carries no value of the variable's type.
bool DecodeRead(MicroModbus *engine, ModbusAction *variable)
{
    const uint8_t *data = nullptr;
    const int n = engine->ParseReadResponse(&data);
    if (n <= 0 || data == nullptr)
        return false;
    if (IsRegisterArea(variable->Area))
        return DecodeRegisters(data, n, variable);
    // Bit areas: the first data byte in decimal without leading zeros (0 reads as empty).
    MString digits = MString::FromInt(data[0]);
    uint32_t skip = 0;
    while (skip < digits.Length() && digits.View()[skip] == u'0')
        ++skip;
    variable->Value = digits.Mid(skip, digits.Length() - skip);
    return true;
}

}  // namespace

ModbusShell::ModbusShell() : Engine(0, 5)
{
    Engine.SetTxBuffer(TxFrame, kFrameSize, kFraming);
    UpdateQuietMarks();
    TaskManager.Register(this, 0, 5);
}

ModbusShell::~ModbusShell()
{
    JournalLostWrites(true);
    Actions.Clear();
    // The port (its thread) and the engine go with the members; the base class
    // unregisters the shell.
}

void ModbusShell::Run()
{
    if (PollingEnabled)
        Poll();
}

void ModbusShell::UpdateQuietMarks()
{
    // Wake the connection when a frame may have ended and when the silence has.
    markedBaud_ = Port.BaudRate();
    Port.SetQuietMarks({FrameGapUs(), (kSilenceMs + 1) * 1000});
}

void ModbusShell::Poll()
{
    if (Actions.Count() == 0 || !Port.IsOpen())
        return;
    if (Port.BaudRate() != markedBaud_)
        UpdateQuietMarks();
    const uint32_t now = GetTickCount32();
    ReceiveStep();
    if (Engine.PendingCount() != 0)
        return;  // one request on the wire at a time
    SendStep(now);
}

void ModbusShell::ReceiveStep()
{
    CAutoLock guard(Port.Lock);
    const uint16_t count = Port.RxRing.Count();
    if (count == 0)
        return;
    // A reply is complete when it holds as many bytes as its first ones announce and its
    // CRC is right; anything else ends only when the line has been silent for a while.
    if (TickDiff(GetTickCount32(), Port.LastRxTick) <= static_cast<int32_t>(kSilenceMs) &&
        !(Engine.PendingCount() != 0 && HoldsCompleteReply(count)))
        return;
    // Silence in the ring only: the line may have gone on while the thread was held up.
    if (Port.InputWaiting())
        return;
    const uint16_t n = static_cast<uint16_t>(Port.RxRing.Take(RxFrame, kFrameSize));
    const bool pending = Engine.PendingCount() != 0;
    const int result = Engine.ProcessFrame(RxFrame, n, kFraming);
    // A bad frame, or more than one: what is left cannot be framed, so start afresh.
    if (Engine.AcceptedLength() != n)
        Port.RxRing.Clear();
    if (!pending) {
        Stats.LateBytesDropped += n;
        return;
    }
    // A damaged frame while a request waits was its reply (or ran into it): that
    // exchange has failed, and saying so beats waiting for a timeout.
    if (result == 0)
        Engine.AbandonPending(MbReplyBad);
}

bool ModbusShell::HoldsCompleteReply(uint16_t count)
{
    if (count < kShortestReply)
        return false;
    // The ring holds `count` bytes under the port's lock: one look takes all a reply can be.
    uint8_t frame[kFrameSize];
    const size_t held = Port.RxRing.Peek(frame, std::min<size_t>(count, kFrameSize));
    if (held < kShortestReply)
        return false;
    const MbFrameRules &rules = MbRules(kFraming);
    const uint32_t expected = rules.ReplyLength(frame, static_cast<uint16_t>(held));
    // Wake again when the whole reply can be in, not at every byte on the way.
    if (expected > count && expected <= kFrameSize)
        Port.SetReadyCount(static_cast<uint16_t>(expected));
    if (expected == 0 || expected != count || expected > held)
        return false;
    return rules.Accept(frame, static_cast<uint16_t>(expected)) == expected;
}

uint32_t ModbusShell::FrameGapUs() const
{
    const uint32_t baud = Port.BaudRate() != 0 ? Port.BaudRate() : 9600;
    // Above 19200 baud a fixed 1.75 ms, as timers of real devices cannot go finer.
    if (baud > 19200)
        return 1750;
    // 3.5 characters of 10 bits, rounded up.
    return static_cast<uint32_t>((35000000ull + baud - 1) / baud);
}

uint16_t ModbusShell::ExchangeTimeoutMs(const ModbusAction &variable, uint16_t registers) const
{
    const uint32_t baud = Port.BaudRate() != 0 ? Port.BaudRate() : 9600;
    // Characters on the line: a read's 8-byte request and 5 + 2n byte reply; a write's
    // request of up to 9 + 2n bytes and its 8-byte echo.
    const uint32_t chars = registers != 0 ? 13u + 2u * registers : 17u + 2u * variable.RegCount;
    const uint32_t lineMs = (chars * 10000u + baud - 1) / baud;
    // The reply time plus the silence that ends the reply, so that a reply which began in
    // time is not expired while its end is being recognised. The reply time covers the
    // frames of one variable at 9600 baud; what longer frames or slower rates take on the
    // line comes on top (a block of 32 registers alone takes 0.6 s at 1200 baud).
    const uint32_t ms = variable.TimeoutMs + kSilenceMs + (lineMs > kLineAllowanceMs ? lineMs - kLineAllowanceMs : 0);
    return static_cast<uint16_t>(ms > 0xFFFF ? 0xFFFF : ms);
}

void ModbusShell::NoteFailure()
{
    quietPending_ = true;
    failedAt_ = GetTickCount32();
}

void ModbusShell::SendStep(uint32_t now)
{
    if (sending_)
        return;  // a message box of a failed encoding may run the window's loop meanwhile
    if (quietPending_) {
        CAutoLock guard(Port.Lock);
        // Quiet since the failure and since the last byte that came in, whichever is later.
        const uint32_t since = TickDiff(Port.LastRxTick, failedAt_) > 0 ? Port.LastRxTick : failedAt_;
        if (TickDiff(now, since) < static_cast<int32_t>(kQuietAfterFailureMs))
            return;
        quietPending_ = false;
    }
    JournalLostWrites(false);
    {
        // A frame on the line ends with 3.5 characters of silence: the device is not
        // ready for the next request before that.
        CAutoLock guard(Port.Lock);
        if (static_cast<int64_t>(GetTickCountUs() - Port.LastRxUs) < static_cast<int64_t>(FrameGapUs()))
            return;
    }
    sending_ = true;
    const int count = Actions.Count();
    // A write goes out at the line's next free turn: the operator waits for it, and the
    // reads' period is no reason to hold it.
    bool sent = false;
    for (int i = 0; i < count && !sent; ++i) {
        ModbusAction *variable = Actions.At(i);
        if (variable != nullptr && variable->WritePending && variable->State == mbsRequested) {
            PollCursor = i;
            BuildRequest(variable, now);
            sent = true;
        }
    }
    for (int i = 0; i < count && !sent; ++i) {
        PollCursor = (PollCursor < 0 || PollCursor + 1 >= count) ? 0 : PollCursor + 1;
        ModbusAction *variable = Actions.At(PollCursor);
        if (DueForRead(variable, now)) {
            BuildRequest(variable, now);
            sent = true;
        }
    }
    sending_ = false;
}

bool ModbusShell::DueForRead(const ModbusAction *variable, uint32_t now) const
{
    if (variable == nullptr || variable->State != mbsRequested || variable->WritePending)
        return false;
    return variable->PeriodMs < 0 || static_cast<uint32_t>(variable->PeriodMs) < now - variable->LastPoll;
}

bool ModbusShell::Transmit()
{
    if (Engine.TxLength() == 0)
        return false;
    CAutoLock guard(Port.Lock);
    // Half a frame on the wire would corrupt the exchange; when the ring cannot
    // take the whole frame, the pending request simply times out.
    // Nothing that came while no request was pending can be its reply.
    Stats.LateBytesDropped += Port.RxRing.Count();
    Port.RxRing.Clear();
    Port.SetReadyCount(kShortestReply);  // an exception reply; its head tells the rest
    if (!Port.Transmit(TxFrame, Engine.TxLength()))
        return false;
    ++Stats.Requests;
    return true;
}

bool ModbusShell::BuildRequest(ModbusAction *variable, uint32_t now)
{
    if (variable->WritePending) {
        const bool built = EncodeWrite(variable) && Transmit();
        if (built)
            variable->State = mbsSent;
        variable->LastPoll = now;  // also after a failed build: tried again after PeriodMs
        return built;
    }
    // The variables due next to it in the register map go with it: same unit and area, no
    // register between them, the whole within MaxReadRegisters. Variables the device would
    // not read in a block are read alone.
    const uint32_t cap = std::clamp<uint32_t>(MaxReadRegisters, 1, kMaxReadLimit);
    auto joins = [&](const ModbusAction *v) {
        return v != nullptr && !v->ReadAlone && !v->ReadAloneNext && IsRegisterArea(v->Area) && v->RegCount > 0 &&
               v->Area == variable->Area && v->SlaveAddress == variable->SlaveAddress && DueForRead(v, now);
    };
    int first = PollCursor;
    int last = PollCursor;
    uint32_t registers = variable->RegCount;
    if (cap > 1 && joins(variable)) {
        for (ModbusAction *next = Actions.At(last + 1);
             joins(next) && next->RegAddress == Actions.At(last)->RegAddress + Actions.At(last)->RegCount &&
             registers + next->RegCount <= cap;
             next = Actions.At(last + 1)) {
            registers += next->RegCount;
            ++last;
        }
        for (ModbusAction *previous = first > 0 ? Actions.At(first - 1) : nullptr;
             joins(previous) && previous->RegAddress + previous->RegCount == Actions.At(first)->RegAddress &&
             registers + previous->RegCount <= cap;
             previous = first > 0 ? Actions.At(first - 1) : nullptr) {
            registers += previous->RegCount;
            --first;
        }
    }
    bool built;
    if (first == last) {
        built = Engine.BuildReadRequest(variable->Area, variable->SlaveAddress, variable->RegAddress,
                                        variable->RegCount, ExchangeTimeoutMs(*variable, variable->RegCount),
                                        &ModbusShell::OnReply, variable, 0);
    } else {
        const ModbusAction *head = Actions.At(first);
        block_ = {first, last - first + 1, head->RegAddress};
        built = Engine.BuildReadRequest(
            variable->Area, variable->SlaveAddress, head->RegAddress, static_cast<uint16_t>(registers),
            ExchangeTimeoutMs(*variable, static_cast<uint16_t>(registers)), &ModbusShell::OnBlockReply, this, 0);
    }
    const bool sent = built && Transmit();
    for (int i = first; i <= last; ++i) {
        ModbusAction *v = Actions.At(i);
        if (sent)
            v->State = mbsSent;
        v->LastPoll = now;  // also after a failed build: tried again after PeriodMs
    }
    PollCursor = last;
    return sent;
}

ModbusAction *ModbusShell::FindVariable(const MString &name)
{
    for (int i = 0;; ++i) {
        ModbusAction *variable = Actions.At(i);
        if (variable == nullptr)
            return nullptr;
        if (variable->Name.Equals(name))
            return variable;
    }
}

ModbusAction *ModbusShell::NewVariable()
{
    Engine.Reset();
    block_ = {};
    JournalLostWrites(false);
    ModbusAction *variable = Actions.Add();
    if (variable != nullptr)
        variable->Owner = this;
    return variable;
}

void ModbusShell::ClearVariables()
{
    Engine.Reset();
    block_ = {};
    JournalLostWrites(true);
    Actions.Clear();
    PollCursor = -1;
}

bool ModbusShell::RequestWrite(ModbusAction *variable, const MString &text, WriteCheck *refusal)
{
    if (variable == nullptr)
        return false;
    WriteCheck check = CheckWrite(*variable, text);
    if (!check.Ok()) {
        JournalRefusal(*variable, text, check);
        if (refusal != nullptr)
            *refusal = std::move(check);
        return false;
    }
    // A write not yet sent is replaced: only the newer text goes out.
    FinishJournalled(variable, false, "lost: replaced by a later write before it was sent");
    journalled_.push_back(
        {variable, CurrentWriteOrigin(), variable->Value.ToUtf8(), WrittenText(check, text).ToUtf8(), false});
    variable->Value = WrittenText(check, text);
    variable->RawCount = 0;
    variable->WritePending = true;
    variable->State = mbsRequested;
    // The line's next free turn may be now: no need to wait for the shell's next turn.
    if (PollingEnabled && Engine.PendingCount() == 0 && Port.IsOpen())
        SendStep(GetTickCount32());
    return true;
}

void ModbusShell::JournalRefusal(const ModbusAction &variable, const MString &text, const WriteCheck &check)
{
    JournalWrite(CurrentWriteOrigin(), variable.Name.ToUtf8(), variable.Value.ToUtf8(), text.ToUtf8(),
                 "refused by the gate: " + DescribeRefusal(check));
}

void ModbusShell::JournalUnsent(const ModbusAction &variable, const MString &text, const std::string &outcome)
{
    JournalWrite(CurrentWriteOrigin(), variable.Name.ToUtf8(), variable.Value.ToUtf8(), text.ToUtf8(), outcome);
}

ModbusShell::JournalledWrite *ModbusShell::FindJournalled(const ModbusAction *variable, bool sent)
{
    for (JournalledWrite &w : journalled_)
        if (w.Variable == variable && w.Sent == sent)
            return &w;
    return nullptr;
}

void ModbusShell::FinishJournalled(const ModbusAction *variable, bool sent, const std::string &outcome)
{
    for (auto it = journalled_.begin(); it != journalled_.end(); ++it) {
        if (it->Variable != variable || it->Sent != sent)
            continue;
        // Out of the list first: the journal's failure report may run the window's loop.
        const JournalledWrite w = std::move(*it);
        journalled_.erase(it);
        JournalWrite(w.Origin, w.Variable->Name.ToUtf8(), w.OldValue, w.NewValue, outcome);
        return;
    }
}

void ModbusShell::JournalReply(const ModbusAction *variable, int status, uint8_t function)
{
    if (FindJournalled(variable, true) == nullptr)
        return;
    switch (status) {
    case MbReplyNormal:
        if (function > 4)
            FinishJournalled(variable, true, "done");
        return;
    case MbReplyException:
        FinishJournalled(variable, true, "device refused (exception reply)");
        return;
    case MbReplyTimeout:
        FinishJournalled(variable, true, "timed out");
        return;
    case MbReplyBad:
        FinishJournalled(variable, true, "bad reply");
        return;
    default:
        return;
    }
}

void ModbusShell::JournalLostWrites(bool all)
{
    // Only when nothing is pending: a sent write whose reply is still due is not lost.
    const bool dropped = all || Engine.PendingCount() == 0;
    while (true) {
        const JournalledWrite *lost = nullptr;
        for (const JournalledWrite &w : journalled_) {
            if ((w.Sent && dropped) || (!w.Sent && (all || !w.Variable->WritePending))) {
                lost = &w;
                break;
            }
        }
        if (lost == nullptr)
            return;
        const bool sent = lost->Sent;
        const ModbusAction *variable = lost->Variable;
        FinishJournalled(
            variable, sent,
            sent ? "lost: no reply came (the exchange was dropped)"
                 : (all ? "lost: not sent before the connection ended" : "lost: taken back before it was sent"));
    }
}

bool ModbusShell::EncodeWrite(ModbusAction *variable)
{
    uint8_t bytes[kEncodeBufferSize];
    const int count = EncodeValue(MString(variable->Value), variable->Type, bytes, sizeof bytes);
    if (count < 0) {
        FinishJournalled(variable, false, "not sent: the value cannot be encoded");
        ShowMessageBox(kConversionErrorText);
        variable->State = mbsDone;
        return false;  // the write flag stays: the next request repeats the message
    }
    variable->WritePending = false;
    variable->State = mbsRequested;
    if (JournalledWrite *w = FindJournalled(variable, false))
        w->Sent = true;
    return Engine.BuildWriteRequest(bytes, static_cast<uint16_t>(count), variable->Area, variable->SlaveAddress,
                                    variable->RegAddress, ExchangeTimeoutMs(*variable, 0), &ModbusShell::OnReply,
                                    variable, 0);
}

void ModbusShell::OnReply(MicroModbus *engine, void *context, int status, uint16_t, uint8_t, uint8_t function, uint32_t)
{
    auto *variable = static_cast<ModbusAction *>(context);
    if (variable == nullptr)
        return;
    ModbusShell *shell = variable->Owner;
    LinkStats ignored;
    LinkStats &stats = shell != nullptr ? shell->Stats : ignored;
    if (shell != nullptr)
        shell->JournalReply(variable, status, function);
    switch (status) {
    case MbReplyNormal:
        if (function > 4) {
            ConsecutiveTimeouts = 0;
            ++stats.GoodReplies;
            // A write acknowledged: Value keeps the written text. A newer write asked for
            // meanwhile must still go out, not wait for the next read of the variable.
            variable->State = variable->WritePending ? mbsRequested : mbsDone;
            if (shell != nullptr && variable->State == mbsDone)
                shell->Ended(*variable);
            return;
        }
        if (variable->WritePending) {
            // A write was asked for while this read was on its way: the read's value is
            // stale and the write must still go out.
            ConsecutiveTimeouts = 0;
            ++stats.GoodReplies;
            variable->State = mbsRequested;
            return;
        }
        if (DecodeRead(engine, variable)) {
            // A read alone after a failed block: a second failure of blocks while single
            // reads are answered keeps the variable out of blocks from now on.
            if (variable->ReadAloneNext) {
                variable->ReadAloneNext = false;
                variable->ReadAlone = variable->ReadAlone || variable->BlockMisses >= 2;
            }
            ConsecutiveTimeouts = 0;
            ++stats.GoodReplies;
            variable->State = mbsDone;
            if (shell != nullptr)
                shell->Ended(*variable);
            return;
        }
        ++stats.BadReplies;
        variable->State = mbsBadReply;
        break;
    case MbReplyException:
        ++stats.Exceptions;
        variable->State = mbsException;
        if (shell != nullptr)
            shell->Ended(*variable);
        return;
    case MbReplyTimeout:
        ++stats.Timeouts;
        variable->State = mbsTimedOut;
        break;
    case MbReplyBad:
        ++stats.BadReplies;
        variable->State = mbsBadReply;
        break;
    default:
        return;
    }
    // A failed exchange: let the line fall quiet before the next request, and count it
    // toward the lost connection.
    if (shell != nullptr) {
        shell->NoteFailure();
        shell->Ended(*variable);
    }
    if (++ConsecutiveTimeouts > kMaxConsecutiveTimeouts && shell != nullptr && shell->ConnectionLost)
        shell->ConnectionLost();
}

void ModbusShell::OnBlockReply(MicroModbus *engine, void *context, int status, uint16_t, uint8_t, uint8_t, uint32_t)
{
    auto *shell = static_cast<ModbusShell *>(context);
    if (shell == nullptr)
        return;
    const uint8_t *data = nullptr;
    int n = 0;
    uint8_t code = 0;
    if (status == MbReplyNormal)
        n = engine->ParseReadResponse(&data);
    else if (status == MbReplyException && engine->RxDataLength() >= 1)
        code = engine->RxData()[0];
    shell->FinishBlock(status, data, n, code);
}

void ModbusShell::FinishBlock(int status, const uint8_t *data, int n, uint8_t exceptionCode)
{
    const BlockRead block = block_;
    block_ = {};
    if (block.First < 0)
        return;
    const uint32_t now = GetTickCount32();
    auto each = [&](auto &&step) {
        for (int i = block.First; i < block.First + block.Count; ++i)
            if (ModbusAction *v = Actions.At(i))
                step(*v);
    };
    // Asked for again at once, to be read alone: the block's failure is no failure of the
    // variable, and never leaves it with a value that is not its own.
    auto again = [this, now, &block](ModbusAction &v) {
        v.State = mbsRequested;
        v.LastPoll = now - static_cast<uint32_t>(std::max<int32_t>(v.PeriodMs, 0)) - 1;
        // Their single reads come next: those waiting for them learn soon whether the
        // device answers at all, instead of after every other block has been tried.
        PollCursor = block.First - 1;
    };
    switch (status) {
    case MbReplyNormal:
        ConsecutiveTimeouts = 0;
        ++Stats.GoodReplies;
        each([&](ModbusAction &v) {
            v.BlockMisses = 0;
            if (v.WritePending) {
                // Asked to write meanwhile: this value is stale and the write must go out.
                v.State = mbsRequested;
                return;
            }
            const int offset = 2 * (v.RegAddress - block.Address);
            const int bytes = 2 * v.RegCount;
            const bool decoded = data != nullptr && offset + bytes <= n && DecodeRegisters(data + offset, bytes, &v);
            v.State = decoded ? mbsDone : mbsBadReply;
            Ended(v);
        });
        return;
    case MbReplyException:
        ++Stats.Exceptions;
        // An illegal address or quantity: this firmware does not read these registers as
        // one block. Any other refusal may belong to one of the variables: reading them
        // alone tells which.
        each([&](ModbusAction &v) {
            if (exceptionCode == MbIllegalDataAddress || exceptionCode == MbIllegalDataValue) {
                v.ReadAlone = true;
            } else {
                v.ReadAloneNext = true;
                v.BlockMisses = static_cast<uint8_t>(std::min(v.BlockMisses + 1, 255));
            }
            again(v);
        });
        return;  // the device answered: the line is fine
    case MbReplyTimeout:
        ++Stats.Timeouts;
        break;
    case MbReplyBad:
        ++Stats.BadReplies;
        break;
    default:
        return;
    }
    each([&](ModbusAction &v) {
        v.ReadAloneNext = true;
        v.BlockMisses = static_cast<uint8_t>(std::min(v.BlockMisses + 1, 255));
        again(v);
    });
    NoteFailure();
    if (++ConsecutiveTimeouts > kMaxConsecutiveTimeouts && ConnectionLost)
        ConnectionLost();
}
