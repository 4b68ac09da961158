// The menu bar from the keyboard as desktop users expect it: Alt alone or F10 puts the bar
// in keyboard mode (arrows move, Enter opens or runs, Escape leaves), Alt with an item's
// underlined letter reaches it at once. Styles such as Fusion leave the first two off.
#pragma once

class QMenuBar;

void EnableMenuKeyboard(QMenuBar *bar);
