// The history page: a made-up week read at the level each span needs, daily bars, export,
// a file that is not ours; and in the window, the recorder filling the file from the stand-in.
#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include "history/HistoryDemo.h"
#include "history/HistoryRecorder.h"
#include "ui/UiFixture.h"
#include "ui/history/HistoryPage.h"

using namespace uitest;

namespace {

QList<QLineSeries *> Curves(HistoryPage &page)
{
    QList<QLineSeries *> out;
    for (QAbstractSeries *s : page.CurvesView->chart()->series())
        out << static_cast<QLineSeries *>(s);
    return out;
}

QByteArray FileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class HistoryPageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        db_ = dir_.filePath(QStringLiteral("week.sqlite"));
        HistoryStore store;
        QVERIFY(store.Open(db_.toStdString(), false));
        QVERIFY(FillDemoHistory(store, store.DeviceId("00000001 00000002 00000003", "Quintavolte 1.11"),
                                kNow - 7 * 86400, kNow));
    }

    void eachSpanReadsTheLevelThatFitsIt()
    {
        MainUnit::Initialize();
        {
            HistoryPage page(*ActionManager, db_.toStdString(), 10);
            page.SetClock([] { return kNow; });
            page.resize(800, 400);
            page.show();
            QVERIFY(QTest::qWaitForWindowExposed(&page));
            struct Case {
                HistoryPage::Span Span;
                HistoryLevel Level;
                int MinPoints, MaxPoints;
            } cases[] = {
                {HistoryPage::LastHour, HistoryLevel::Raw, 361, 361},
                {HistoryPage::LastDay, HistoryLevel::Minute, 1440, 1441},
                {HistoryPage::LastWeek, HistoryLevel::Hour, 168, 169},
                {HistoryPage::LastYear, HistoryLevel::Hour, 168, 169},  // only a week was recorded
            };
            for (const Case &c : cases) {
                QElapsedTimer took;
                took.start();
                page.HistorySpanCB->setCurrentIndex(c.Span);
                emit page.HistorySpanCB->activated(c.Span);
                QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
                QCOMPARE(page.ShownLevel(), c.Level);
                const auto curves = Curves(page);
                QCOMPARE(curves.size(), 2);  // battery voltage and panel power, chosen at first
                for (QLineSeries *s : curves) {
                    QVERIFY2(s->count() >= c.MinPoints && s->count() <= c.MaxPoints,
                             qPrintable(s->name() + QString::number(s->count())));
                }
            }
            // A third variable chosen: a third curve, at once.
            page.SetChosen(6, true);
            QCOMPARE(Curves(page).size(), 3);

            // Thirty days of bars: four energies and the days nobody recorded; recorded
            // days have the panel's energy of a sunny or cloudy day.
            auto *bars = static_cast<QBarSeries *>(page.DailyView->chart()->series().at(0));
            QCOMPARE(bars->count(), 5);
            QBarSet *solar = bars->barSets().at(2);
            QBarSet *unknown = bars->barSets().at(4);
            QCOMPARE(solar->count(), 30);
            const double yesterday = solar->at(28);
            QVERIFY2(yesterday > 500 && yesterday < 3000, qPrintable(QString::number(yesterday)));
            QVERIFY(unknown->at(28) == 0.0);
            // Twenty days before the made-up week: unknown, not an energy of zero.
            QCOMPARE(solar->at(0), 0.0);
            QVERIFY(unknown->at(0) > yesterday);
        }
        MainUnit::Finalize();
    }

    void exportsWhatIsShown()
    {
        MainUnit::Initialize();
        {
            HistoryPage page(*ActionManager, db_.toStdString(), 10);
            page.SetClock([] { return kNow; });
            page.resize(800, 400);
            page.show();
            page.SetSpan(HistoryPage::LastHour);
            const QString csv = dir_.filePath(QStringLiteral("shown.csv"));
            page.FileDialogHook = [&](bool save, const QString &) { return save ? csv : QString(); };
            QTest::mouseClick(page.HistoryCsvBtn, Qt::LeftButton);
            const QList<QByteArray> lines = FileBytes(csv).trimmed().split('\n');
            QCOMPARE(lines.value(0), QByteArray("time,Adc.U_Accu,Adc.PowerSolar"));
            QCOMPARE(lines.size(), 1 + 361);
            QCOMPARE(lines.value(1).split(',').size(), 3);

            const QString png = dir_.filePath(QStringLiteral("shown.png"));
            QVERIFY(page.ExportPng(png));
            const QImage image(png);
            QVERIFY(!image.isNull());
            QVERIFY(image.height() > 200);
            // Not blank: the curves' colours are in it.
            bool coloured = false;
            for (int y = 0; y < image.height() && !coloured; y += 2)
                for (int x = 0; x < image.width() && !coloured; x += 2)
                    coloured = image.pixelColor(x, y).saturation() > 150;
            QVERIFY(coloured);
        }
        MainUnit::Finalize();
    }

    void aFileThatIsNotAHistoryIsRefusedAndKept()
    {
        MainUnit::Initialize();
        {
            HistoryPage page(*ActionManager, db_.toStdString(), 10);
            page.SetClock([] { return kNow; });
            page.show();
            const QString other = dir_.filePath(QStringLiteral("notes.txt"));
            QVERIFY(WriteFile(other, "not a history\n"));
            page.FileDialogHook = [&](bool, const QString &) { return other; };
            QTest::mouseClick(page.HistoryOpenBtn, Qt::LeftButton);
            QVERIFY(page.HistoryStateLabel->isVisible());
            QVERIFY2(page.HistoryStateLabel->text().contains(QStringLiteral("это не файл истории")),
                     qPrintable(page.HistoryStateLabel->text()));
            QVERIFY(Curves(page).isEmpty());
            QCOMPARE(FileBytes(other), QByteArray("not a history\n"));
            // Back to a real history.
            QVERIFY(page.OpenFile(db_));
            QVERIFY(!Curves(page).isEmpty());
        }
        MainUnit::Finalize();
    }

    void theWindowRecordsWhileConnectedAndTheMenuTurnsItOff()
    {
        const QString db = dir_.filePath(QStringLiteral("recorded.sqlite"));
        WindowHistoryOptions() = {db.toStdString(), 1};
        SetHistoryRecordingWanted(true);
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        TMainForm &f = c.Form();
        QVERIFY(f.IsTabShown(f.HistoryTS));
        QCOMPARE(f.MainPC->tabText(f.MainPC->indexOf(f.HistoryTS)), QStringLiteral("История"));
        QVERIFY(f.HistoryTS->Recording());
        QTRY_VERIFY_WITH_TIMEOUT(f.HistoryTS->Recorder()->Written() >= 2, 15000);
        // The unit's chip identity names it in the file.
        {
            HistoryStore store;
            QVERIFY(store.Open(db.toStdString(), true));
            const auto devices = store.Devices();
            QCOMPARE(devices.size(), size_t(1));
            QCOMPARE(QString::fromStdString(devices[0].Chip).split(QLatin1Char(' ')).size(), 3);
            const auto samples = store.Samples(devices[0].Id, 0, INT64_MAX);
            QVERIFY(!samples.empty());
            QVERIFY(samples.back().Values[0].has_value());
            QVERIFY(*samples.back().Values[0] > 10);  // the stand-in's battery
        }
        auto *item = f.ServiceMenu->findChild<QAction *>(QStringLiteral("HistoryRecordMenuItem"));
        QVERIFY(item == nullptr || item->isChecked());
        if (item == nullptr) {
            for (QAction *a : f.ServiceMenu->actions())
                if (a->objectName() == QStringLiteral("HistoryRecordMenuItem"))
                    item = a;
        }
        QVERIFY(item != nullptr);
        item->trigger();
        QVERIFY(!f.HistoryTS->Recording());
        QVERIFY(!HistoryRecordingWanted());
        item->trigger();
        QVERIFY(f.HistoryTS->Recording());
        QVERIFY(HistoryRecordingWanted());
        QVERIFY(ActionManager->Identified);  // the link went on throughout
    }

    void aDamagedFileStopsTheRecordingNotTheLink()
    {
        const QString db = dir_.filePath(QStringLiteral("damaged.sqlite"));
        {
            HistoryStore store;
            QVERIFY(store.Open(db.toStdString(), false));
            QVERIFY(FillDemoHistory(store, store.DeviceId("X", ""), kNow - 86400, kNow));
        }
        {
            // Into the main file, then damaged in the middle.
            HistoryStore store;
            QVERIFY(store.Open(db.toStdString(), false));
        }
        QByteArray bytes = FileBytes(db);
        QVERIFY(bytes.size() > 64 * 1024);
        for (int i = 16 * 1024; i < 48 * 1024; ++i)
            bytes[i] = char(0x5A);
        QVERIFY(WriteFile(db, bytes));
        QFile::remove(db + QStringLiteral("-wal"));
        QFile::remove(db + QStringLiteral("-shm"));
        WindowHistoryOptions() = {db.toStdString(), 1};
        SetHistoryRecordingWanted(true);
        Answers answers;
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        TMainForm &f = c.Form();
        QTRY_VERIFY_WITH_TIMEOUT(!f.HistoryTS->Recording(), 10000);
        QTRY_VERIFY(!answers.messages.isEmpty());
        QVERIFY2(answers.messages.last().contains(QStringLiteral("повреждён")), qPrintable(answers.messages.last()));
        QVERIFY(ActionManager->Identified);
        QVERIFY(FileBytes(db) == bytes);
        SetHistoryRecordingWanted(true);
    }

private:
    static constexpr int64_t kNow = 1'780'000'000;
    QTemporaryDir dir_;
    QString db_;
};

QTEST_MAIN(HistoryPageTest)
#include "history_page_test.moc"
