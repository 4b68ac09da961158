// Shared pieces of the window tests: the stand-in on a pseudo-terminal with its write log,
// the process-wide objects around one main window, and recorders for messages and questions.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "core/Notify.h"
#include "device/ChildProcess.h"
#include "port/PortList.h"
#include "ui/MainForm.h"
#include "ui/MainUnit.h"
#include "ui/app/QtHooks.h"

namespace uitest {

// The stand-in device; every write it stores is a line "<ms> <NAME> <register> <value>".
class StandIn {
public:
    ~StandIn() { Stop(); }

    bool Start(std::vector<std::string> extra = {})
    {
        logPath_ = dir_.filePath(QStringLiteral("writes.log"));
        std::vector<std::string> args{QUINTAVOLTE_SIM_PATH, "--log", logPath_.toStdString()};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!sim_.Start(args))
            return false;
        path_ = sim_.FirstLine();
        return !path_.empty();
    }
    void Stop() { sim_.Stop(); }
    bool Signal(int sig) { return sim_.Signal(sig); }
    const std::string &Path() const { return path_; }
    std::string Stderr() const { return sim_.Stderr(); }
    QString TempPath(const QString &name) const { return dir_.filePath(name); }

    // "NAME value" of every write stored so far, in order.
    QStringList Writes() const
    {
        QFile file(logPath_);
        QStringList out;
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() >= 4)
                out << QString::fromUtf8(f[1] + ' ' + line.mid(f[0].size() + f[1].size() + f[2].size() + 3));
        }
        return out;
    }
    // The writes to one variable, values only.
    QStringList WritesTo(const QString &name) const
    {
        QStringList out;
        for (const QString &w : Writes())
            if (w.startsWith(name + QLatin1Char(' ')))
                out << w.mid(name.size() + 1);
        return out;
    }

private:
    QTemporaryDir dir_;
    QString logPath_;
    testutil::ChildProcess sim_;
    std::string path_;
};

// Messages of the core's notifier and the window's questions, answered by the test.
class Answers {
public:
    Answers()
    {
        oldMessage_ = SetMessageHook([this](std::u16string_view text) {
            messages << QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
        });
        oldQuestion_ = SetQuestionHook([this](const QString &caption, const QString &text) {
            questions << caption + QLatin1Char('|') + text;
            return answerYes;
        });
    }
    ~Answers()
    {
        SetMessageHook(oldMessage_);
        SetQuestionHook(oldQuestion_);
    }
    QStringList messages;
    QStringList questions;
    bool answerYes = true;

private:
    MessageHook oldMessage_;
    QuestionHook oldQuestion_;
};

// MainUnit around one main window, as the program entry sets them up.
class Window {
public:
    explicit Window(const std::vector<std::string> &ports)
    {
        SetExplicitPorts(ports);
        MainUnit::Initialize();
        form = std::make_unique<TMainForm>();
    }
    ~Window()
    {
        form.reset();
        MainUnit::Finalize();
        SetExplicitPorts({});
    }
    // Shows the window and waits for the start-up connect attempt to end.
    bool ShowAndConnect()
    {
        QSignalSpy done(form.get(), &TMainForm::startupConnectDone);
        form->show();
        return done.wait(20000) || done.count() > 0;
    }
    ModbusAction *Var(const char16_t *name) { return ActionManager->Shell.FindVariable(MString(name)); }

    std::unique_ptr<TMainForm> form;
};

// The stand-in and a main window connected to it, with the connected view on screen.
struct Connected {
    StandIn sim;
    std::unique_ptr<Window> w;  // after sim: goes first, while the stand-in still answers
    std::string error;

    // Starts the stand-in with extra options, opens the window on it and waits for the
    // connected view; false with error naming the step that failed.
    bool Start(std::vector<std::string> extra = {}, int timeoutMs = 8000)
    {
        if (!sim.Start(std::move(extra))) {
            error = "the stand-in did not start: " + sim.Stderr();
            return false;
        }
        w = std::make_unique<Window>(std::vector<std::string>{sim.Path()});
        if (!w->ShowAndConnect()) {
            error = "the start-up connect attempt did not end";
            return false;
        }
        if (!QTest::qWaitFor([this] { return w->form->MainPC->isVisible(); }, timeoutMs)) {
            error = "the connected view did not appear";
            return false;
        }
        return true;
    }
    TMainForm &Form() { return *w->form; }
};

// Runs the event loop until the window's refresh has run `count` more times, so whatever
// those refreshes would change has changed (or, when nothing may change, had its chance).
inline bool WaitForRefreshes(uint32_t count, int timeoutMs = 10000)
{
    const uint32_t until = GuiHandler->Runs + count;
    return QTest::qWaitFor([until] { return GuiHandler->Runs >= until; }, timeoutMs);
}

// Puts exactly these bytes in the file, replacing what it held.
inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The port that RefuseOnePort refuses, as a port without permission does; root opens any
// file whatever its mode, so the refusal is staged at the open instead.
inline std::string g_refused;
inline constexpr gid_t kPortGroup = 20;  // dialout, as Debian gives serial ports
inline int RefuseOnePort(const char *path, int flags)
{
    if (g_refused == path) {
        errno = EACCES;
        return -1;
    }
    return ::open(path, flags);
}

// A port that does not exist: the search ends at once without a device.
inline const std::vector<std::string> kNoDevice{"/nonexistent/quintavolte-port"};

}  // namespace uitest
