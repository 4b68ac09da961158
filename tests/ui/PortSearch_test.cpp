// The window's port search as a Linux user meets it: the port being tried in the caption,
// the permission line under the connect failure message, and the port remembered after
// a successful connection.
#include <QAction>
#include <QSignalSpy>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "port/PtyPair.h"
#include "UiFixture.h"

using namespace uitest;

namespace {
const QString kConnectFailed = QStringLiteral("Устройство Quintavolte не найдено.");
const QString kWayForward = QStringLiteral("\nВыберите порт: Порт…");
QString Missing(const std::string &path)
{
    return QStringLiteral("\nПорт %1: не открывается: %2.")
        .arg(QString::fromStdString(path), QString::fromLocal8Bit(strerror(ENOENT)));
}
}  // namespace

class PortSearchTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SetPortOpenFunction(nullptr); }

    void refusedPortAddsThePermissionLineAndTheCaptionShowsEachPort()
    {
        PtyPair refused;
        QVERIFY(refused.Ok());
        if (geteuid() != 0)
            QSKIP("giving the port to another group needs root");
        // As a serial port usually is: its group may read and write it.
        QCOMPARE(chown(refused.SlavePath().c_str(), static_cast<uid_t>(-1), kPortGroup), 0);
        QCOMPARE(chmod(refused.SlavePath().c_str(), 0660), 0);
        g_refused = refused.SlavePath();
        SetPortOpenFunction(&RefuseOnePort);
        Answers answers;
        const std::string missing = "/nonexistent/quintavolte-port";
        Window w({refused.SlavePath(), missing});
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        QVERIFY(answers.messages.isEmpty());  // the start-up attempt stays silent
        const QString title = f.windowTitle();

        QSignalSpy titles(&f, &QWidget::windowTitleChanged);
        f.ConnectMenuItem->trigger();
        const QString group = QString::fromStdString(PortGroupName(refused.SlavePath()));
        QVERIFY(!group.isEmpty());
        QCOMPARE(answers.messages,
                 QStringList{kConnectFailed + Missing(missing) +
                             QStringLiteral("\nНет доступа к %1: пользователь должен входить в группу %2 "
                                            "(sudo adduser $USER %2, затем войти в систему заново).")
                                 .arg(QString::fromStdString(refused.SlavePath()), group) +
                             kWayForward});
        QStringList seen;
        for (const QList<QVariant> &args : titles)
            seen << args.at(0).toString();
        QCOMPARE(seen.size(), 3);
        QVERIFY2(seen[0].endsWith(QStringLiteral("поиск устройства: ") + QString::fromStdString(refused.SlavePath())),
                 qPrintable(seen.join('|')));
        QVERIFY2(seen[1].endsWith(QStringLiteral("поиск устройства: ") + QString::fromStdString(missing)),
                 qPrintable(seen.join('|')));
        QCOMPARE(seen[2], title);
        QCOMPARE(f.windowTitle(), title);
    }

    // A group that may not read and write the port, or root's, is no advice to give: the
    // message says who owns the port instead.
    void aPortNoGroupOfOursMayUseNamesItsOwner()
    {
        PtyPair refused;
        QVERIFY(refused.Ok());
        if (geteuid() != 0)
            QSKIP("giving the port to root needs root");
        QCOMPARE(chown(refused.SlavePath().c_str(), 0, 0), 0);
        QCOMPARE(chmod(refused.SlavePath().c_str(), 0600), 0);
        g_refused = refused.SlavePath();
        SetPortOpenFunction(&RefuseOnePort);
        Answers answers;
        Window w({refused.SlavePath()});
        QVERIFY(w.ShowAndConnect());
        w.form->ConnectMenuItem->trigger();
        QCOMPARE(answers.messages,
                 QStringList{kConnectFailed +
                             QStringLiteral("\nНет доступа к %1: владелец root, группа root, права 0600.")
                                 .arg(QString::fromStdString(refused.SlavePath())) +
                             kWayForward});
    }

    // Each port with what the search met there: a file that is no terminal, a port another
    // program holds, silent ports sharing one line; then the way forward.
    void theMessageTellsEachPortsOutcome()
    {
        QTemporaryDir dir;
        const std::string plain = dir.filePath(QStringLiteral("plain")).toStdString();
        QVERIFY(QFile(QString::fromStdString(plain)).open(QIODevice::WriteOnly));
        PtyPair held, silent, silent2;
        QVERIFY(held.Ok() && silent.Ok() && silent2.Ok());
        const int holder = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(holder >= 0);
        QCOMPARE(flock(holder, LOCK_EX | LOCK_NB), 0);
        Answers answers;
        Window w({plain, held.SlavePath(), silent.SlavePath(), kNoDevice[0], silent2.SlavePath()});
        QVERIFY(w.ShowAndConnect());
        w.form->ConnectMenuItem->trigger();
        ::close(holder);
        const auto q = [](const std::string &p) { return QString::fromStdString(p); };
        QCOMPARE(answers.messages,
                 QStringList{
                     kConnectFailed + QStringLiteral("\nПорт %1: не последовательный порт.").arg(q(plain)) +
                     QStringLiteral("\nПорт %1: занят другой программой.").arg(q(held.SlavePath())) +
                     QStringLiteral("\nПорты %1, %2: нет ответа.").arg(q(silent.SlavePath()), q(silent2.SlavePath())) +
                     Missing(kNoDevice[0]) + kWayForward});
    }

    void theDevicesPortIsRemembered()
    {
        QTemporaryDir config;
        const QByteArray old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        {
            Window w({sim.Path()});
            QVERIFY(w.ShowAndConnect());
            QVERIFY(ActionManager->Identified);
        }
        QCOMPARE(RememberedPort(), sim.Path());
        qputenv("XDG_CONFIG_HOME", old);
    }
};

QTEST_MAIN(PortSearchTest)
#include "PortSearch_test.moc"
