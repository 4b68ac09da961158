#include "cli/CliJournal.h"

#include <vector>

#include "device/WriteJournal.h"

int CmdJournal(const std::string &path, std::ostream &out, std::ostream &err)
{
    if (path.empty()) {
        err << "quintavolte-cli: no journal: neither XDG_STATE_HOME nor HOME is set (use --journal FILE)\n";
        return 1;
    }
    std::vector<std::string> lines;
    std::string error;
    if (!ReadJournal(path, &lines, &error)) {
        err << "quintavolte-cli: cannot read the journal " << error << "\n";
        return 1;
    }
    for (const std::string &line : lines)
        out << line << "\n";
    return 0;
}
