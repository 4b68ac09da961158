// The window program from the toolkit's start to the end of its event loop: locale,
// MainUnit around the windows, message boxes, SIGINT/SIGTERM closing the window as its
// close box does, and an exception shown in a box (the program then returns 0).
#pragma once

#include <functional>

#include "ui/AppOptions.h"

class TMainForm;

// `started`, when given, sees the main window after it is created and before it is shown
// (measurements hook in there).
int RunQuintavolte(int &argc, char **argv, const AppOptions &options,
                   const std::function<void(TMainForm &)> &started = {});
