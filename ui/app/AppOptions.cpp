#include "ui/app/AppOptions.h"

#include "core/Version.h"

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
           "                  [--help] [--version]\n"
           "Opens the Quintavolte Control window and connects to the device.\n"
           "  --port PATH   search only this serial device (repeatable; COM1 is the first)\n"
           "  --lang ru|en  the window's language (by default Russian in a Russian locale,\n"
           "                English otherwise)\n"
           "  --theme dark|light|system  the window's colours: a dark or light palette of\n"
           "                its own, or the desktop's (the default)\n"
           "  --journal FILE  the journal of writes (default $XDG_STATE_HOME/quintavolte/\n"
           "                writes.log, or ~/.local/state/quintavolte/writes.log)\n"
           "  --help        this text\n"
           "  --version     the program's version\n";
}

const char *AppVersion()
{
    return "quintavolte " QV_VERSION_TEXT "\n";
}
