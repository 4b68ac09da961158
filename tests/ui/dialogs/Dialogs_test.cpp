// The small windows: About (modeless, on top, closes on a click on its free area, opens
// the two sites), the password dialog and the dump viewer as they open.
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <QScreen>
#include "ui/dialogs/AboutForm.h"
#include "ui/app/AppMain.h"
#include "ui/MainForm.h"
#include "ui/dialogs/DebugViewerForm.h"
#include "ui/dialogs/ExpertPasswordForm.h"
#include "ui/UiFixture.h"
#include "ui/app/Language.h"

using namespace uitest;

// Stands in for the system browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    // Captions stay as designed: the program sets no display name of its own, which the
    // platform would append to every caption; and the main window opens in the middle.
    void captionsGetNoSuffixAndTheMainWindowOpensCentred()
    {
        SetApplicationIdentity();
        QCOMPARE(QGuiApplication::applicationName(), QStringLiteral("quintavolte"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
        // Nothing remembered from an earlier run (other tests start the program).
        QTemporaryDir config;
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QWidget form;
        form.setFixedSize(TMainForm::ClientSize());
        PlaceMainWindow(form);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(form.geometry().topLeft() != QPoint(0, 0));
        QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);
    }

    void aboutIsModelessOnTopAndNamesTheProgram()
    {
        Window w(kNoDevice);
        w.form->show();
        w.form->AboutMenuItem->trigger();
        TAboutForm &about = *w.form->AboutForm;
        QVERIFY(about.isVisible());
        QVERIFY(!about.isModal());
        QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(about.windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(about.Label1->text(), QStringLiteral("Quintavolte Control"));
        QCOMPARE(about.Label2->text(), QStringLiteral("v.1.1"));
        QVERIFY(about.Label3->text().startsWith(QStringLiteral("Эта программа применяется")));
        QVERIFY(about.Label3->text().contains(QStringLiteral("Quintavolte производства \nООО \"ЗЕЛТ\"\n")));
        QVERIFY(about.Label3->text().endsWith(QStringLiteral("Больше сведений о наших разработках на сайтах:")));
        // "May 22 2021": month abbreviation, day without padding, year.
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Z][a-z]{2} [1-9][0-9]? [0-9]{4}$"))
                     .match(about.DateLabel->text())
                     .hasMatch(),
                 qPrintable(about.DateLabel->text()));
        // Everything fits: no label is cut by the window.
        for (QLabel *label : about.findChildren<QLabel *>())
            QVERIFY2(about.rect().contains(label->geometry()), qPrintable(label->text()));
        // The main window still takes input meanwhile.
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void aboutOpensSitesAndClosesOnFreeArea()
    {
        Window w(kNoDevice);
        w.form->show();
        UrlRecorder browser;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
        TAboutForm &about = *w.form->AboutForm;
        w.form->AboutMenuItemClick();
        QTest::mouseClick(about.UrlPymLabel, Qt::LeftButton);
        QTest::mouseClick(about.UrlZeltLabel, Qt::LeftButton);
        QCOMPARE(browser.urls, (QList<QUrl>{QUrl(QStringLiteral("https://pym.example/")),
                                            QUrl(QStringLiteral("https://zelt.example/"))}));
        QVERIFY(about.UrlPymLabel->text().endsWith(QStringLiteral(".example")));
        QVERIFY(about.isVisible());  // a click on a site or a text leaves it open
        QTest::mouseClick(about.Label3, Qt::LeftButton);
        QVERIFY(about.isVisible());
        // The free area between the last site and the date.
        const QPoint free((about.width()) / 2, (about.UrlZeltLabel->geometry().bottom() + about.DateLabel->y()) / 2);
        QVERIFY(about.childAt(free) == nullptr);
        QTest::mouseClick(&about, Qt::LeftButton, {}, free);
        QVERIFY(!about.isVisible());
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    void questionButtonsSpeakRussian()
    {
        QVERIFY(InstallLanguage(UiLanguage::Russian));
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Вопрос"), QStringLiteral("Записать?"),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Нет"));
    }

    void passwordDialogTexts()
    {
        Window w(kNoDevice);
        TExpertPasswordForm &dialog = *w.form->ExpertPasswordForm;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Введите пароль"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Для доступа к расширенным возможностям по настройке и "
                                                       "тестированию устройства введите пароль эксперта"));
        QVERIFY(dialog.OkButton->isDefault());
        QCOMPARE(dialog.ExpertPassEdit->echoMode(), QLineEdit::Normal);
    }

    void dumpViewerStartsWithItsHint()
    {
        Window w(kNoDevice);
        TDebugViewerForm &viewer = *w.form->DebugViewerForm;
        QCOMPARE(viewer.windowTitle(), QStringLiteral("View Debug Dump"));
        QCOMPARE(viewer.LoadDumpButton->text(), QStringLiteral("Открыть"));
        QCOMPARE(viewer.DumpMemo->toPlainText(), QStringLiteral("Откройте дамп для просмотра его содержимого"));
        // Ctrl+D opens it once the menu item is there.
        QCOMPARE(w.form->LoadDebugMenuItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
        // Cancelling the open dialog still clears the hint.
        viewer.DebugOpenDialogHook = [] { return QString(); };
        viewer.LoadDumpButtonClick();
        QCOMPARE(viewer.DumpMemo->toPlainText(), QString());
    }
};

QTEST_MAIN(DialogsTest)
#include "Dialogs_test.moc"
