// Shared rig of the tree tests: a tree view in a plain window, a device connection to the
// real stand-in on a pseudo-terminal, a heartbeat that ticks the scheduler, the periodic
// repaint, and the stand-in's write log.
#pragma once
#include <QHeaderView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "InputUtil.h"
#include "core/Notify.h"
#include "device/ActionManager.h"
#include "device/ChildProcess.h"
#include "port/PortList.h"
#include "ui/app/QtHooks.h"
#include "ui/trees/TreeView.h"

namespace treetest {

// The number text as the program writes it here: the locale's decimal separator.
inline QString Num(const char *text)
{
    QString s = QString::fromLatin1(text);
    const std::lconv *lc = std::localeconv();
    if (lc != nullptr && lc->decimal_point != nullptr && lc->decimal_point[0] != 0)
        s.replace(QLatin1Char('.'), QLatin1Char(lc->decimal_point[0]));
    return s;
}

inline QString Q(const MString &s)
{
    return ToQString(s);
}

// Runs the event loop until the variable has been asked for `count` more times: as many
// refresh passes have gone by, so whatever a pass would have done to another row is done.
inline bool WaitForReads(const ModbusAction *v, int count, int timeoutMs = 10000)
{
    uint32_t last = v->LastPoll;
    int seen = 0;
    return QTest::qWaitFor(
        [&] {
            if (v->LastPoll != last) {
                last = v->LastPoll;
                ++seen;
            }
            return seen >= count;
        },
        timeoutMs);
}

class TreeRig {
public:
    TreeRig()
    {
        ConsecutiveTimeouts = 0;
        Host.resize(640, 420);
        auto *layout = new QVBoxLayout(&Host);
        View = new cTreeView(&Host);
        layout->addWidget(View);
        QObject::connect(&Heartbeat, &QTimer::timeout, [this] { Manager.TickScheduler(); });
        QObject::connect(&Repaint, &QTimer::timeout, [this] { View->Refresh(); });
        Manager.BuildRegisterMap();
    }
    ~TreeRig()
    {
        Heartbeat.stop();
        Repaint.stop();
        Manager.Shell.PollingEnabled = false;
        Manager.Shell.Port.Close();
        Sim.Stop();
        SetExplicitPorts({});
        if (!LogPath.empty())
            std::remove(LogPath.c_str());
        ConsecutiveTimeouts = 0;
    }

    // Starts the stand-in with a write log and connects to it.
    bool Connect(std::vector<std::string> args = {})
    {
        if (LogPath.empty()) {
            char name[] = "/tmp/qv-tree-log-XXXXXX";
            const int fd = mkstemp(name);
            if (fd < 0)
                return false;
            close(fd);
            LogPath = name;
        }
        args.insert(args.begin(), {QUINTAVOLTE_SIM_PATH, "--log", LogPath});
        if (!Sim.Start(args))
            return false;
        const std::string path = Sim.FirstLine();
        if (path.empty())
            return false;
        SetExplicitPorts({path});
        return Manager.Connect();
    }

    // The window's heartbeat and refresh, faster than the window's own to keep tests short.
    void Run()
    {
        Host.show();
        Heartbeat.start(2);
        Repaint.start(100);
    }
    void Stop()
    {
        Heartbeat.stop();
        Repaint.stop();
    }

    ModbusAction *Var(const char16_t *name) { return Manager.Shell.FindVariable(MString(name)); }

    // Lines "<ms> <NAME> <register> <value>" the stand-in logged, without the time.
    QStringList Writes() const
    {
        QStringList lines;
        std::ifstream in(LogPath);
        std::string line;
        while (std::getline(in, line)) {
            const auto space = line.find(' ');
            if (space != std::string::npos)
                lines << QString::fromStdString(line.substr(space + 1));
        }
        return lines;
    }
    // The values logged for one variable, in order.
    QStringList WritesOf(const QString &name) const
    {
        QStringList values;
        for (const QString &line : Writes()) {
            const QStringList parts = line.split(' ');
            if (parts.size() >= 3 && parts[0] == name)
                values << parts.mid(2).join(' ');
        }
        return values;
    }

    QString Cell(int row, int column) const
    {
        return View->model()->data(View->model()->index(row, column), Qt::DisplayRole).toString();
    }
    QRect CellRect(int row, int column) const { return View->CellRect(row, column); }

    testutil::ChildProcess Sim;
    std::string LogPath;
    cActionManager Manager;
    QWidget Host;
    cTreeView *View;
    QTimer Heartbeat;
    QTimer Repaint;
};

// The core's message boxes while it lives.
class MessageLog {
public:
    MessageLog()
    {
        old_ = SetMessageHook([this](std::u16string_view text) {
            Texts << QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
        });
    }
    ~MessageLog() { SetMessageHook(old_); }
    QStringList Texts;

private:
    MessageHook old_;
};

// The window's Yes/No questions while it lives, answered with Answer; each is recorded as
// "caption|text".
class QuestionLog {
public:
    explicit QuestionLog(bool answer) : Answer(answer)
    {
        old_ = SetQuestionHook([this](const QString &caption, const QString &text) {
            Texts << caption + QLatin1Char('|') + text;
            return Answer;
        });
    }
    ~QuestionLog() { SetQuestionHook(old_); }
    bool Answer;
    QStringList Texts;

private:
    QuestionHook old_;
};

// Whether the control is shown and lies inside the cell.
inline bool ShownIn(const QWidget *control, const QRect &cell)
{
    return control != nullptr && control->isVisible() && cell.contains(control->geometry());
}

}  // namespace treetest
