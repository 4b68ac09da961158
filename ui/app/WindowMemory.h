// Where the main window stood and which page was in front when it last closed, kept in the
// program's settings folder beside the remembered port, as desktop programs do.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

struct WindowMemory {
    std::optional<QPoint> Position;  // the frame's top-left corner
    QSize Size;
    QString Page;     // object name of the page in front
    QString SubPage;  // and of the charger set-up's page in front
};

// $XDG_CONFIG_HOME/quintavolte/window.conf (or ~/.config/...); empty without a home.
QString WindowMemoryFile();
// What the file holds; nothing for a missing or damaged file.
WindowMemory LoadWindowMemory();
bool SaveWindowMemory(const WindowMemory &memory);

// Whether a window at `frame` can be grabbed by its title on one of the screens' available
// areas: a stretch of its top edge lies inside one of them.
bool ReachableOnScreens(const QRect &frame, const QList<QRect> &screens);
// The available areas of the screens attached now.
QList<QRect> ScreenAreas();
