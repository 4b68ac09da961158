#include "device/WriteJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "core/Notify.h"
#include "values/MString.h"

namespace {

constexpr char kFieldSeparator = '\t';
constexpr size_t kFieldCount = 6;

std::string &OverriddenPath()
{
    static std::string path;
    return path;
}

bool &PathOverridden()
{
    static bool set = false;
    return set;
}

std::string &Origin()
{
    static std::string origin;
    return origin;
}

std::string &DefaultOrigin()
{
    static std::string origin = "unknown";
    return origin;
}

int &OriginDepth()
{
    static int depth = 0;
    return depth;
}

bool &FailureReported()
{
    static bool reported = false;
    return reported;
}

void ReportFailure(const std::string &path, const std::string &reason)
{
    if (FailureReported())
        return;
    FailureReported() = true;
    // The text is one the window translates; the path and the reason stay as they are.
    const std::string where = (path.empty() ? std::string("?") : path) + ": " + reason;
    const MString text = MString::Concat(u"Журнал записей не ведется: ", MString::FromUtf8(where));
    ShowMessageBox(text.View());
}

// Creates the folders of the path's parent; false when one cannot be made.
bool MakeParents(const std::string &path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool WriteAll(int fd, const std::string &bytes)
{
    // One write call with O_APPEND keeps lines of two programs from interleaving.
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ReadLines(const std::string &path, std::vector<std::string> *lines, std::string *error)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT)
        return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot be opened";
        return false;
    }
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            lines->push_back(line);
    if (in.bad()) {
        *error = path + ": cannot be read";
        return false;
    }
    return true;
}

}  // namespace

std::string EscapeJournalField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (const char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string UnescapeJournalField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 >= field.size()) {
            out += field[i];
            continue;
        }
        const char e = field[++i];
        if (e == 't') {
            out += '\t';
        } else if (e == 'n') {
            out += '\n';
        } else if (e == 'r') {
            out += '\r';
        } else if (e == 'x' && i + 2 < field.size() && HexValue(field[i + 1]) >= 0 && HexValue(field[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2]));
            i += 2;
        } else {
            out += e;  // "\\" and anything unknown: the character itself
        }
    }
    return out;
}

std::string FormatJournalLine(const JournalLine &line)
{
    const std::string *fields[kFieldCount] = {&line.Time,     &line.Origin,   &line.Name,
                                              &line.OldValue, &line.NewValue, &line.Outcome};
    std::string out;
    for (size_t i = 0; i < kFieldCount; ++i) {
        if (i != 0)
            out += kFieldSeparator;
        out += EscapeJournalField(*fields[i]);
    }
    return out;
}

bool ParseJournalLine(std::string_view text, JournalLine *line)
{
    std::string *fields[kFieldCount] = {&line->Time,     &line->Origin,   &line->Name,
                                        &line->OldValue, &line->NewValue, &line->Outcome};
    size_t from = 0;
    for (size_t i = 0; i < kFieldCount; ++i) {
        const size_t tab = text.find(kFieldSeparator, from);
        const bool last = i + 1 == kFieldCount;
        if (last != (tab == std::string_view::npos))
            return false;
        const size_t end = last ? text.size() : tab;
        *fields[i] = UnescapeJournalField(text.substr(from, end - from));
        from = end + 1;
    }
    return true;
}

std::string JournalTimeText(std::time_t seconds, int milliseconds)
{
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", date, milliseconds, offset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text;
}

std::string JournalTimeNow()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    return JournalTimeText(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000));
}

std::string DefaultJournalPath()
{
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::string(state) + "/quintavolte/writes.log";
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] != 0)
        return std::string(home) + "/.local/state/quintavolte/writes.log";
    return std::string();
}

void SetJournalPath(const std::string &path)
{
    OverriddenPath() = path;
    PathOverridden() = !path.empty();
}

std::string JournalPath()
{
    return PathOverridden() ? OverriddenPath() : DefaultJournalPath();
}

bool AppendJournal(const JournalLine &line)
{
    const std::string path = JournalPath();
    if (path.empty()) {
        ReportFailure(path, "neither XDG_STATE_HOME nor HOME is set");
        return false;
    }
    const std::string bytes = FormatJournalLine(line) + "\n";
    if (path.find('/') != std::string::npos && !MakeParents(path)) {
        ReportFailure(path, std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) + bytes.size() > kJournalMaxBytes) {
        // Keep the newest: the older half goes to .1, replacing what was there.
        if (::rename(path.c_str(), (path + ".1").c_str()) != 0) {
            ReportFailure(path, std::strerror(errno));
            return false;
        }
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        ReportFailure(path, std::strerror(errno));
        return false;
    }
    const bool written = WriteAll(fd, bytes);
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ReportFailure(path, std::strerror(written ? errno : writeErrno));
        return false;
    }
    return true;
}

bool JournalWrite(const std::string &origin, const std::string &name, const std::string &oldValue,
                  const std::string &newValue, const std::string &outcome)
{
    return AppendJournal({JournalTimeNow(), origin, name, oldValue, newValue, outcome});
}

bool ReadJournal(const std::string &path, std::vector<std::string> *lines, std::string *error)
{
    lines->clear();
    return ReadLines(path + ".1", lines, error) && ReadLines(path, lines, error);
}

WriteOrigin::WriteOrigin(std::string origin) : previous_(std::move(Origin()))
{
    Origin() = std::move(origin);
    ++OriginDepth();
}

WriteOrigin::~WriteOrigin()
{
    Origin() = std::move(previous_);
    --OriginDepth();
}

std::string CurrentWriteOrigin()
{
    return OriginDepth() > 0 && !Origin().empty() ? Origin() : DefaultOrigin();
}

void SetDefaultWriteOrigin(const std::string &origin)
{
    DefaultOrigin() = origin;
}

bool HasWriteOrigin()
{
    return OriginDepth() > 0;
}

void ResetJournalFailureReport()
{
    FailureReported() = false;
}
