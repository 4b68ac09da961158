// The window after the device was lost: the status line says when, the device's port is
// searched again without a click, and the window is back with fresh values once the
// stand-in answers on the same link again.
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTime>
#include <QtTest>

#include "UiFixture.h"
#include "ui/LinkWatch.h"

using namespace uitest;

class LinkWatchTest : public QObject {
    Q_OBJECT
private slots:
    void theWindowComesBackByItselfWhenTheDeviceAnswersAgain()
    {
        QTemporaryDir dir;
        const std::string link = QDir(dir.path()).filePath(QStringLiteral("device")).toStdString();
        StandIn sim;
        QVERIFY2(sim.Start({"--link", link}), sim.Stderr().c_str());
        Window w({link});
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible(), 8000);
        QVERIFY(!f.LinkWatch->Watching());

        // Lost: the real time-outs of a silent device run out (some ten seconds).
        sim.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(f.LinkWatch->Watching(), 30000);
        const QTime lostAt = QTime::currentTime();
        const QString said = f.statusBar()->currentMessage();
        const QRegularExpression text(QStringLiteral("^Связь с устройством потеряна в (\\d\\d:\\d\\d:\\d\\d)$"));
        const QRegularExpressionMatch m = text.match(said);
        QVERIFY2(m.hasMatch(), qPrintable(said));
        const QTime told = QTime::fromString(m.captured(1), QStringLiteral("HH:mm:ss"));
        QVERIFY(told.isValid());
        QVERIFY(qAbs(told.secsTo(lostAt)) <= 2);
        QTRY_VERIFY(!f.MainPC->isVisible());
        // The window stays usable meanwhile: no search holds it.
        QVERIFY(!f.IsSearching());
        QVERIFY(f.ConnectMenuItem->isEnabled());

        // Back on the same link: connected again without a click, values read afresh. Most
        // returns take about a second; a try begun on the dead link still runs its attempts
        // out first, which has taken up to seven seconds, so the bound here is only that it
        // comes back at all.
        QVERIFY2(sim.Start({"--link", link}), sim.Stderr().c_str());
        QElapsedTimer back;
        back.start();
        QTRY_VERIFY_WITH_TIMEOUT(ActionManager->Identified, 15000);
        qInfo("back after %lld ms", static_cast<long long>(back.elapsed()));
        QCOMPARE(QString::fromStdString(ActionManager->DevicePath()), QString::fromStdString(link));
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible(), 5000);
        // The table was built afresh: the diagram's values come from the device again.
        QTRY_VERIFY_WITH_TIMEOUT(!w.Var(u"Adc.U_Solar")->Value.Equals(u"--"), 5000);
        QVERIFY(f.statusBar()->currentMessage().isEmpty());
        QVERIFY(!f.LinkWatch->Watching());
        QCOMPARE(ActionManager->Stats().Reconnections, 1u);
    }

    void anOperatorDisconnectIsNoLoss()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        c.Form().ConnectMenuItem->trigger();
        QTRY_VERIFY(!c.Form().MainPC->isVisible());
        QVERIFY(!c.Form().LinkWatch->Watching());
        QVERIFY(c.Form().statusBar()->currentMessage().isEmpty());
    }
};

QTEST_MAIN(LinkWatchTest)
#include "LinkWatch_test.moc"
