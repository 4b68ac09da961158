// The power-supply page: displays, indicators, lamp and switch from variables set directly;
// the set-point editors' writes, the voltage question and the output switch's write order
// against the stand-in's write log.
#include <QLCDNumber>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTabWidget>
#include <QtTest>

#include "ui/widgets/SetpointEdit.h"
#include "ui/pages/SupplyMnemoPage.h"
#include "ui/widgets/IndicatorLamp.h"
#include "ui/widgets/PictureCanvas.h"
#include "ui/widgets/ToggleSwitch.h"
#include "ui/InputUtil.h"
#include "ui/UiFixture.h"

using namespace uitest;

namespace {
constexpr int kViewTimeoutMs = 5000;

void Set(Window &w, const char16_t *name, double value)
{
    w.Var(name)->Value = MString::FromReal(value, 10, 5);
}

QString Local(const char *number)
{
    return QString::fromLatin1(number).replace(QLatin1Char('.'), QLocale().decimalPoint());
}

// Output on at u volts with the set-points 12.0 V and 2.0 A, current i.
void SetOutput(Window &w, double maxU, double u, double i)
{
    Set(w, u"Reg.ChargeMaxU", maxU);
    Set(w, u"Reg.ChargeI", 2.0);
    Set(w, u"Adc.U_Accu", u);
    Set(w, u"Adc.I_Accu", i);
    Set(w, u"Adc.PowerAccu", u * i);
}

// Counts the wheel events that reach a widget.
class WheelCounter : public QObject {
public:
    explicit WheelCounter(QWidget *watched) { watched->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        Count += event->type() == QEvent::Wheel ? 1 : 0;
        return false;
    }
};

void TypeAndEnter(SetpointEdit *edit, const QString &text)
{
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}
}  // namespace

class SupplyMnemoPageTest : public QObject {
    Q_OBJECT
private slots:
    void outputOffShowsOffAndKeepsEditors()
    {
        Window w(kNoDevice);
        SupplyMnemoPage &page = *w.form->SupplyMnemoTS;
        page.SupUsetEdit->ShowValue(7.5);  // entered by the operator
        page.SupIsetEdit->ShowValue(0.8);
        SetOutput(w, 0, 7.4, 0.75);
        page.Update();
        QCOMPARE(page.DisplayText(page.SupPDisplay), QStringLiteral("OFF"));
        QVERIFY(!page.SupUstabLed->isLit());
        QVERIFY(!page.SupIstabLed->isLit());
        QVERIFY(page.SupplyLampLoadOnImg->isHidden());
        QVERIFY(!page.SupOutSwitch->isChecked());
        QCOMPARE(page.SupUsetEdit->text(), Local("7.50"));
        QCOMPARE(page.SupIsetEdit->text(), Local("0.80"));
        QCOMPARE(page.DisplayText(page.SupUDisplay), Local("07.4"));
        QCOMPARE(page.DisplayText(page.SupIDisplay), Local("0.75"));
    }

    void outputOnShowsDevicesSetPointsAndRegulation_data()
    {
        QTest::addColumn<double>("u");
        QTest::addColumn<double>("i");
        QTest::addColumn<bool>("uStab");
        QTest::addColumn<bool>("iStab");
        QTest::addColumn<QString>("uText");
        QTest::addColumn<QString>("iText");
        QTest::newRow("u 11.6") << 11.6 << 1.0 << true << false << Local("11.6") << Local("1.00");
        QTest::newRow("u 11.4") << 11.4 << 1.0 << false << false << Local("11.4") << Local("1.00");
        QTest::newRow("i 1.85") << 5.0 << 1.85 << false << true << Local("05.0") << Local("1.85");
        QTest::newRow("negative") << -0.3 << -0.2 << false << false << Local("00.0") << Local("0.00");
        QTest::newRow("3 significant") << 12.345 << 1.2345 << true << false << Local("12.3") << Local("1.23");
    }
    void outputOnShowsDevicesSetPointsAndRegulation()
    {
        QFETCH(double, u);
        QFETCH(double, i);
        QFETCH(bool, uStab);
        QFETCH(bool, iStab);
        QFETCH(QString, uText);
        QFETCH(QString, iText);
        Window w(kNoDevice);
        SupplyMnemoPage &page = *w.form->SupplyMnemoTS;
        SetOutput(w, 12.004, u, i);
        page.Update();
        QCOMPARE(page.SupUsetEdit->text(), Local("12.00"));
        QCOMPARE(page.SupIsetEdit->text(), Local("2.00"));
        QCOMPARE(page.DisplayText(page.SupUDisplay), uText);
        QCOMPARE(page.DisplayText(page.SupIDisplay), iText);
        QCOMPARE(page.SupUstabLed->isLit(), uStab);
        QCOMPARE(page.SupIstabLed->isLit(), iStab);
        QVERIFY(!page.SupplyLampLoadOnImg->isHidden());
        QVERIFY(page.SupOutSwitch->isChecked());
        QVERIFY(page.DisplayText(page.SupPDisplay) != QStringLiteral("OFF"));
        // The display shows the point where the locale has its separator.
        QCOMPARE(page.SupUDisplay->value(),
                 std::max(0.0, uText.replace(QLocale().decimalPoint(), QStringLiteral(".")).toDouble()));
    }

    void editingKeepsTheEditorsText()
    {
        Window w(kNoDevice);
        SupplyMnemoPage &page = *w.form->SupplyMnemoTS;
        SetOutput(w, 12, 12, 1);
        page.SupUsetEdit->ShowValue(20);
        QTest::keyPress(page.SupUsetEdit, Qt::Key_1);  // a key down starts the editing
        QVERIFY(bUsetEditing);
        page.Update();
        QVERIFY(page.SupUsetEdit->text() != Local("12.00"));
        QCOMPARE(page.SupIsetEdit->text(), Local("2.00"));
        page.SupUsetEditExit();
        QVERIFY(!bUsetEditing);
        page.Update();
        QCOMPARE(page.SupUsetEdit->text(), Local("12.00"));
    }
};

// Against the stand-in in power-supply mode, the page out of the refresh so that the
// test decides what the displays show.
class SupplyWritesTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Connected> c;
    SupplyMnemoPage *page = nullptr;

private slots:
    void init()
    {
        c = std::make_unique<Connected>();
        QVERIFY2(c->Start(), c->error.c_str());
        StandIn &sim = c->sim;
        TMainForm &f = c->Form();
        f.SupplyModeMenuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->currentWidget() == f.SupplyMnemoTS, kViewTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(sim.WritesTo(QStringLiteral("Reg.bModeCharger")), QStringList{QStringLiteral("0")},
                                  kViewTimeoutMs);
        page = f.SupplyMnemoTS;
        f.MainPC->setCurrentWidget(f.PerifTS);
        // Output showing 12.0 V.
        c->w->Var(u"Adc.U_Accu")->Value = MString::FromReal(12.0, 10, 5);
        // The set-points as read: 12 V and 1 A.
        c->w->Var(u"Reg.ChargeMaxU")->Value = MString(u"12");
        c->w->Var(u"Reg.ChargeI")->Value = MString(u"1");
        page->Update();
        QCOMPARE(page->DisplayText(page->SupUDisplay), Local("12.0"));
        QCOMPARE(page->SupUsetEdit->text(), Local("12.00"));
        QVERIFY(page->SupOutSwitch->isEnabled());
        // Steps need the focus, so the window is active.
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
    }
    void cleanup() { c.reset(); }

    void voltageRiseAboveThreeVoltsAsksFirst_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("written");
        QTest::newRow("3.5, yes") << Local("15.5") << true << true << "15.5";
        QTest::newRow("3.5, no") << Local("15.5") << true << false << "";
        QTest::newRow("3.0") << Local("15") << false << true << "15";
        QTest::newRow("2.9") << Local("14.9") << false << true << "14.9";
    }
    void voltageRiseAboveThreeVoltsAsksFirst()
    {
        QFETCH(QString, typed);
        QFETCH(bool, asked);
        QFETCH(bool, yes);
        QFETCH(QString, written);
        Answers answers;
        answers.answerYes = yes;
        TypeAndEnter(page->SupUsetEdit, typed);
        QTRY_COMPARE(answers.questions.size(), asked ? 1 : 0);
        const QString question =
            QStringLiteral("Внимание!|Задать напряжение ") + Local("15.50") + QStringLiteral("В ?");
        // After No the editor shows the device's set-point, not the value refused.
        if (asked)
            QCOMPARE(page->SupUsetEdit->text(), yes ? Local("15.50") : Local("12.00"));
        QCOMPARE(answers.questions, asked ? QStringList{question} : QStringList{});
        const QStringList writes = c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU"));
        QCOMPARE(writes.size(), written.isEmpty() ? 0 : 1);
        // The device stores what a single-precision number carries: 14.9 may come back as 14.89999.
        if (!written.isEmpty())
            QVERIFY2(std::fabs(writes[0].toDouble() - written.toDouble()) < 1e-4, qPrintable(writes[0]));
        QVERIFY(!bUsetEditing);
        QVERIFY(answers.messages.isEmpty());
    }

    void currentEnterWritesWithoutQuestion()
    {
        Answers answers;
        TypeAndEnter(page->SupIsetEdit, Local("6.5"));
        QCOMPARE(c->sim.WritesTo(QStringLiteral("Reg.ChargeI")), QStringList{QStringLiteral("6.5")});
        QVERIFY(answers.questions.isEmpty());
        QVERIFY(!bIsetEditing);
    }

    void eachStepIsWrittenAtOnce()
    {
        Answers answers;
        page->SupIsetEdit->setFocus();
        QTest::keyClick(page->SupIsetEdit, Qt::Key_Up);
        QTest::keyClick(page->SupIsetEdit, Qt::Key_Up);
        QCOMPARE(c->sim.WritesTo(QStringLiteral("Reg.ChargeI")),
                 (QStringList{QStringLiteral("1.1"), QStringLiteral("1.2")}));
        // A step of the voltage 4 V above the display asks first.
        answers.answerYes = false;
        page->SupUsetEdit->setFocus();
        page->SupUsetEdit->stepBy(4);
        QTRY_COMPARE(answers.questions.size(), 1);
        QVERIFY(c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU")).isEmpty());
        // The set-points as faked above: reads of the real device may have replaced them while
        // the question was open. No event runs between here and the step, so they stay.
        c->w->Var(u"Adc.U_Accu")->Value = MString::FromReal(12.0, 10, 5);
        c->w->Var(u"Reg.ChargeMaxU")->Value = MString(u"12");
        page->Update();
        page->SupUsetEdit->setFocus();
        page->SupUsetEdit->stepBy(3);  // 15 V: no question
        QCOMPARE(answers.questions.size(), 1);
        QCOMPARE(c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU")), QStringList{QStringLiteral("15")});
    }

    // What the operator typed is what is asked about, shown and written; the editor's range
    // and the gate refuse the rest, saying why, and the typed text stays for correcting.
    void typedTextDecidedAtEnter_data()
    {
        QTest::addColumn<bool>("voltage");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");      // empty: nothing
        QTest::addColumn<QString>("shown");        // the editor's text afterwards
        QTest::addColumn<QStringList>("message");  // parts of the one message, none when empty
        QTest::addColumn<QString>("question");
        const QStringList none;
        QTest::newRow("50 V") << true << "50"
                              << ""
                              << "50" << QStringList{"«50»", "Reg.ChargeMaxU", "от 0 до 33 В"} << "";
        QTest::newRow("12.5 V") << true << "12.5"
                                << "12.5"
                                << "12,50" << none << "";
        QTest::newRow("12,5 V") << true << "12,5"
                                << "12.5"
                                << "12,50" << none << "";
        QTest::newRow("15.5 V asks") << true << "15.5"
                                     << "15.5"
                                     << "15,50" << none << "Задать напряжение 15,50В ?";
        QTest::newRow("empty") << true << ""
                               << ""
                               << "" << QStringList{"Reg.ChargeMaxU", "не введено"} << "";
        QTest::newRow("minus") << true << "-"
                               << ""
                               << "-" << QStringList{"«-»", "это не число"} << "";
        QTest::newRow("10 A") << false << "10"
                              << ""
                              << "10" << QStringList{"«10»", "Reg.ChargeI", "от 0 до 8 А"} << "";
        QTest::newRow("6.25 A") << false << "6.25"
                                << "6.25"
                                << "6,25" << none << "";
    }
    void typedTextDecidedAtEnter()
    {
        QFETCH(bool, voltage);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(QString, shown);
        QFETCH(QStringList, message);
        QFETCH(QString, question);
        SetpointEdit *edit = voltage ? page->SupUsetEdit : page->SupIsetEdit;
        const QString name = voltage ? QStringLiteral("Reg.ChargeMaxU") : QStringLiteral("Reg.ChargeI");
        edit->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
        Answers answers;
        TypeAndEnter(edit, typed);
        QTRY_COMPARE(answers.questions.size(), question.isEmpty() ? 0 : 1);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(answers.questions,
                 question.isEmpty() ? QStringList{} : QStringList{QStringLiteral("Внимание!|") + question});
        const QStringList writes = c->sim.WritesTo(name);
        QCOMPARE(writes.size(), written.isEmpty() ? 0 : 1);
        if (!written.isEmpty())
            QVERIFY2(std::fabs(writes[0].toDouble() - written.toDouble()) < 1e-4, qPrintable(writes[0]));
        QCOMPARE(answers.messages.size(), message.isEmpty() ? 0 : 1);
        for (const QString &part : message)
            QVERIFY2(answers.messages[0].contains(part), qPrintable(answers.messages[0]));
    }

    // The wheel and PageUp/PageDown once stepped a set-point and wrote it at once.
    void wheelAndPageKeysLeaveTheSetPointsAlone()
    {
        Answers answers;
        page->SupUsetEdit->ShowValue(5.0);
        page->SupIsetEdit->ShowValue(1.0);
        page->SupOutSwitch->setFocus();
        for (SetpointEdit *edit : {page->SupUsetEdit, page->SupIsetEdit}) {
            const double before = edit->value();
            WheelCounter behind(edit->parentWidget());
            TurnWheel(edit, 1);
            TurnWheel(edit, -2);
            QVERIFY(!edit->hasFocus());
            edit->setFocus();
            TurnWheel(edit, 1);
            QTest::keyClick(edit, Qt::Key_PageUp);
            QTest::keyClick(edit, Qt::Key_PageDown);
            QCOMPARE(edit->value(), before);
            QCOMPARE(behind.Count, 3);  // the turns went on to the page behind
        }
        QVERIFY(c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU")).isEmpty());
        QVERIFY(c->sim.WritesTo(QStringLiteral("Reg.ChargeI")).isEmpty());
        // The arrow keys still step and write.
        page->SupUsetEdit->setFocus();
        QTest::keyClick(page->SupUsetEdit, Qt::Key_Up);
        page->SupIsetEdit->setFocus();
        QTest::keyClick(page->SupIsetEdit, Qt::Key_Up);
        QCOMPARE(c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU")), QStringList{QStringLiteral("6")});
        QCOMPARE(c->sim.WritesTo(QStringLiteral("Reg.ChargeI")), QStringList{QStringLiteral("1.1")});
        QVERIFY(answers.questions.isEmpty());
        QVERIFY(answers.messages.isEmpty());
    }

    // "30", Enter, Enter once wrote 30 V: the real question's default is No.
    void secondEnterAnswersTheQuestionNo()
    {
        Answers answers;
        const QuestionHook recorder = SetQuestionHook(nullptr);  // the real message box
        QStringList defaults;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            defaults << (box->defaultButton() ? box->defaultButton()->text() : QString());
            QTest::keyClick(box, Qt::Key_Return);
        });
        answer.start(20);
        page->SupUsetEdit->setFocus();
        TypeAndEnter(page->SupUsetEdit, Local("30"));
        QTRY_COMPARE(defaults.size(), 1);
        SetQuestionHook(recorder);
        QCOMPARE(defaults[0],
                 QMessageBox(QMessageBox::NoIcon, {}, {}, QMessageBox::No).button(QMessageBox::No)->text());
        QVERIFY(c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU")).isEmpty());
        QCOMPARE(page->SupUsetEdit->text(), Local("12.00"));  // the device's set-point again
    }

    // Up held past the 3 V rise: after No the set-point once kept climbing, with writes.
    void heldUpStopsAtTheQuestion()
    {
        Answers answers;
        answers.answerYes = false;
        page->SupUsetEdit->setFocus();
        QVERIFY(page->SupUsetEdit->hasFocus());
        HoldKey(page->SupUsetEdit, Qt::Key_Up, 8);
        QTRY_COMPARE(answers.questions.size(), 1);
        const QStringList written = c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU"));
        QCOMPARE(written, (QStringList{"13", "14", "15"}));  // steps up to 3 V above the output
        QCOMPARE(page->SupUsetEdit->text(), Local("15.00"));
        // The key is still down and its repeat runs on: nothing more is stepped or written.
        page->SupUsetEdit->setFocus();
        HoldKey(page->SupUsetEdit, Qt::Key_Up, 4, true);
        QVERIFY(!QTest::qWaitFor([&] { return c->sim.WritesTo(QStringLiteral("Reg.ChargeMaxU")) != written; }, 3000));
        QCOMPARE(answers.questions.size(), 1);
        QCOMPARE(page->SupUsetEdit->text(), Local("15.00"));
    }

    // Editors never filled from the device once switched the output on with 0 V and 0 A.
    void outputSwitchWritesOnlyShownSetPoints()
    {
        Answers answers;
        c->w->Var(u"Reg.ChargeMaxU")->Value = MString(u"--");
        c->w->Var(u"Reg.ChargeI")->Value = MString(u"--");
        page->ForgetSetpoints();
        page->Update();
        QCOMPARE(page->SupUsetEdit->text(), QStringLiteral("--"));
        QCOMPARE(page->SupIsetEdit->text(), QStringLiteral("--"));
        QVERIFY(!page->SupOutSwitch->isEnabled());
        QTest::mouseClick(page->SupOutSwitch, Qt::LeftButton);
        page->SupOutSwitch->click();
        page->SupUsetEdit->setFocus();
        QTest::keyClick(page->SupUsetEdit, Qt::Key_Up);
        QTest::keyClick(page->SupUsetEdit, Qt::Key_Return);
        QVERIFY(!page->SupOutSwitch->isChecked());
        page->SupIsetEdit->setFocus();  // the editing ends (the switch takes no focus now)

        // Read with the output off: the editors show the device's values all the same.
        c->w->Var(u"Reg.ChargeMaxU")->Value = MString(u"0");
        c->w->Var(u"Reg.ChargeI")->Value = MString(u"2.5");
        page->Update();
        QCOMPARE(page->SupUsetEdit->text(), Local("0.00"));
        QCOMPARE(page->SupIsetEdit->text(), Local("2.50"));
        QVERIFY(page->SupOutSwitch->isEnabled());
        // 0.1 V or less is no output: refused with a message.
        page->SupUsetEdit->ShowValue(0.1);
        QTest::mouseClick(page->SupOutSwitch, Qt::LeftButton);
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("0,1 В")), qPrintable(answers.messages[0]));
        QVERIFY(!page->SupOutSwitch->isChecked());
        // More than 3 V above the output asks first; No writes nothing.
        answers.answerYes = false;
        page->SupUsetEdit->ShowValue(16);
        QTest::mouseClick(page->SupOutSwitch, Qt::LeftButton);
        QTRY_COMPARE(answers.questions, QStringList{QStringLiteral("Внимание!|Задать напряжение ") + Local("16.00") +
                                                    QStringLiteral("В ?")});
        QVERIFY(!page->SupOutSwitch->isChecked());
        QCOMPARE(c->sim.Writes(), QStringList{QStringLiteral("Reg.bModeCharger 0")});
    }

    void outputSwitchWritesCurrentBeforeVoltage()
    {
        c->w->Var(u"Reg.ChargeMaxU")->Value = MString(u"0");
        page->Update();
        QVERIFY(!page->SupOutSwitch->isChecked());
        page->SupUsetEdit->ShowValue(9.5);
        page->SupIsetEdit->ShowValue(1.5);
        QTest::mouseClick(page->SupOutSwitch, Qt::LeftButton);
        QCOMPARE(c->sim.Writes(), (QStringList{QStringLiteral("Reg.bModeCharger 0"), QStringLiteral("Reg.ChargeI 1.5"),
                                               QStringLiteral("Reg.ChargeMaxU 9.5")}));
        QVERIFY(page->SupOutSwitch->isChecked());
        QTest::mouseClick(page->SupOutSwitch, Qt::LeftButton);
        QCOMPARE(c->sim.Writes().mid(1),
                 (QStringList{QStringLiteral("Reg.ChargeI 1.5"), QStringLiteral("Reg.ChargeMaxU 9.5"),
                              QStringLiteral("Reg.ChargeMaxU 0")}));
        // A switch moved by the refresh writes nothing.
        c->w->Var(u"Reg.ChargeMaxU")->Value = MString::FromReal(9.5, 10, 5);
        page->Update();
        QVERIFY(page->SupOutSwitch->isChecked());
        QCOMPARE(c->sim.Writes().size(), 4);
    }

    // The voltage switches the output on: it goes out only once the current limit before it
    // was acknowledged. A device that does not answer gets neither, and the operator is told.
    void outputSwitchWritesNoVoltageAfterAnUnacknowledgedCurrent()
    {
        Answers answers;
        c->w->Var(u"Reg.ChargeMaxU")->Value = MString(u"0");
        page->Update();
        QVERIFY(!page->SupOutSwitch->isChecked());
        page->SupUsetEdit->ShowValue(9.5);
        page->SupIsetEdit->ShowValue(1.25);
        const qsizetype before = c->sim.Writes().size();
        QVERIFY(c->sim.Signal(SIGSTOP));
        QTest::mouseClick(page->SupOutSwitch, Qt::LeftButton);
        QVERIFY(c->sim.Signal(SIGCONT));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("Reg.ChargeI")), qPrintable(answers.messages[0]));
        QVERIFY2(answers.messages[0].contains(QStringLiteral("Reg.ChargeMaxU")), qPrintable(answers.messages[0]));
        // Whatever reached the line before a later write is in the log by then: no voltage.
        QVERIFY(QTest::qWaitFor([] { return ActionManager->WriteNumber(MString(u"Di1.ChangesCounter"), 0); }, 5000));
        QTRY_VERIFY_WITH_TIMEOUT(!c->sim.WritesTo("Di1.ChangesCounter").isEmpty(), 5000);
        const QStringList after = c->sim.Writes().mid(before);
        QVERIFY2(!after.contains(QStringLiteral("Reg.ChargeMaxU 9.5")), qPrintable(after.join('\n')));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int status = 0;
    {
        SupplyMnemoPageTest display;
        status |= QTest::qExec(&display, argc, argv);
    }
    {
        SupplyWritesTest writes;
        status |= QTest::qExec(&writes, argc, argv);
    }
    return status;
}
#include "SupplyMnemoPage_test.moc"
