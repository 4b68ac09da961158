// What the two picture programs share: letting the event loop run, waiting for a state,
// and saving one widget as a PNG with a line saying where it went.
#pragma once

#include <QDir>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>

namespace shot {

// Lets the heartbeat run for a while.
inline void Pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline bool WaitFor(const std::function<bool()> &done, int ms)
{
    for (int waited = 0; waited < ms && !done(); waited += 50)
        Pump(50);
    return done();
}

inline bool Save(QWidget *widget, const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

}  // namespace shot
