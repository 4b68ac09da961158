// Small helpers shared by the dialogs: sizes of the design scaled to the default font,
// and centring a window on its owner.
#pragma once

#include <QSize>

class QWidget;

// A size of the design (drawn for a 13-pixel font) scaled to the default font's height.
QSize ScaledSize(int width, int height);
// Puts the window's centre on the owner's centre (or the screen's when there is no owner).
void CentreOn(QWidget *window, const QWidget *owner);
