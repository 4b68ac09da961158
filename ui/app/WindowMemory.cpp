#include "ui/app/WindowMemory.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <algorithm>

#include "port/PortList.h"

namespace {

// The height of the strip along the top edge that stands for the title bar, and how much of
// it must show for the window to be dragged back.
constexpr int kTitleStrip = 24;
constexpr int kGrabWidth = 64;
constexpr int kGrabHeight = 8;

}  // namespace

QString WindowMemoryFile()
{
    // One settings folder for the program: the one that holds the remembered port.
    const std::string port = RememberedPortFile();
    if (port.empty())
        return {};
    return QFileInfo(QString::fromStdString(port)).dir().filePath(QStringLiteral("window.conf"));
}

WindowMemory LoadWindowMemory()
{
    WindowMemory memory;
    const QString file = WindowMemoryFile();
    if (file.isEmpty() || !QFileInfo::exists(file))
        return memory;
    QSettings s(file, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("window"));
    bool xOk = false, yOk = false;
    const int x = s.value(QStringLiteral("x")).toInt(&xOk);
    const int y = s.value(QStringLiteral("y")).toInt(&yOk);
    if (xOk && yOk)
        memory.Position = QPoint(x, y);
    memory.Size = QSize(s.value(QStringLiteral("width"), -1).toInt(), s.value(QStringLiteral("height"), -1).toInt());
    memory.Page = s.value(QStringLiteral("page")).toString();
    memory.SubPage = s.value(QStringLiteral("subpage")).toString();
    return memory;
}

bool SaveWindowMemory(const WindowMemory &memory)
{
    const QString file = WindowMemoryFile();
    if (file.isEmpty() || !QDir().mkpath(QFileInfo(file).path()))
        return false;
    QSettings s(file, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("window"));
    if (memory.Position) {
        s.setValue(QStringLiteral("x"), memory.Position->x());
        s.setValue(QStringLiteral("y"), memory.Position->y());
    }
    if (memory.Size.isValid()) {
        s.setValue(QStringLiteral("width"), memory.Size.width());
        s.setValue(QStringLiteral("height"), memory.Size.height());
    }
    s.setValue(QStringLiteral("page"), memory.Page);
    s.setValue(QStringLiteral("subpage"), memory.SubPage);
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}

bool ReachableOnScreens(const QRect &frame, const QList<QRect> &screens)
{
    const QRect title(frame.left(), frame.top(), frame.width(), std::min(kTitleStrip, frame.height()));
    for (const QRect &screen : screens) {
        const QRect seen = title.intersected(screen);
        if (!seen.isEmpty() && seen.width() >= std::min(kGrabWidth, title.width()) &&
            seen.height() >= std::min(kGrabHeight, title.height()))
            return true;
    }
    return false;
}

QList<QRect> ScreenAreas()
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}
