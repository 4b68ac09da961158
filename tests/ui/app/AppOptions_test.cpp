// The window program's link options: the unit address of the device on a shared bus and
// the direction control of the adapter, as the command line gives them.
#include <QtTest>

#include <string>
#include <vector>

#include "ui/app/AppOptions.h"

class AppOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void linkOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("rts");
        QTest::newRow("defaults") << QStringList{} << true << 254 << false;
        QTest::newRow("one unit") << QStringList{"--address", "17"} << true << 17 << false;
        QTest::newRow("the highest unit, direction control")
            << QStringList{"--rts-direction", "--address", "247"} << true << 247 << true;
        QTest::newRow("any unit, said") << QStringList{"--address", "254", "--port", "/dev/x"} << true << 254 << false;
        QTest::newRow("the last one counts") << QStringList{"--address", "3", "--address", "4"} << true << 4 << false;
        QTest::newRow("broadcast") << QStringList{"--address", "0"} << false << 0 << false;
        QTest::newRow("reserved") << QStringList{"--address", "248"} << false << 0 << false;
        QTest::newRow("not a number") << QStringList{"--address", "abc"} << false << 0 << false;
        QTest::newRow("missing") << QStringList{"--address"} << false << 0 << false;
        QTest::newRow("a value to a switch") << QStringList{"--rts-direction=yes"} << false << 0 << false;
    }
    void linkOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(int, address);
        QFETCH(bool, rts);
        std::vector<std::string> argv{"quintavolte"};
        for (const QString &a : args)
            argv.push_back(a.toStdString());
        AppOptions options;
        std::string error;
        QCOMPARE(ParseAppOptions(argv, &options, &error), ok);
        if (!ok) {
            QVERIFY(!error.empty());
            return;
        }
        QCOMPARE(int(options.Address), address);
        QCOMPARE(options.RtsDirection, rts);
        QCOMPARE(options.QtArgs, std::vector<std::string>{"quintavolte"});  // nothing left for the toolkit
    }
};

QTEST_APPLESS_MAIN(AppOptionsTest)
#include "AppOptions_test.moc"
