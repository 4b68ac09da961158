#include "sim/SimOptions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#include "sim/SimRegisters.h"

namespace {

// DeviceType holds 20 characters at most.
constexpr size_t kMaxTypeLength = 20;

bool ParseNumber(const std::string &s, double *out)
{
    auto res = std::from_chars(s.data(), s.data() + s.size(), *out);
    return !s.empty() && res.ec == std::errc() && res.ptr == s.data() + s.size() && std::isfinite(*out);
}

bool ParseCount(const std::string &s, uint32_t *out)
{
    auto res = std::from_chars(s.data(), s.data() + s.size(), *out);
    return !s.empty() && res.ec == std::errc() && res.ptr == s.data() + s.size();
}

// 24 hexadecimal digits: the three identity words, H1 first, as the bridge prints the id.
bool ParseUid(const std::string &s, std::array<uint32_t, 3> *out)
{
    if (s.size() != 24)
        return false;
    std::array<uint32_t, 3> words{};
    for (size_t i = 0; i < 3; ++i) {
        const char *b = s.data() + 8 * i;
        auto res = std::from_chars(b, b + 8, words[i], 16);
        if (res.ec != std::errc() || res.ptr != b + 8)
            return false;
    }
    *out = words;
    return true;
}

}  // namespace

const char *SimUsage()
{
    return "usage: quintavolte-sim [options]\n"
           "Serves a simulated Quintavolte device (Modbus RTU) on a pseudo-terminal and prints\n"
           "the terminal's path as the first line of output. Stops on SIGINT or SIGTERM.\n"
           "  --link PATH          also make PATH a symbolic link to the terminal (removed on exit)\n"
           "  --version V          firmware version in the device type (default 1.11)\n"
           "  --type TEXT          device type text instead of \"Quintavolte <version>\" (20 characters at most)\n"
           "  --address N          own Modbus address 1..247 (unit 254 is always answered)\n"
           "  --uid HEX            chip identity: 24 hexadecimal digits, ChipUID.H1, .H2 and .L\n"
           "                       (default 8a3c1f07004122331234abcd), so stand-ins can differ\n"
           "  --hour H             time of day at start, 0..24 (default 12)\n"
           "  --speed F            simulated time runs F times faster (default 1)\n"
           "  --line-rate BAUD     pace the line as a real one at BAUD (10 bits a character): a\n"
           "                       request is complete a character time per byte after it began,\n"
           "                       and a reply goes out one character at a time (default 9600;\n"
           "                       0 sends at once)\n"
           "  --state FILE         configuration file: loaded at start, written by the save command\n"
           "  --log FILE           append every write the device stores to FILE, one line per\n"
           "                       variable, flushed at once: \"<ms> <NAME> <register> <value>\"\n"
           "                       (ms since start; value as stored, C locale; text as text)\n"
           "  --log-words          end each write log line with the variable's registers as\n"
           "                       4-digit hex words in register order, joined by ':'\n"
           "Fault switches:\n"
           "  --silent             never reply\n"
           "  --delay MS           delay every reply by MS milliseconds\n"
           "  --drop-every N       leave every N-th reply unsent\n"
           "  --bad-crc-every N    corrupt the CRC of every N-th reply\n"
           "  --garbage-every N    send garbage bytes before every N-th reply\n"
           "  --garbage-byte HEX   the noise is this one byte (00..FF) instead of 4 bytes\n"
           "  --garbage-gap MS     silence of MS milliseconds between the noise and the reply\n"
           "  --split-gap MS       a pause of MS milliseconds in the middle of every reply\n"
           "  --foreign-every N    another unit's frame right before every N-th reply\n"
           "  --echo               send every received byte straight back (an adapter's local echo)\n"
           "  --baud RATE          answer only while the terminal is set to RATE; a rate written\n"
           "                       to 485.Init.BaudRate takes over once it is saved\n"
           "  --exception NAME     answer requests touching variable NAME with exception 4\n"
           "  --refuse-write NAME  answer writes touching variable NAME with exception 4 (reads\n"
           "                       are answered)\n"
           "  --lock-after N       once N variables have been written, answer every further\n"
           "                       write with exception 4, except the save command\n"
           "  --max-read N         answer reads of more than N registers (1..125) with exception 3\n"
           "  --no-block-reads     answer reads spanning two variables with exception 2\n"
           "  --help               this text\n"
           "  --version            (without V) the program's own version\n";
}

bool ParseSimOptions(const std::vector<std::string> &args, SimOptions *o, std::string *error)
{
    std::string version, type;
    bool haveType = false;
    using Setter = std::function<bool(const std::string &)>;
    auto count = [](uint32_t *field) {
        return Setter([field](const std::string &v) { return ParseCount(v, field) && *field > 0; });
    };
    const std::map<std::string, Setter> withValue{
        {"--link",
         [&](const std::string &v) {
             o->LinkPath = v;
             return !v.empty();
         }},
        {"--state",
         [&](const std::string &v) {
             o->StateFile = v;
             return !v.empty();
         }},
        {"--log",
         [&](const std::string &v) {
             o->WriteLogPath = v;
             return !v.empty();
         }},
        {"--version",
         [&](const std::string &v) {
             version = v;
             return !v.empty();
         }},
        {"--type",
         [&](const std::string &v) {
             type = v;
             haveType = true;
             return v.size() <= kMaxTypeLength;
         }},
        {"--address",
         [&](const std::string &v) {
             uint32_t a = 0;
             if (!ParseCount(v, &a) || a < 1 || a > 247)
                 return false;
             o->Address = static_cast<int>(a);
             return true;
         }},
        {"--uid", [&](const std::string &v) { return ParseUid(v, &o->ChipUid); }},
        {"--hour",
         [&](const std::string &v) {
             return ParseNumber(v, &o->StartHour) && o->StartHour >= 0 && o->StartHour <= 24;
         }},
        {"--speed", [&](const std::string &v) { return ParseNumber(v, &o->Speed) && o->Speed > 0; }},
        {"--delay", [&](const std::string &v) { return ParseCount(v, &o->DelayMs); }},
        {"--line-rate",
         [&](const std::string &v) { return ParseCount(v, &o->LineRate) && (o->LineRate == 0 || o->LineRate >= 300); }},
        {"--drop-every", count(&o->DropEvery)},
        {"--max-read",
         [&](const std::string &v) { return ParseCount(v, &o->MaxRead) && o->MaxRead >= 1 && o->MaxRead <= 125; }},
        {"--lock-after", count(&o->LockAfter)},
        {"--bad-crc-every", count(&o->BadCrcEvery)},
        {"--garbage-every", count(&o->GarbageEvery)},
        {"--garbage-byte",
         [&](const std::string &v) {
             uint32_t b = 0;
             auto res = std::from_chars(v.data(), v.data() + v.size(), b, 16);
             if (v.empty() || v.size() > 2 || res.ec != std::errc() || res.ptr != v.data() + v.size())
                 return false;
             o->GarbageByte = static_cast<int>(b);
             return true;
         }},
        {"--garbage-gap", [&](const std::string &v) { return ParseCount(v, &o->GarbageGapMs); }},
        {"--split-gap", [&](const std::string &v) { return ParseCount(v, &o->SplitGapMs); }},
        {"--foreign-every", count(&o->ForeignEvery)},
        {"--baud", [&](const std::string &v) { return ParseCount(v, &o->Baud) && o->Baud >= 300; }},
        {"--exception",
         [&](const std::string &v) {
             o->ExceptionVar = v;
             return SimFindVar(v) >= 0;
         }},
        {"--refuse-write",
         [&](const std::string &v) {
             o->RefuseWriteVar = v;
             return SimFindVar(v) >= 0;
         }},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help") {
            o->Help = true;
        } else if (a == "--version" && (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0)) {
            // Every program answers a bare --version; with a value it names the firmware.
            o->ShowVersion = true;
        } else if (a == "--silent") {
            o->Silent = true;
        } else if (a == "--no-block-reads") {
            o->NoBlockReads = true;
        } else if (a == "--echo") {
            o->Echo = true;
        } else if (a == "--log-words") {
            o->LogWords = true;
        } else if (auto it = withValue.find(a); it != withValue.end()) {
            if (i + 1 >= args.size()) {
                *error = "option " + a + " needs a value";
                return false;
            }
            const std::string &v = args[++i];
            if (!it->second(v)) {
                *error = "bad value for " + a + ": " + v;
                return false;
            }
        } else {
            *error = "unknown option: " + a;
            return false;
        }
    }
    if (haveType)
        o->DeviceType = type;
    else if (!version.empty())
        o->DeviceType = "Quintavolte " + version;
    if (o->DeviceType.size() > kMaxTypeLength) {
        *error = "device type longer than 20 characters: " + o->DeviceType;
        return false;
    }
    return true;
}
