// The link's health as the operator sees it: the status line's figures and the counters
// dialog.
#include <QLabel>
#include <QLocale>
#include <QtTest>

#include "device/ActionManager.h"
#include "ui/dialogs/LinkStatus.h"

class LinkStatusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void statusLineGivesTheRateTheFailedShareAndThePort()
    {
        ModbusShell::LinkStats before, now;
        before.GoodReplies = 100;
        now.GoodReplies = 100 + 70;
        now.Timeouts = 5;    // failed
        now.BadReplies = 3;  // failed
        now.Exceptions = 2;  // the device's answer, not a failure of the line
        const struct {
            double seconds;
            QString port;
            QString text;
        } cases[] = {
            {2.0, "/dev/ttyUSB0", "Порт /dev/ttyUSB0   обменов в секунду: 40,0   сбоев: 10,0 %"},
            {0.0, "/dev/ttyUSB0", "Порт /dev/ttyUSB0   обменов в секунду: 0,0   сбоев: 10,0 %"},
            {1.0, "", "Нет связи"},
        };
        for (const auto &c : cases)
            QCOMPARE(LinkStatusText(now, before, c.seconds, c.port), c.text);
        QCOMPARE(LinkStatusText(before, before, 1.0, "/dev/ttyS0"),
                 QString("Порт /dev/ttyS0   обменов в секунду: 0,0   сбоев: 0,0 %"));
    }

    void dialogShowsEveryCounter()
    {
        cActionManager manager;
        ModbusShell::LinkStats &s = manager.Shell.Stats;
        s.Requests = 12345;
        s.GoodReplies = 12000;
        s.Timeouts = 7;
        s.BadReplies = 6;
        s.Exceptions = 5;
        s.LateBytesDropped = 4;
        s.Reconnections = 3;
        TLinkStatsForm form(manager);
        form.Refresh();
        const QString expected[7] = {"12 345", "12 000", "7", "6", "5", "4", "3"};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(form.Values[i]->text().replace(QChar(0xA0), ' '), expected[i]);
        QCOMPARE(form.windowTitle(), QString("Связь с устройством"));
    }
};

QTEST_MAIN(LinkStatusTest)
#include "LinkStatus_test.moc"
