#include "ui/app/AppOptions.h"

#include <cstdlib>

#include "core/Version.h"
#include "device/LinkOptions.h"

bool ParseAppOptions(const std::vector<std::string> &argv, AppOptions *options, std::string *error)
{
    *options = AppOptions();
    if (!argv.empty())
        options->QtArgs.push_back(argv[0]);
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string &a = argv[i];
        if (a == "--help" || a == "-h") {
            options->Help = true;
        } else if (a == "--version") {
            options->Version = true;
        } else if (a == "--port") {
            if (i + 1 >= argv.size() || argv[i + 1].empty()) {
                *error = "--port needs a device path";
                return false;
            }
            options->Ports.push_back(argv[++i]);
        } else if (a == "--journal") {
            if (i + 1 >= argv.size() || argv[i + 1].empty()) {
                *error = "--journal needs a file";
                return false;
            }
            options->Journal = argv[++i];
        } else if (a == "--max-read") {
            if (i + 1 >= argv.size() || !ParseMaxRead(argv[i + 1], &options->MaxRead)) {
                *error = "--max-read needs 1 to 125 registers";
                return false;
            }
            ++i;
        } else if (a == "--baud") {
            if (i + 1 >= argv.size() || !ParseBaudRate(argv[i + 1], &options->Baud)) {
                *error = "--baud needs 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200";
                return false;
            }
            ++i;
        } else if (a == "--address") {
            const std::string v = i + 1 < argv.size() ? argv[++i] : std::string();
            if (!ParseUnitAddress(v, &options->Address)) {
                *error = UnitAddressError(v);
                return false;
            }
        } else if (a == "--rts-direction") {
            options->RtsDirection = true;
        } else if (a == "--history-db") {
            if (i + 1 >= argv.size() || argv[i + 1].empty()) {
                *error = "--history-db needs a file";
                return false;
            }
            options->HistoryDb = argv[++i];
        } else if (a == "--history-interval") {
            const std::string v = i + 1 < argv.size() ? argv[++i] : std::string();
            char *end = nullptr;
            const long s = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || s < 1 || s > 3600) {
                *error = "--history-interval wants seconds from 1 to 3600";
                return false;
            }
            options->HistoryIntervalS = static_cast<int>(s);
        } else if (a == "--lang") {
            options->Language = i + 1 < argv.size() ? ParseLanguage(argv[++i]) : std::nullopt;
            if (!options->Language) {
                *error = "--lang needs ru or en";
                return false;
            }
        } else if (a == "--theme") {
            const std::optional<UiTheme> theme = i + 1 < argv.size() ? ParseTheme(argv[++i]) : std::nullopt;
            if (!theme) {
                *error = "--theme needs dark, light or system";
                return false;
            }
            options->Theme = *theme;
        } else if (a.rfind("--", 0) == 0) {
            *error = "unknown option " + a;
            return false;
        } else {
            // Single-dash options such as -platform belong to the toolkit.
            options->QtArgs.push_back(a);
        }
    }
    return true;
}

const char *AppUsage()
{
    return "usage: quintavolte [--port PATH]... [--lang ru|en] [--theme dark|light|system] [--journal FILE]\n"
           "                  [--max-read N] [--baud RATE] [--address N] [--rts-direction]\n"
           "                  [--history-db FILE] [--history-interval S]\n"
           "                  [--help] [--version]\n"
           "Opens the Quintavolte Control window and connects to the device.\n"
           "  --port PATH   search only this serial device (repeatable; COM1 is the first)\n"
           "  --lang ru|en  the window's language (by default Russian in a Russian locale,\n"
           "                English otherwise)\n"
           "  --theme dark|light|system  the window's colours: a dark or light palette of\n"
           "                its own, or the desktop's (the default)\n"
           "  --journal FILE  the journal of writes (default $XDG_STATE_HOME/quintavolte/\n"
           "                writes.log, or ~/.local/state/quintavolte/writes.log)\n"
           "  --max-read N  read at most N registers (1..125, default 32) in one request;\n"
           "                1 reads every variable alone\n"
           "  --baud RATE   open the ports at RATE only (default: 9600, or the rate the\n"
           "                port last worked at, then each other rate briefly)\n"
           "  --address N   talk to the unit with address N (1..247) on a shared RS-485 bus;\n"
           "                by default 254, which whichever device is on the line answers\n"
           "  --rts-direction  RTS high while sending, for adapters without automatic\n"
           "                direction control (the driver's RS-485 mode where it has one)\n"
           "  --history-db FILE  the history database (default $XDG_DATA_HOME/quintavolte/\n"
           "                history.sqlite, or ~/.local/share/quintavolte/history.sqlite)\n"
           "  --history-interval S  seconds between two recorded samples (default 10)\n"
           "  --help        this text\n"
           "  --version     the program's version\n";
}

const char *AppVersion()
{
    return "quintavolte " QV_VERSION_TEXT "\n";
}
