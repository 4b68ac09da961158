// The window program from the toolkit's start to the end of its event loop: locale,
// MainUnit around the windows, message boxes, SIGINT/SIGTERM closing the window as its
// close box does, and an exception shown in a box (the program then returns 0).
#pragma once

#include <functional>

#include "ui/app/AppOptions.h"

class QWidget;
class TMainForm;

// The application's names: no display name, which the platform would append to every
// window's caption ("О программе — Quintavolte Control").
void SetApplicationIdentity();
// Sizes the main window to its contents and puts it where it stood when it last closed, or
// centres it on its screen, before it is shown (left alone, the window manager may put it at 0,0).
void PlaceMainWindow(QWidget &window);

// `started`, when given, sees the main window after it is created and before it is shown
// (measurements hook in there).
int RunQuintavolte(int &argc, char **argv, const AppOptions &options,
                   const std::function<void(TMainForm &)> &started = {});
