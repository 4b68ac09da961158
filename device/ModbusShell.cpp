#include "device/ModbusShell.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/MicroClock.h"
#include "core/Notify.h"
#include "device/BlockReads.h"
#include "device/ValueCodec.h"
#include "device/WriteJournal.h"

int32_t ConsecutiveTimeouts = 0;

const char16_t kConversionErrorText[] = u"Input data or format is incorrect. Sorry, I can't understand them.";

namespace {

// False when the reply carries no value of the variable's type.
bool DecodeRead(MicroModbus *engine, ModbusAction *variable)
{
    const uint8_t *data = nullptr;
    int n = engine->ParseReadResponse(&data);
    if (n <= 0 || data == nullptr)
        return false;
    // A read widened past a late reply's length carries registers that are not ours.
    if (IsRegisterArea(variable->Area))
        return DecodeRegisters(data, std::min(n, 2 * static_cast<int>(variable->RegCount)), variable);
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
    Port.SetQuietMarks({FrameGapUs(), (kSilenceMs + 1) * 1000, (kBurstSilenceMs + 1) * 1000});
}

void ModbusShell::Poll()
{
    if (Actions.Count() == 0)
        return;
    if (!Port.IsOpen()) {
        // The reply of a request still waited for can no longer come.
        if (Engine.PendingCount() != 0)
            DropExchange();
        return;
    }
    if (Port.BaudRate() != markedBaud_) {
        UpdateQuietMarks();
        // A reply late at the old rate cannot frame at the new one: no quiet wait for it.
        quietPending_ = false;
    }
    const uint32_t now = GetTickCount32();
    ReceiveStep();
    if (Engine.PendingCount() != 0)
        return;  // one request on the wire at a time
    SendStep(now);
}

ModbusShell::ReplyScan ModbusShell::ScanForReply(const uint8_t *bytes, size_t held)
{
    const MbFrameRules &rules = MbRules(kFraming);
    ReplyScan scan;
    size_t pos = 0;
    // An echoing adapter hands our request back before the reply. Only a read proves an
    // echo: a write's echo is byte for byte its acknowledgement.
    if (requestLength_ != 0 && held >= requestLength_ && std::memcmp(bytes, request_, requestLength_) == 0 &&
        (Port.Echoes() || (awaitFunction_ >= 1 && awaitFunction_ <= 4))) {
        scan.EchoLength = requestLength_;
        pos = requestLength_;
    }
    for (; pos + 2 <= held; ++pos) {
        const uint8_t *head = bytes + pos;
        const size_t left = held - pos;
        const bool ours = head[0] == awaitUnit_ && (head[1] & 0x7F) == awaitFunction_;
        const uint32_t length = rules.ReplyLength(head, static_cast<uint16_t>(std::min<size_t>(left, 0xFFFF)));
        if (length == 0 || length > kFrameSize) {
            if (ours && length == 0 && left < 3 && scan.WaitFor == 0)
                scan.WaitFor = pos + 3;  // the byte count is still to come
            continue;
        }
        if (length > left) {
            if (ours && scan.WaitFor == 0)
                scan.WaitFor = pos + length;
            continue;
        }
        if (rules.Accept(head, static_cast<uint16_t>(length)) != length) {
            scan.Damaged = scan.Damaged || ours;
            continue;
        }
        if (!ours) {
            pos += length - 1;  // another unit's frame, or another function: skipped whole
            continue;
        }
        // Of ours but of another length than awaited: the reply of an earlier request.
        if (!(head[1] & 0x80) && awaitLength_ != 0 && length != awaitLength_) {
            ClearSuspect(head[1], static_cast<uint16_t>(length));
            scan.LateBytes += length;
            pos += length - 1;
            continue;
        }
        scan.Found = true;
        scan.FrameAt = pos;
        scan.FrameLength = length;
        return scan;
    }
    return scan;
}

void ModbusShell::DropStrayBytes()
{
    // Nothing waits for them; they are looked at once the line has fallen silent, so
    // that a late reply still shows itself as one.
    uint8_t bytes[kFrameSize];
    const size_t held = Port.PeekReceived(bytes, kFrameSize);
    const MbFrameRules &rules = MbRules(kFraming);
    for (size_t pos = 0; pos + 2 <= held; ++pos) {
        const uint32_t length =
            rules.ReplyLength(bytes + pos, static_cast<uint16_t>(std::min<size_t>(held - pos, 0xFFFF)));
        if (length != 0 && length <= held - pos && rules.Accept(bytes + pos, static_cast<uint16_t>(length)) == length) {
            ClearSuspect(bytes[pos + 1], static_cast<uint16_t>(length));
            pos += length - 1;
        }
    }
    Stats.LateBytesDropped += Port.DropReceived(SIZE_MAX);
}

void ModbusShell::ReceiveStep()
{
    if (Port.RxCount() == 0)
        return;
    const int32_t quiet = TickDiff(GetTickCount32(), Port.LastRxTick());
    if (Engine.PendingCount() == 0) {
        if (quiet > static_cast<int32_t>(kSilenceMs) && !Port.InputWaiting())
            DropStrayBytes();
        return;
    }
    uint8_t bytes[kFrameSize];
    const size_t held = Port.PeekReceived(bytes, kFrameSize);
    const ReplyScan scan = ScanForReply(bytes, held);
    if (scan.EchoLength != 0 && !Port.Echoes())
        Port.SetEchoes(true);
    if (scan.Found) {
        // Bytes before the reply are noise (or our echo); bytes after it wait.
        Port.DropReceived(scan.FrameAt);
        Stats.NoiseBytes += scan.FrameAt - scan.EchoLength - scan.LateBytes;
        Stats.LateBytesDropped += scan.LateBytes;
        const uint16_t n = static_cast<uint16_t>(Port.TakeReceived(RxFrame, scan.FrameLength));
        requestLength_ = 0;  // the echo, if any, is behind us
        Port.SetReadyCount(kShortestReply);
        Engine.ProcessFrame(RxFrame, n, kFraming);
        return;
    }
    if (scan.WaitFor != 0) {
        // Wake again when the whole reply can be in, not at every byte on the way.
        if (scan.WaitFor <= kFrameSize)
            Port.SetReadyCount(static_cast<uint16_t>(scan.WaitFor));
        // A head of ours announced more: a USB adapter may pause inside the frame.
        if (quiet <= static_cast<int32_t>(kBurstSilenceMs) || Port.InputWaiting())
            return;
    } else if (quiet <= static_cast<int32_t>(kSilenceMs) || Port.InputWaiting()) {
        return;
    }
    // The line fell silent and no reply of ours is among the bytes: what is left cannot
    // be framed, so start afresh.
    const size_t dropped = Port.DropReceived(SIZE_MAX);
    Stats.LateBytesDropped += scan.LateBytes;
    if (scan.WaitFor != 0) {
        // A reply cut short: its rest may still be on its way, so the line must fall quiet.
        Engine.AbandonPending(MbReplyBad);
        NoteFailure();
    } else if (scan.Damaged) {
        // A damaged reply taken whole: that exchange has failed, and saying so beats
        // waiting for a timeout.
        Engine.AbandonPending(MbReplyBad);
    } else {
        // Noise alone: the reply may still come before the deadline.
        Stats.NoiseBytes += dropped - scan.EchoLength - scan.LateBytes;
    }
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

namespace {
uint16_t Be16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Length of the normal reply to an RTU request; 0 for a function of unknown shape.
uint16_t ReplyLengthOf(const uint8_t *request, uint16_t length)
{
    if (length < 8)
        return 0;
    const uint16_t quantity = Be16(request + 4);
    switch (request[1]) {
    case 1:
    case 2:
        return static_cast<uint16_t>(5 + (quantity + 7) / 8);
    case 3:
    case 4:
        return static_cast<uint16_t>(5 + 2 * quantity);
    case 5:
    case 6:
    case 15:
    case 16:
        return 8;
    default:
        return 0;
    }
}

uint8_t ReadFunctionOf(uint32_t area)
{
    return static_cast<uint8_t>(area + 1);  // coils 1, inputs 2, holding 3, input registers 4
}
}  // namespace

bool ModbusShell::QueueRequest()
{
    const uint16_t length = Engine.TxLength();
    // Half a frame on the wire would corrupt the exchange; when the ring cannot take the
    // whole frame, the pending request simply times out. Nothing that came while no
    // request was pending can be its reply.
    Port.SetReadyCount(kShortestReply);  // an exception reply; its head tells the rest
    size_t dropped = 0;
    const bool queued = Port.Transmit(TxFrame, length, true, &dropped);
    Stats.LateBytesDropped += dropped;
    if (!queued)
        return false;
    std::memcpy(request_, TxFrame, length);
    requestLength_ = length;
    awaitUnit_ = TxFrame[0];
    awaitFunction_ = static_cast<uint8_t>(TxFrame[1] & 0x7F);
    awaitLength_ = ReplyLengthOf(TxFrame, length);
    if (Port.Echoes())
        Port.SetReadyCount(static_cast<uint16_t>(std::min<uint32_t>(length + kShortestReply, kFrameSize)));
    ++Stats.Requests;
    return true;
}

void ModbusShell::NoteTimeout()
{
    NoteFailure();
    if (awaitLength_ == 0)
        return;
    // Its reply may still come; remember its shape (the oldest entry makes room).
    Suspect *slot = &suspects_[0];
    for (Suspect &s : suspects_) {
        if (s.Length == 0 || (s.Function == awaitFunction_ && s.Length == awaitLength_)) {
            slot = &s;
            break;
        }
        if (TickDiff(s.Since, slot->Since) < 0)
            slot = &s;
    }
    *slot = {awaitFunction_, awaitLength_, failedAt_};
}

bool ModbusShell::IsSuspect(uint8_t function, uint16_t length) const
{
    const uint32_t now = GetTickCount32();
    for (const Suspect &s : suspects_)
        if (s.Length == length && s.Function == function &&
            TickDiff(now, s.Since) < static_cast<int32_t>(kLateReplyWindowMs))
            return true;
    return false;
}

void ModbusShell::ClearSuspect(uint8_t function, uint16_t length)
{
    for (Suspect &s : suspects_)
        if (s.Function == function && s.Length == length)
            s = Suspect{};
}

uint16_t ModbusShell::ReadQuantity(const ModbusAction *variable) const
{
    uint16_t quantity = variable->RegCount;
    if (variable->Area != MbHoldingRegisters && variable->Area != MbInputRegisters)
        return quantity;
    // A register or two more changes the reply's length; the device reads what is not
    // mapped as zero, and the value is decoded from the variable's own registers only.
    // Only into registers the map has: a device may refuse to read a gap.
    const uint8_t function = ReadFunctionOf(variable->Area);
    while (quantity < variable->RegCount + suspects_.size() && quantity < 125 &&
           IsSuspect(function, static_cast<uint16_t>(5 + 2 * quantity))) {
        if (!RegisterMapped(static_cast<uint32_t>(variable->RegAddress) + quantity))
            return variable->RegCount;  // the quiet wait alone must do
        ++quantity;
    }
    return quantity;
}

bool ModbusShell::RegisterMapped(uint32_t reg) const
{
    for (int i = 0;; ++i) {
        const ModbusAction *v = const_cast<TMbActions &>(Actions).At(i);
        if (v == nullptr)
            return false;
        if (reg >= v->RegAddress && reg < static_cast<uint32_t>(v->RegAddress) + v->RegCount)
            return true;
    }
}

void ModbusShell::SendStep(uint32_t now)
{
    if (sending_)
        return;  // a message box of a failed encoding may run the window's loop meanwhile
    if (quietPending_) {
        // Quiet since the failure and since the last byte that came in, whichever is later.
        const uint32_t lastRx = Port.LastRxTick();
        const uint32_t since = TickDiff(lastRx, failedAt_) > 0 ? lastRx : failedAt_;
        if (TickDiff(now, since) < static_cast<int32_t>(kQuietAfterFailureMs))
            return;
        quietPending_ = false;
    }
    JournalLostWrites(false);
    {
        // A frame on the line ends with 3.5 characters of silence: the device is not
        // ready for the next request before that.
        if (static_cast<int64_t>(GetTickCountUs() - Port.LastRxUs()) < static_cast<int64_t>(FrameGapUs()))
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
    return Engine.TxLength() != 0 && QueueRequest();
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
    // The variables due next to it in the register map go with it (see BlockReads).
    const uint32_t cap = std::clamp<uint32_t>(MaxReadRegisters, 1, kMaxReadLimit);
    BlockReads::Run run = blocks_.Plan(PollCursor, cap, [&](const ModbusAction &v) { return DueForRead(&v, now); });
    // A block whose reply would have the length of a timed-out request's late reply could
    // take that reply for its own: read the variable alone meanwhile.
    if (run.First != run.Last &&
        IsSuspect(ReadFunctionOf(variable->Area), static_cast<uint16_t>(5 + 2 * run.Registers)))
        run = {PollCursor, PollCursor, variable->RegCount};
    bool built;
    if (run.First == run.Last) {
        const uint16_t quantity = ReadQuantity(variable);
        built = Engine.BuildReadRequest(variable->Area, variable->SlaveAddress, variable->RegAddress, quantity,
                                        ExchangeTimeoutMs(*variable, quantity), &ModbusShell::OnReply, variable, 0);
    } else {
        blocks_.Start(run);
        const uint16_t registers = static_cast<uint16_t>(run.Registers);
        built = Engine.BuildReadRequest(variable->Area, variable->SlaveAddress, Actions.At(run.First)->RegAddress,
                                        registers, ExchangeTimeoutMs(*variable, registers), &ModbusShell::OnBlockReply,
                                        this, 0);
    }
    const bool sent = built && Transmit();
    for (int i = run.First; i <= run.Last; ++i) {
        ModbusAction *v = Actions.At(i);
        if (sent)
            v->State = mbsSent;
        v->LastPoll = now;  // also after a failed build: tried again after PeriodMs
    }
    PollCursor = run.Last;
    return sent;
}

void ModbusShell::DropExchange()
{
    Engine.Reset();
    blocks_.Clear();
    for (int i = 0; i < Actions.Count(); ++i) {
        ModbusAction *v = Actions.At(i);
        if (v != nullptr && v->State == mbsSent) {
            v->State = mbsTimedOut;
            Ended(*v);
        }
    }
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
    blocks_.Clear();
    JournalLostWrites(false);
    ModbusAction *variable = Actions.Add();
    if (variable != nullptr)
        variable->Owner = this;
    return variable;
}

void ModbusShell::ClearVariables()
{
    Engine.Reset();
    blocks_.Clear();
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
            BlockReads::AnsweredAlone(*variable);
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
    // A failed exchange counts toward the lost connection; only after a timeout must the
    // line fall quiet before the next request (a late reply may still come).
    if (shell != nullptr) {
        if (status == MbReplyTimeout)
            shell->NoteTimeout();
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
    const BlockReads::Block block = blocks_.Take();
    if (!block)
        return;
    const uint32_t now = GetTickCount32();
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
        blocks_.Answered(block, data, n, [this](ModbusAction &v) { Ended(v); });
        return;
    case MbReplyException:
        ++Stats.Exceptions;
        blocks_.Refused(block, exceptionCode, again);
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
    blocks_.Failed(block, again);
    NoteFailure();
    if (++ConsecutiveTimeouts > kMaxConsecutiveTimeouts && ConnectionLost)
        ConnectionLost();
}
