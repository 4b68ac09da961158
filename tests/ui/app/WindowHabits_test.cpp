// What users of desktop programs expect of the window: every menu item from the keyboard in
// both languages, F10 and Ctrl+Q, the window's place and page kept between runs, readable
// colours in a dark palette, and one version in the program and its About window.
#include <QApplication>
#include <QLabel>
#include <QLineSeries>
#include <QValueAxis>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>
#include <map>

#include "core/Version.h"
#include "ui/app/AppMain.h"
#include "ui/app/Language.h"
#include "ui/app/Theme.h"
#include "ui/app/WindowMemory.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/JournalForm.h"
#include "ui/dialogs/LinkStatus.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/pages/DiagramCanvas.h"
#include "ui/pages/SupplyMnemoPage.h"
#include "ui/training/TrainingChart.h"
#include "ui/widgets/Contrast.h"
#include "ui/UiFixture.h"

using namespace uitest;

namespace {

constexpr int kViewTimeoutMs = 8000;

// The underlined letter of a menu text, lower case; empty when it has none or several.
QString Mnemonic(const QString &text)
{
    const QString single = QString(text).replace(QStringLiteral("&&"), QString());
    const qsizetype at = single.indexOf(QLatin1Char('&'));
    if (at < 0 || at + 1 >= single.size() || single.indexOf(QLatin1Char('&'), at + 1) >= 0)
        return {};
    return single.mid(at + 1, 1).toLower();
}

// A letter key as a keyboard of that script sends it (Cyrillic included).
void LetterKey(QWidget *target, const QString &letter, Qt::KeyboardModifiers modifiers)
{
    QTest::sendKeyEvent(QTest::Click, target, Qt::Key(letter.toUpper().at(0).unicode()), letter, modifiers);
}

// The menu items a test triggers must not act: their handlers are cut off for the test.
void Disarm(TMainForm &form, const QList<QAction *> &actions)
{
    for (QAction *a : actions)
        QObject::disconnect(a, &QAction::triggered, &form, nullptr);
}

QList<QAction *> Items(const QList<QAction *> &actions)
{
    QList<QAction *> items;
    for (QAction *a : actions)
        if (!a->isSeparator() && a->isVisible())
            items << a;
    return items;
}

// Each item of the list has one underlined letter, none twice.
void CheckLettersDistinct(const QList<QAction *> &items, const QString &where)
{
    std::map<QString, QString> seen;
    for (QAction *a : items) {
        const QString letter = Mnemonic(a->text());
        QVERIFY2(!letter.isEmpty(), qPrintable(where + QStringLiteral(": no letter in ") + a->text()));
        QVERIFY2(seen.emplace(letter, a->text()).second,
                 qPrintable(where + QStringLiteral(": ") + a->text() + QStringLiteral(" and ") + seen[letter]));
    }
}

// Alt and its letter reach each item of the menu bar; the service menu's items by Alt+its
// letter, then the item's letter.
void CheckBarReach(TMainForm &form)
{
    const QList<QAction *> bar = Items(form.menuBar()->actions());
    CheckLettersDistinct(bar, QStringLiteral("menu bar"));
    for (QAction *a : bar) {
        if (a->menu() != nullptr) {
            LetterKey(&form, Mnemonic(a->text()), Qt::AltModifier);
            QTRY_VERIFY2(a->menu()->isVisible(), qPrintable(a->text()));
            a->menu()->close();
            QTRY_VERIFY(!a->menu()->isVisible());
            continue;
        }
        QSignalSpy triggered(a, &QAction::triggered);
        LetterKey(&form, Mnemonic(a->text()), Qt::AltModifier);
        QTRY_VERIFY2_WITH_TIMEOUT(triggered.count() == 1, qPrintable(a->text()), 2000);
    }
}

void CheckMenuReach(TMainForm &form, QMenu *menu)
{
    const QList<QAction *> items = Items(menu->actions());
    CheckLettersDistinct(items, menu->title());
    for (QAction *a : items) {
        QSignalSpy triggered(a, &QAction::triggered);
        LetterKey(&form, Mnemonic(menu->title()), Qt::AltModifier);
        QTRY_VERIFY2(menu->isVisible(), qPrintable(menu->title()));
        LetterKey(menu, Mnemonic(a->text()), Qt::NoModifier);
        QTRY_VERIFY2(triggered.count() == 1, qPrintable(a->text()));
        QTRY_VERIFY(!menu->isVisible());
    }
}

// The colour most of the rectangle has: the picture's background behind a label.
QColor CommonColour(const QImage &image, const QRect &rect)
{
    std::map<QRgb, int> counts;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb best = 0;
    int most = -1;
    for (const auto &[rgb, n] : counts)
        if (n > most) {
            best = rgb;
            most = n;
        }
    return QColor(best);
}

// The canvas's picture alone (no labels on it) over the page's background.
QImage PictureOnly(QWidget *canvas)
{
    QImage image(canvas->size(), QImage::Format_RGB32);
    image.fill(canvas->palette().color(QPalette::Window));
    canvas->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

void ExpectContrast(const QColor &text, const QColor &background, double ratio, const QString &what)
{
    const double got = ContrastRatio(text, background);
    QVERIFY2(
        got >= ratio,
        qPrintable(
            QStringLiteral("%1: %2 on %3 has %4:1").arg(what, text.name(), background.name()).arg(got, 0, 'f', 2)));
}

class ConfigDir {
public:
    ConfigDir() : old_(qgetenv("XDG_CONFIG_HOME")) { qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8()); }
    ~ConfigDir() { qputenv("XDG_CONFIG_HOME", old_); }

private:
    QTemporaryDir dir_;
    QByteArray old_;
};

}  // namespace

class WindowHabitsTest : public QObject {
    Q_OBJECT
private slots:
    void menusAreReachedByTheirLetters_data()
    {
        QTest::addColumn<bool>("english");
        QTest::newRow("ru") << false;
        QTest::newRow("en") << true;
    }
    void menusAreReachedByTheirLetters()
    {
        QFETCH(bool, english);
        QVERIFY(InstallLanguage(english ? UiLanguage::English : UiLanguage::Russian));
        QString disconnectLetter;
        {
            Connected c;
            QVERIFY2(c.Start(), c.error.c_str());
            TMainForm &f = c.Form();
            f.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&f));
            // Every item at once, the expert's too, so that no two share a letter in any state.
            f.ExpertMenuItem->setVisible(true);
            f.LoadDebugMenuItem->setVisible(true);
            QList<QAction *> all = f.menuBar()->actions() + f.ServiceMenu->actions();
            Disarm(f, all);

            CheckMenuReach(f, f.ServiceMenu);
            f.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&f));
            CheckBarReach(f);
            disconnectLetter = Mnemonic(f.ConnectMenuItem->text());
        }
        // The disconnected view's bar, with the other caption of the connect item.
        Window idle(kNoDevice);
        QVERIFY(idle.ShowAndConnect());
        TMainForm &d = *idle.form;
        d.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QVERIFY(!d.ServiceMenuItem->isVisible());
        Disarm(d, d.menuBar()->actions());
        CheckBarReach(d);
        QCOMPARE(Mnemonic(d.ConnectMenuItem->text()), disconnectLetter);
        InstallLanguage(UiLanguage::Russian);
    }

    // F10 puts the menu bar in keyboard mode on its first item: arrows move, Enter runs.
    void f10OpensTheMenuBar()
    {
        Window w(kNoDevice);
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        Disarm(f, f.menuBar()->actions());
        QTest::keyClick(&f, Qt::Key_F10);
        QTRY_COMPARE(f.menuBar()->activeAction(), f.ConnectMenuItem);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QTRY_COMPARE(f.menuBar()->activeAction(), f.PortMenuItem);
        QSignalSpy port(f.PortMenuItem, &QAction::triggered);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(port.count(), 1);
    }

    // Ctrl+Q closes as the close box does: the connected device is asked to save first;
    // it works with the service menu hidden too.
    void ctrlQClosesLikeTheCloseBox()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        TMainForm &f = c.Form();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QVERIFY(f.QuitMenuItem->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
        QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!f.isVisible());
        QCOMPARE(c.sim.WritesTo(QStringLiteral("SaveConfigToRomNow")), QStringList{QStringLiteral("1")});

        Window idle(kNoDevice);
        QVERIFY(idle.ShowAndConnect());
        QVERIFY(!idle.form->ServiceMenuItem->isVisible());
        idle.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(idle.form.get()));
        QTest::keyClick(idle.form.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!idle.form->isVisible());
    }

    void dialogsCloseWithEnterAndEscape()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        TMainForm &f = c.Form();
        TAboutForm *about = f.AboutForm;
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            f.AboutMenuItemClick();
            QVERIFY(QTest::qWaitForWindowExposed(about));
            QTest::keyClick(about, key);
            QTRY_VERIFY(!about->isVisible());
        }
        // Tab reaches the sites.
        f.AboutMenuItemClick();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        about->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(about));
        QTest::keyClick(about, Qt::Key_Tab);
        QTRY_VERIFY(about->UrlPymLabel->hasFocus() || about->UrlZeltLabel->hasFocus());
        about->close();

        f.LinkStatsMenuItem->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(f.LinkStatsForm));
        f.LinkStatsForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.LinkStatsForm));
        QTest::keyClick(f.LinkStatsForm, Qt::Key_Return);
        QTRY_VERIFY(!f.LinkStatsForm->isVisible());

        // Tab leaves the journal's table for its buttons instead of walking its cells.
        TJournalForm *journal = ShowJournalForm(&f);
        QVERIFY(QTest::qWaitForWindowActive(journal));
        journal->JournalTable->setFocus();
        QTest::keyClick(journal->JournalTable, Qt::Key_Tab);
        QTRY_VERIFY(qobject_cast<QPushButton *>(QApplication::focusWidget()) != nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!journal->isVisible());
    }

    void linkCountersReset()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        TMainForm &f = c.Form();
        QTRY_VERIFY(ActionManager->Shell.Stats.GoodReplies > 10);
        f.LinkStatsMenuItem->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(f.LinkStatsForm));
        QTest::mouseClick(f.LinkStatsForm->ResetButton, Qt::LeftButton);
        QCOMPARE(f.LinkStatsForm->Values[1]->text(), QStringLiteral("0"));
        QVERIFY(ActionManager->Shell.Stats.GoodReplies < 5);

        // The status line's reading taken before the reset is not subtracted from the
        // counters after it (they would wrap to a rate of billions).
        ModbusShell::LinkStats before, after;
        before.Requests = before.GoodReplies = 1000;
        after.Requests = after.GoodReplies = 20;
        const QString port = QStringLiteral("/dev/ttyUSB0");
        QCOMPARE(LinkStatusText(after, before, 2.0, port), LinkStatusText(after, ModbusShell::LinkStats{}, 2.0, port));
        QVERIFY(CountersCleared(after, before));
        QVERIFY(!CountersCleared(before, after));
    }

    void placeReachableOnSomeScreen_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<bool>("reachable");
        QTest::newRow("inside") << QRect(100, 100, 600, 400) << true;
        QTest::newRow("on the second screen") << QRect(2100, 200, 600, 400) << true;
        QTest::newRow("half off the right edge") << QRect(3500, 100, 600, 400) << true;
        QTest::newRow("title just below the top") << QRect(100, -4, 600, 400) << true;
        QTest::newRow("title above the top") << QRect(100, -200, 600, 400) << false;
        QTest::newRow("right of every screen") << QRect(3900, 100, 600, 400) << false;
        QTest::newRow("below every screen") << QRect(100, 1200, 600, 400) << false;
        QTest::newRow("under the second screen's bottom") << QRect(2100, 1000, 600, 400) << false;
        QTest::newRow("far left") << QRect(-5000, 100, 600, 400) << false;
    }
    void placeReachableOnSomeScreen()
    {
        QFETCH(QRect, frame);
        QFETCH(bool, reachable);
        const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1000)};
        QCOMPARE(ReachableOnScreens(frame, screens), reachable);
    }

    // The start puts the window where it stood, or centres it when that place is off every
    // screen now.
    void windowReturnsToItsPlace()
    {
        ConfigDir config;
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (const QPoint &saved : {screen.topLeft() + QPoint(30, 40), QPoint(screen.right() + 500, 10)}) {
            QVERIFY(SaveWindowMemory({saved, QSize(600, 400), QString(), QString()}));
            QWidget window;
            window.resize(300, 200);
            PlaceMainWindow(window);
            const bool onScreen = screen.contains(saved);
            const QPoint centred = screen.center() - QPoint(window.width() / 2, window.height() / 2);
            QCOMPARE(window.pos(), onScreen ? saved : centred);
        }
    }

    void pageInFrontComesBack_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("front");
        QTest::newRow("peripherals") << "PerifTS"
                                     << "PerifTS";
        QTest::newRow("training") << "TrainingTS"
                                  << "TrainingTS";
        QTest::newRow("expert page without the code") << "ExpertTS"
                                                      << "ChargerMnemoTS";
        QTest::newRow("supply page in charger mode") << "SupplyMnemoTS"
                                                     << "ChargerMnemoTS";
        QTest::newRow("a page that is no more") << "GoneTS"
                                                << "ChargerMnemoTS";
    }
    void pageInFrontComesBack()
    {
        QFETCH(QString, saved);
        QFETCH(QString, front);
        ConfigDir config;
        QVERIFY(SaveWindowMemory({QPoint(20, 30), QSize(600, 400), saved, QStringLiteral("PbPresetTS")}));
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        Window w({sim.Path()});
        TMainForm &f = *w.form;
        f.RememberPlace(true);
        QVERIFY(w.ShowAndConnect());
        QTRY_VERIFY_WITH_TIMEOUT(f.IsConnectedView(), kViewTimeoutMs);
        QTRY_COMPARE(f.MainPC->currentWidget()->objectName(), front);
        QCOMPARE(f.BatConfigPC->currentWidget()->objectName(), QStringLiteral("PbPresetTS"));
        QTest::qWait(400);  // later refreshes leave the operator's page alone
        QCOMPARE(f.MainPC->currentWidget()->objectName(), front);

        // Closing keeps the page now in front and the window's place.
        f.MainPC->setCurrentWidget(f.BatConfigTS);
        f.BatConfigPC->setCurrentWidget(f.LiPresetTS);
        f.move(50, 60);
        f.close();
        const WindowMemory kept = LoadWindowMemory();
        QCOMPARE(kept.Page, QStringLiteral("BatConfigTS"));
        QCOMPARE(kept.SubPage, QStringLiteral("LiPresetTS"));
        QVERIFY(kept.Position.has_value());
        QCOMPARE(*kept.Position, f.pos());
        QCOMPARE(kept.Size, f.size());
    }

    // A run that never reached the device keeps the page of the last one that did.
    void runWithoutDeviceKeepsTheSavedPage()
    {
        ConfigDir config;
        QVERIFY(SaveWindowMemory({QPoint(20, 30), QSize(600, 400), QStringLiteral("PerifTS"), QString()}));
        Window w(kNoDevice);
        w.form->RememberPlace(true);
        QVERIFY(w.ShowAndConnect());
        w.form->close();
        QCOMPARE(LoadWindowMemory().Page, QStringLiteral("PerifTS"));
    }

    // Under a dark palette: the readings on the device's light display, the About window's
    // texts and the chart's series and legend stay readable.
    void darkPaletteKeepsContrast()
    {
        ApplyTheme(UiTheme::Dark);
        QVERIFY(IsDarkPalette(QApplication::palette()));
        MainUnit::Initialize();
        {
            ChargerMnemoPage charger;
            SupplyMnemoPage supply;
            for (QWidget *page : std::initializer_list<QWidget *>{&charger, &supply}) {
                page->resize(700, 380);
                page->show();
                QVERIFY(QTest::qWaitForWindowExposed(page));
                auto *canvas = page->findChild<DiagramCanvas *>();
                QVERIFY(canvas != nullptr);
                const QImage picture = PictureOnly(canvas);
                const QList<QLabel *> labels = canvas->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
                QVERIFY(labels.size() >= 5);
                for (QLabel *label : labels)
                    ExpectContrast(label->palette().color(QPalette::WindowText),
                                   CommonColour(picture, label->geometry()), kTextContrast, label->objectName());
            }

            TAboutForm about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            const QColor card = about.grab().toImage().pixelColor(2, 2);
            for (QLabel *label : {about.Label1, about.Label2, about.Label3, about.DateLabel})
                ExpectContrast(label->palette().color(QPalette::WindowText), card, kTextContrast,
                               QStringLiteral("About ") + label->text().left(20));

            TrainingChart chart;
            chart.resize(500, 300);
            chart.show();
            QVERIFY(QTest::qWaitForWindowExposed(&chart));
            const QColor plot = chart.Chart->backgroundBrush().color();
            const QColor window = chart.palette().color(QPalette::Window);
            for (auto id : {TrainingChart::Discharge, TrainingChart::Charge, TrainingChart::Ubat}) {
                ExpectContrast(chart.Series(id)->pen().color(), plot, kGraphicContrast, chart.Series(id)->name());
                ExpectContrast(chart.LegendBox(id)->palette().color(QPalette::WindowText), window, kTextContrast,
                               chart.LegendBox(id)->text());
            }
            ExpectContrast(chart.TimeAxis->labelsColor(), plot, kTextContrast, QStringLiteral("axis labels"));
        }
        MainUnit::Finalize();
        ApplyTheme(UiTheme::Light);
    }

    void contrastOfColours()
    {
        QCOMPARE(qRound(ContrastRatio(Qt::black, Qt::white) * 10), 210);
        QCOMPARE(ContrastRatio(QColor(0x12, 0x34, 0x56), QColor(0x12, 0x34, 0x56)), 1.0);
        // A colour that stands out already is kept; one that does not keeps its hue.
        QCOMPARE(WithContrast(Qt::blue, Qt::white, kTextContrast), QColor(Qt::blue));
        const QColor dark(0x2B, 0x30, 0x33);
        const QColor lifted = WithContrast(Qt::blue, dark, kTextContrast);
        QVERIFY(ContrastRatio(lifted, dark) >= kTextContrast);
        QCOMPARE(lifted.hue(), QColor(Qt::blue).hue());
    }

    // The window program prints the version its About window shows.
    void versionIsTheAboutWindows()
    {
        TAboutForm about;
        QCOMPARE(about.Label2->text(), QStringLiteral("v.1.1"));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QString::fromUtf8(QUINTAVOLTE_PATH), {QStringLiteral("--version")});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(program.readAllStandardOutput()),
                 QStringLiteral("quintavolte ") + about.Label2->text().mid(2) + QLatin1Char('\n'));
        QCOMPARE(QStringLiteral(QV_VERSION_TEXT), about.Label2->text().mid(2));
    }

    void themeOption_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("theme");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("none") << QStringList{"prog", "DIR"} << true << int(UiTheme::System)
                              << QStringList{"prog", "DIR"};
        QTest::newRow("dark") << QStringList{"prog", "--theme", "dark", "DIR"} << true << int(UiTheme::Dark)
                              << QStringList{"prog", "DIR"};
        QTest::newRow("--dark") << QStringList{"prog", "DIR", "--dark"} << true << int(UiTheme::Dark)
                                << QStringList{"prog", "DIR"};
        QTest::newRow("light") << QStringList{"prog", "--theme", "light"} << true << int(UiTheme::Light)
                               << QStringList{"prog"};
        QTest::newRow("unknown") << QStringList{"prog", "--theme", "blue"} << false << int(UiTheme::System)
                                 << QStringList{"prog", "--theme", "blue"};
        QTest::newRow("missing") << QStringList{"prog", "--theme"} << false << int(UiTheme::System)
                                 << QStringList{"prog", "--theme"};
    }
    void themeOption()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(int, theme);
        QFETCH(QStringList, left);
        UiTheme chosen = UiTheme::System;
        QCOMPARE(TakeThemeArgument(args, &chosen), ok);
        QCOMPARE(int(chosen), theme);
        QCOMPARE(args, left);

        // The window program's own option.
        AppOptions options;
        std::string error;
        QVERIFY(ParseAppOptions({"quintavolte", "--theme", "dark"}, &options, &error));
        QCOMPARE(options.Theme, UiTheme::Dark);
        QVERIFY(!ParseAppOptions({"quintavolte", "--theme", "blue"}, &options, &error));
        QCOMPARE(error, std::string("--theme needs dark, light or system"));
    }
};

QTEST_MAIN(WindowHabitsTest)
#include "WindowHabits_test.moc"
