// The window program's entry: options first (--help and --version need no display),
// then the window.
#include <cstdio>
#include <string>
#include <vector>

#include "ui/app/AppMain.h"
#include "ui/app/AppOptions.h"

int main(int argc, char **argv)
{
    AppOptions options;
    std::string error;
    if (!ParseAppOptions(std::vector<std::string>(argv, argv + argc), &options, &error)) {
        std::fprintf(stderr, "quintavolte: %s\n%s", error.c_str(), AppUsage());
        return 2;
    }
    if (options.Help) {
        std::fputs(AppUsage(), stdout);
        return 0;
    }
    if (options.Version) {
        std::fputs(AppVersion(), stdout);
        return 0;
    }
    // The toolkit sees its own options only.
    std::vector<char *> qtArgv;
    for (std::string &a : options.QtArgs)
        qtArgv.push_back(a.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(options.QtArgs.size());
    return RunQuintavolte(qtArgc, qtArgv.data(), options);
}
