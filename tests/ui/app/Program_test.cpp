// The window program as the operator starts it: its command line, and SIGTERM/SIGINT
// closing the window as its close box does (the connected device is asked to save).
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include "ui/UiFixture.h"

using namespace uitest;

namespace {

QProcessEnvironment OffscreenEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Whether the process has the file open (the program holds its port from the search on).
bool HoldsOpen(qint64 pid, const QString &path)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == path)
            return true;
    return false;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "usage: quintavolte [--port PATH]..."
                              << "";
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << "quintavolte "
                                 << "";
        QTest::newRow("unknown") << QStringList{QStringLiteral("--bogus")} << 2 << ""
                                 << "unknown option --bogus";
        QTest::newRow("port without path") << QStringList{QStringLiteral("--port")} << 2 << ""
                                           << "--port needs a device path";
        QTest::newRow("other language") << QStringList{QStringLiteral("--lang"), QStringLiteral("de")} << 2 << ""
                                        << "--lang needs ru or en";
        QTest::newRow("language missing") << QStringList{QStringLiteral("--lang")} << 2 << ""
                                          << "--lang needs ru or en";
        for (const char *bad : {"0", "248", "255", "abc"})
            QTest::newRow(qPrintable(QStringLiteral("address %1").arg(QLatin1String(bad))))
                << QStringList{QStringLiteral("--address"), QLatin1String(bad)} << 2 << ""
                << QStringLiteral("--address wants a unit address from 1 to 247 (or 254, whichever device is on "
                                  "the line), not '%1'")
                       .arg(QLatin1String(bad));
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess program;
        program.setProcessEnvironment(OffscreenEnvironment());
        program.start(QString::fromUtf8(QUINTAVOLTE_PATH), args);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(program.readAllStandardError());
        if (!out.isEmpty())
            QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
        if (!err.isEmpty())
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    }

    void stopSignalClosesLikeTheCloseBox_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void stopSignalClosesLikeTheCloseBox()
    {
        QFETCH(int, sig);
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        QProcess program;
        program.setProcessEnvironment(OffscreenEnvironment());
        program.start(QString::fromUtf8(QUINTAVOLTE_PATH),
                      {QStringLiteral("--port"), QString::fromStdString(sim.Path())});
        QVERIFY(program.waitForStarted(10000));
        // Once the port is open the search has begun; the close waits for its end.
        const QString port = QFileInfo(QString::fromStdString(sim.Path())).canonicalFilePath();
        QTRY_VERIFY_WITH_TIMEOUT(HoldsOpen(program.processId(), port), 10000);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), sig), 0);
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")), QStringList{QStringLiteral("1")});
    }
};

QTEST_MAIN(ProgramTest)
#include "Program_test.moc"
