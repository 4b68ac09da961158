#include "bridge/WriteQueue.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

#include "core/MicroClock.h"

WriteQueue::WriteQueue(SaveTiming timing, Clock clock) : timing_(timing), clock_(std::move(clock))
{
}

std::optional<WriteQueue::Write> WriteQueue::Add(Write write)
{
    write.Unchanged = false;
    write.Save = false;
    std::optional<Write> replaced;
    const auto same =
        std::find_if(waiting_.begin(), waiting_.end(), [&](const Write &w) { return w.Name == write.Name; });
    if (same != waiting_.end()) {
        replaced = std::move(*same);
        waiting_.erase(same);
    }
    // Behind the others: the writes go out in the order of their newest sets.
    waiting_.push_back(std::move(write));
    return replaced;
}

std::optional<WriteQueue::Write> WriteQueue::Next()
{
    if (underWay_)
        return std::nullopt;
    if (!waiting_.empty()) {
        Write w = std::move(waiting_.front());
        waiting_.pop_front();
        const auto held = known_.find(w.Name);
        const bool fresh = held != known_.end() && (held->second.ForMs == 0 ||
                                                    TickDiff(clock_(), held->second.At) <= int32_t(held->second.ForMs));
        if (!w.Command && !w.Stored.empty() && fresh && held->second.Stored == w.Stored) {
            w.Unchanged = true;
            return w;
        }
        underWay_ = w;
        return w;
    }
    if (!SaveDue())
        return std::nullopt;
    Write save;
    save.Name = kSaveName;
    save.Text = "1";
    save.Command = true;
    save.Save = true;
    underWay_ = save;
    return save;
}

void WriteQueue::Finished(Outcome outcome)
{
    if (!underWay_)
        return;
    const Write w = std::move(*underWay_);
    underWay_.reset();
    const uint32_t now = clock_();
    if (w.Name == kSaveName) {
        // Ours or one asked for by name: either way the device has been told to save.
        if (outcome == Outcome::Ok) {
            unsaved_ = false;
            saved_ = true;
            lastSave_ = now;
            saveFailed_ = false;
        } else if (w.Save) {
            saveFailed_ = true;
            lastFailure_ = now;
        }
        return;
    }
    if (outcome == Outcome::Failed) {
        known_.erase(w.Name);
        return;
    }
    unsaved_ = true;
    lastWrite_ = now;
    if (w.Command)
        known_.clear();
    else if (outcome == Outcome::Ok && !w.Stored.empty())
        known_[w.Name] = Known{w.Stored, now, w.KnownForMs};
    else
        known_.erase(w.Name);
}

void WriteQueue::Holds(const std::string &name, const std::string &stored, uint32_t forMs)
{
    if (stored.empty())
        known_.erase(name);
    else
        known_[name] = Known{stored, clock_(), forMs};
}

std::deque<WriteQueue::Write> WriteQueue::TakeWaiting()
{
    std::deque<Write> taken;
    taken.swap(waiting_);
    return taken;
}

bool WriteQueue::SaveDue() const
{
    if (!unsaved_ || timing_.QuietMs == 0 || !waiting_.empty() || underWay_)
        return false;
    const uint32_t now = clock_();
    if (TickDiff(now, lastWrite_) < int32_t(timing_.QuietMs))
        return false;
    if (saved_ && TickDiff(now, lastSave_) < int32_t(timing_.SpacingMs))
        return false;
    return !saveFailed_ || TickDiff(now, lastFailure_) >= int32_t(timing_.RetryMs);
}

void WriteQueue::Reset()
{
    waiting_.clear();
    underWay_.reset();
    known_.clear();
    unsaved_ = false;
    saved_ = false;
    saveFailed_ = false;
}

namespace {

std::string LittleEndian(uint64_t value, size_t bytes)
{
    std::string out(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// The text as the device connection reads a number: trimmed, a decimal comma when there
// is no point, a leading plus dropped.
std::string NumberText(const std::string &text)
{
    const size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    std::string t = text.substr(b, text.find_last_not_of(" \t") - b + 1);
    if (t.find('.') == std::string::npos)
        std::replace(t.begin(), t.end(), ',', '.');
    if (!t.empty() && t[0] == '+')
        t.erase(0, 1);
    return t;
}

template <typename T> bool Parse(const std::string &t, T *out)
{
    if (t.empty())
        return false;
    const auto [end, ec] = [&] {
        if constexpr (std::is_floating_point_v<T>)
            return std::from_chars(t.data(), t.data() + t.size(), *out, std::chars_format::general);
        else
            return std::from_chars(t.data(), t.data() + t.size(), *out);
    }();
    return ec == std::errc() && end == t.data() + t.size();
}

}  // namespace

std::string StoredValue(uint32_t type, const std::string &text)
{
    const std::string t = NumberText(text);
    switch (type) {
    case mbtUShort:
    case mbtShort:
    case mbtUInt:
    case mbtInt: {
        int64_t value = 0;
        if (!Parse(t, &value))
            return {};
        return LittleEndian(static_cast<uint64_t>(value), type == mbtUShort || type == mbtShort ? 2 : 4);
    }
    case mbtFloat: {
        float value = 0;
        if (!Parse(t, &value) || !std::isfinite(value))
            return {};
        return LittleEndian(std::bit_cast<uint32_t>(value), 4);
    }
    default:
        return {};
    }
}

std::string StoredValue(const ModbusAction &variable)
{
    size_t size = 0;
    switch (variable.Type) {
    case mbtUShort:
    case mbtShort:
        size = 2;
        break;
    case mbtUInt:
    case mbtInt:
    case mbtFloat:
        size = 4;
        break;
    default:
        return {};
    }
    if (variable.RawCount < size)
        return {};
    return std::string(reinterpret_cast<const char *>(variable.Raw), size);
}
