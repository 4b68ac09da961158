#include "sim/SimWriteLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sim/SimRegisters.h"

SimWriteLog::~SimWriteLog()
{
    if (fd_ >= 0)
        close(fd_);
}

bool SimWriteLog::Open(const std::string &path, std::string *error)
{
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    start_ = std::chrono::steady_clock::now();
    return true;
}

std::string SimWriteLog::FormatLine(uint64_t ms, int id, double value, const std::string &text)
{
    const SimVarInfo &v = SimVar(id);
    std::string line = std::to_string(ms) + ' ' + v.Name + ' ' + std::to_string(v.Register) + ' ';
    char buf[64];
    std::to_chars_result r{};
    switch (v.Type) {
    case SimText:
        return line + text;
    case SimFloat:
        // Shortest text that reads back as the stored single, so 14.4 is not 14.399999618530273.
        r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value));
        break;
    default:
        r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        break;
    }
    return line.append(buf, r.ptr);
}

std::string SimWriteLog::FormatWords(int id, double value, const std::string &text)
{
    const SimVarInfo &v = SimVar(id);
    std::vector<uint16_t> regs(v.Count);
    // The registers hold what encoding the stored value gives: the value came from them.
    if (v.Type == SimText)
        SimEncodeText(text, regs.data(), v.Count);
    else
        SimEncodeNumber(id, value, regs.data());
    std::string words;
    for (uint16_t r : regs) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s%04X", words.empty() ? "" : ":", r);
        words += buf;
    }
    return words;
}

void SimWriteLog::Record(int id, double value, const std::string &text)
{
    if (fd_ < 0)
        return;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    std::string line = FormatLine(static_cast<uint64_t>(ms), id, value, text);
    if (withWords_)
        line += ' ' + FormatWords(id, value, text);
    line += '\n';
    // One write per line: with O_APPEND a reader never sees half a line from us.
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = write(fd_, line.data() + done, line.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;  // a full disk costs log lines, never the device's answers
    }
}
