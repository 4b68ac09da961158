// The stand-in's write log: one line per variable a write stored, appended and flushed at
// once so that a test reading the file sees every write as soon as the device took it.
// Line format: "<ms since start> <NAME> <register> <value>", single spaces, C locale.
#pragma once
#include <chrono>
#include <string>

class SimWriteLog {
public:
    SimWriteLog() = default;
    SimWriteLog(const SimWriteLog &) = delete;
    SimWriteLog &operator=(const SimWriteLog &) = delete;
    ~SimWriteLog();

    // Opens (creates or appends to) the file; false with the system's reason in *error.
    bool Open(const std::string &path, std::string *error);
    // Ends every line with the variable's register words (see FormatWords).
    void SetWithWords(bool on) { withWords_ = on; }
    bool IsOpen() const { return fd_ >= 0; }
    // value: what the variable's registers now hold; text variables pass their text.
    void Record(int id, double value, const std::string &text = {});

    // The line for a write at the given time, without its line end.
    static std::string FormatLine(uint64_t ms, int id, double value, const std::string &text);
    // The registers the value occupies, 4 upper-case hex digits each in register order,
    // joined by ':' ("0652:3F9E" for the float 1.2345678).
    static std::string FormatWords(int id, double value, const std::string &text);

private:
    int fd_ = -1;
    bool withWords_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
