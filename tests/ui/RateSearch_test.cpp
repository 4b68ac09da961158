// The window finds a device that was switched to another rate than 9600, with no option:
// the search tries the other offered rates once 9600 found nothing.
#include <QDir>
#include <QElapsedTimer>
#include <QtTest>

#include "UiFixture.h"

using namespace uitest;

class RateSearchTest : public QObject {
    Q_OBJECT
private slots:
    void aDeviceAt19200IsFoundWithoutAnOption()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", QDir(dir.path()).filePath(QStringLiteral("config")).toUtf8());
        const std::string link = QDir(dir.path()).filePath(QStringLiteral("device")).toStdString();
        StandIn sim;
        QVERIFY2(sim.Start({"--baud", "19200", "--link", link}), sim.Stderr().c_str());
        Answers answers;
        Window w({link});
        QElapsedTimer found;
        found.start();
        QVERIFY(w.ShowAndConnect());
        QVERIFY(ActionManager->Identified);
        qInfo("found at 19200 in %lld ms", static_cast<long long>(found.elapsed()));
        QCOMPARE(ActionManager->Shell.Port.BaudRate(), 19200u);
        QTRY_VERIFY_WITH_TIMEOUT(w.form->MainPC->isVisible(), 8000);
        QVERIFY(answers.messages.isEmpty());
        // Kept with the port, so the next start tries 19200 there first.
        QCOMPARE(RememberedBaud(), 19200u);
    }
};

QTEST_MAIN(RateSearchTest)
#include "RateSearch_test.moc"
