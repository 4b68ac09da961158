#include "cli/CliOptions.h"

#include <charconv>

#include "device/LinkOptions.h"

namespace {

struct CommandShape {
    const char *Name;
    size_t MinArgs;
    size_t MaxArgs;
};

constexpr CommandShape kCommands[] = {
    {"ports", 0, 0},   {"info", 0, 0}, {"get", 1, 1000},  {"set", 2, 2},     {"watch", 1, 1000},
    {"stats", 0, 0},   {"dump", 1, 1}, {"show", 1, 1},    {"mqtt", 0, 1000}, {"backup", 1, 1},
    {"restore", 1, 1}, {"diff", 1, 1}, {"journal", 0, 0}, {"log", 0, 0},     {"history", 0, 1000},
};

const CommandShape *FindCommand(const std::string &name)
{
    for (const CommandShape &c : kCommands)
        if (name == c.Name)
            return &c;
    return nullptr;
}

bool ParseInterval(const std::string &text, int *ms)
{
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 10 || value > 3600000)
        return false;
    *ms = value;
    return true;
}

}  // namespace

const char *CliUsage()
{
    return "usage: quintavolte-cli [--port PATH]... [--address N] [--rts-direction] COMMAND [ARGS]\n"
           "\n"
           "commands:\n"
           "  ports                      list the serial ports searched for the device\n"
           "  info                       connect and show the port, type text and version\n"
           "  get NAME...                read variables, one \"NAME = VALUE\" line each\n"
           "  set NAME VALUE [--yes]     write a variable, wait for the acknowledgement and read\n"
           "                             it back; a new baud rate or address is asked about\n"
           "                             first (--yes: without asking, needed without a terminal)\n"
           "  watch NAME... [--interval MS] [--csv] [--stats]\n"
           "                             show live values until interrupted (default 1000 ms);\n"
           "                             --stats: the link's counters at the end\n"
           "  stats [--interval MS] [--csv]\n"
           "                             poll every variable and show the link's counters\n"
           "                             (requests, good replies, timeouts, bad replies,\n"
           "                             exceptions, late bytes dropped, reconnections)\n"
           "  dump FILE                  save a debug dump of every variable (and say how the\n"
           "                             link did)\n"
           "  show FILE                  list the variables of a debug dump\n"
           "  mqtt --broker HOST[:PORT] [OPTIONS]\n"
           "                             publish the device to an MQTT broker (mqtt --help)\n"
           "                             --history [--history-db FILE] [--history-interval S]:\n"
           "                             also record the device into the history database\n"
           "  backup FILE                save the device's settings to a text file\n"
           "  restore FILE [--dry-run] [--yes] [--with-calibration]\n"
           "                             write the file's settings that differ, check them and\n"
           "                             have the device save them (--dry-run: only list them);\n"
           "                             a new baud rate or address is asked about (--yes);\n"
           "                             another unit's calibration is left out unless\n"
           "                             --with-calibration\n"
           "  diff FILE [--with-calibration]\n"
           "                             list the settings that differ between device and file\n"
           "  journal                    list the journal of writes, oldest first (who wrote\n"
           "                             what and when, and how it ended)\n"
           "  log [--history-db FILE] [--history-interval S]\n"
           "                             record the device into the history database every S\n"
           "                             seconds (default 10) until interrupted\n"
           "  history [--from DATE] [--to DATE] [--daily] [--csv] [NAME...]\n"
           "                             print the recorded samples (default: the last day) or\n"
           "                             the daily energy totals (default: the last 30 days);\n"
           "                             DATE is YYYY-MM-DD or YYYY-MM-DDTHH:MM, local time\n"
           "\n"
           "options:\n"
           "  --port PATH   search only this serial device (repeatable; COM1 is the first)\n"
           "  --max-read N  read at most N registers (1..125, default 32) in one request;\n"
           "                1 reads every variable alone\n"
           "  --baud RATE   open the ports at RATE only (default: 9600, or the rate the\n"
           "                port last worked at, then each other rate briefly)\n"
           "  --address N   talk to the unit with address N (1..247) on a shared RS-485 bus;\n"
           "                by default 254, which whichever device is on the line answers\n"
           "  --rts-direction\n"
           "                RTS high while sending, for adapters without automatic direction\n"
           "                control (the driver's RS-485 mode where it has one)\n"
           "  --journal FILE\n"
           "                the journal of writes (default $XDG_STATE_HOME/quintavolte/writes.log,\n"
           "                or ~/.local/state/quintavolte/writes.log)\n"
           "  --history-db FILE\n"
           "                the history database (default $XDG_DATA_HOME/quintavolte/history.sqlite,\n"
           "                or ~/.local/share/quintavolte/history.sqlite)\n"
           "  --help        this text\n"
           "  --version     the program's version\n"
           "\n"
           "exit status: 0 done, 1 device or file failure, 2 wrong command line\n";
}

bool ParseCliOptions(const std::vector<std::string> &args, CliOptions *options, std::string *error)
{
    *options = CliOptions();
    bool intervalGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        // The bridge parses its own options (all but --port and --journal).
        if (options->Command == "mqtt" && a != "--port" && a != "--journal" && a != "--max-read" && a != "--baud") {
            options->Args.push_back(a);
            continue;
        }
        auto needValue = [&](const char *what) -> const std::string * {
            if (i + 1 >= args.size()) {
                *error = a + " needs " + what;
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--help" || a == "-h") {
            options->Help = true;
        } else if (a == "--version") {
            options->Version = true;
        } else if (a == "--port") {
            const std::string *v = needValue("a device path");
            if (!v)
                return false;
            options->Ports.push_back(*v);
        } else if (a == "--journal") {
            const std::string *v = needValue("a file");
            if (!v)
                return false;
            if (v->empty()) {
                *error = "--journal needs a file";
                return false;
            }
            options->Journal = *v;
        } else if (a == "--max-read") {
            const std::string *v = needValue("a number of registers");
            if (!v)
                return false;
            if (!ParseMaxRead(*v, &options->MaxRead)) {
                *error = "--max-read wants 1 to 125 registers, not '" + *v + "'";
                return false;
            }
        } else if (a == "--baud") {
            const std::string *v = needValue("a baud rate");
            if (!v)
                return false;
            if (!ParseBaudRate(*v, &options->Baud)) {
                *error = "--baud wants 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200, not '" + *v + "'";
                return false;
            }
        } else if (a == "--address") {
            const std::string *v = needValue("a unit address");
            if (!v)
                return false;
            if (!ParseUnitAddress(*v, &options->Address)) {
                *error = UnitAddressError(*v);
                return false;
            }
            options->AddressGiven = true;
        } else if (a == "--rts-direction") {
            options->RtsDirection = true;
        } else if (a == "--interval") {
            const std::string *v = needValue("a number of milliseconds");
            if (!v)
                return false;
            if (!ParseInterval(*v, &options->IntervalMs)) {
                *error = "--interval wants milliseconds from 10 to 3600000, not '" + *v + "'";
                return false;
            }
            intervalGiven = true;
        } else if (a == "--history-db") {
            const std::string *v = needValue("a file");
            if (!v)
                return false;
            if (v->empty()) {
                *error = "--history-db needs a file";
                return false;
            }
            options->HistoryDb = *v;
        } else if (a == "--history-interval") {
            const std::string *v = needValue("a number of seconds");
            if (!v)
                return false;
            int value = 0;
            auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), value);
            if (ec != std::errc() || end != v->data() + v->size() || value < 1 || value > 3600) {
                *error = "--history-interval wants seconds from 1 to 3600, not '" + *v + "'";
                return false;
            }
            options->HistoryIntervalS = value;
        } else if (a == "--from" || a == "--to") {
            const std::string *v = needValue("a date");
            if (!v)
                return false;
            (a == "--from" ? options->From : options->To) = *v;
        } else if (a == "--daily") {
            options->Daily = true;
        } else if (a == "--csv") {
            options->Csv = true;
        } else if (a == "--stats") {
            options->Stats = true;
        } else if (a == "--dry-run") {
            options->DryRun = true;
        } else if (a == "--yes") {
            options->Yes = true;
        } else if (a == "--with-calibration") {
            options->WithCalibration = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            *error = "unknown option " + a;
            return false;
        } else if (options->Command.empty()) {
            options->Command = a;
        } else {
            options->Args.push_back(a);
        }
    }
    if (options->Help || options->Version)
        return true;
    if (options->Command.empty()) {
        *error = "no command given";
        return false;
    }
    const CommandShape *shape = FindCommand(options->Command);
    if (shape == nullptr) {
        *error = "unknown command " + options->Command;
        return false;
    }
    if (options->Args.size() < shape->MinArgs || options->Args.size() > shape->MaxArgs) {
        *error = "wrong number of arguments for " + options->Command;
        return false;
    }
    if (intervalGiven && options->Command != "watch" && options->Command != "stats") {
        *error = "--interval goes with watch or stats";
        return false;
    }
    if (options->Csv && options->Command != "watch" && options->Command != "stats" && options->Command != "history") {
        *error = "--csv goes with watch, stats or history";
        return false;
    }
    if ((!options->From.empty() || !options->To.empty() || options->Daily) && options->Command != "history") {
        *error = "--from, --to and --daily go with history";
        return false;
    }
    if (!options->HistoryDb.empty() && options->Command != "log" && options->Command != "history") {
        *error = "--history-db goes with log or history";
        return false;
    }
    if (options->Stats && options->Command != "watch") {
        *error = "--stats goes with watch";
        return false;
    }
    if (options->DryRun && options->Command != "restore") {
        *error = "--dry-run goes with restore";
        return false;
    }
    if (options->Yes && options->Command != "set" && options->Command != "restore") {
        *error = "--yes goes with set or restore";
        return false;
    }
    if (options->WithCalibration && options->Command != "restore" && options->Command != "diff") {
        *error = "--with-calibration goes with restore or diff";
        return false;
    }
    return true;
}
