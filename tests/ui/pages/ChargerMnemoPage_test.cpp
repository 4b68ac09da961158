// The charger mnemonic page: label texts, arrows and the lit bulb from variables set
// directly; its buttons and check boxes against the stand-in's write log.
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "ui/pages/ChargerMnemoPage.h"
#include "ui/widgets/FlowArrow.h"
#include "ui/widgets/PictureCanvas.h"
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
}  // namespace

class ChargerMnemoPageTest : public QObject {
    Q_OBJECT
private slots:
    // A box never filled from the device once wrote the state nobody had seen.
    void loadBoxesTakeClicksOnlyOnceRead()
    {
        Answers answers;
        Window w(kNoDevice);
        ChargerMnemoPage &page = *w.form->ChargerMnemoTS;
        page.Update();  // nothing read yet
        for (MouseWriteCheckBox *box : {page.LoadTurnOffCB, page.LoadNightModeCB}) {
            QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
            QTest::mouseClick(box, Qt::LeftButton);
            QTest::mouseClick(box, Qt::RightButton);
        }
        QVERIFY(!w.Var(u"Reg.bForceLoadOff")->WritePending);
        QVERIFY(!w.Var(u"Reg.bNightLightMode")->WritePending);
        QVERIFY(answers.messages.isEmpty());  // no write was even tried
        w.Var(u"Reg.bForceLoadOff")->Value = MString(u"1");
        w.Var(u"Reg.bNightLightMode")->Value = MString(u"0");
        page.Update();
        QVERIFY(page.LoadTurnOffCB->isEnabled() && page.LoadTurnOffCB->isChecked());
        QVERIFY(page.LoadNightModeCB->isEnabled() && !page.LoadNightModeCB->isChecked());
    }
    void labelsBeforeFirstReadShowPrefixAndDashes()
    {
        Window w(kNoDevice);
        ChargerMnemoPage &page = *w.form->ChargerMnemoTS;
        page.Update();
        const QList<QPair<QLabel *, QString>> expected{
            {page.PhotoCurrentLabel, QStringLiteral("I[A] --")},
            {page.PhotoVoltageLabel, QStringLiteral("U[В] --")},
            {page.PhotoPowerLabel, QStringLiteral("P[Вт] --")},
            {page.PhotoEnergyLabel, QStringLiteral("E[Вт·ч] --")},
            {page.BatCurrentLabel, QStringLiteral("I[A] --")},
            {page.BatVoltageLabel, QStringLiteral("U[В] --")},
            {page.BatPowerLabel, QStringLiteral("P[Вт] --")},
            {page.BatEnergyChargeLabel, QStringLiteral("E(заряд)[Вт·ч] --")},
            {page.BatEnergyDischargeLabel, QStringLiteral("E(разряд)[Вт·ч] --")},
            {page.LoadCurrentLabel, QStringLiteral("I[A] --")},
            {page.LoadVoltageLabel, QStringLiteral("U[В] --")},
            {page.LoadPowerLabel, QStringLiteral("P[Вт] --")},
            {page.LoadEnergyLabel, QStringLiteral("E[Вт·ч] --")},
            {page.ChargerAvddLabel, QStringLiteral("Umcu[В] --")},
            {page.ChargerTempLabel, QStringLiteral("t[°C] --")},
            {page.ChargerUptimeLabel, QStringLiteral("Ton[ч] --")},
        };
        for (const auto &[label, text] : expected)
            QCOMPARE(label->text(), text);
        // The A of "I[A]" is Latin, the В of "U[В]" Cyrillic.
        QCOMPARE(page.PhotoCurrentLabel->text().at(2), QChar(u'A'));
        QCOMPARE(page.PhotoVoltageLabel->text().at(2), QChar(u'\u0412'));
        // The refresh marks what it shows for reading.
        QCOMPARE(w.Var(u"Adc.U_Solar")->State, uint32_t(mbsRequested));
        QCOMPARE(w.Var(u"Reg.bNightLightMode")->State, uint32_t(mbsRequested));
    }

    void labelsRoundHalfAwayFromZero_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("12.25") << 12.25 << Local("12.3");
        QTest::newRow("-12.25") << -12.25 << Local("-12.3");
        QTest::newRow("0.04") << 0.04 << QStringLiteral("0");
        QTest::newRow("1234.56") << 1234.56 << Local("1234.6");
    }
    void labelsRoundHalfAwayFromZero()
    {
        QFETCH(double, value);
        QFETCH(QString, shown);
        Window w(kNoDevice);
        Set(w, u"Adc.U_Solar", value);
        Set(w, u"Adc.EnergyAccuDischarge", value);
        w.form->ChargerMnemoTS->Update();
        QCOMPARE(w.form->ChargerMnemoTS->PhotoVoltageLabel->text(), QStringLiteral("U[В] ") + shown);
        QCOMPARE(w.form->ChargerMnemoTS->BatEnergyDischargeLabel->text(), QStringLiteral("E(разряд)[Вт·ч] ") + shown);
    }

    void arrowsFollowPowerThresholds_data()
    {
        QTest::addColumn<double>("power");
        QTest::addColumn<bool>("arrow");
        QTest::addColumn<bool>("charge");
        QTest::addColumn<bool>("discharge");
        QTest::newRow("0.4") << 0.4 << false << false << false;
        QTest::newRow("-0.4") << -0.4 << false << false << false;
        QTest::newRow("0.5") << 0.5 << false << false << false;
        QTest::newRow("-0.5") << -0.5 << false << false << false;
        QTest::newRow("0.6") << 0.6 << true << true << false;
        QTest::newRow("-0.6") << -0.6 << false << false << true;
    }
    void arrowsFollowPowerThresholds()
    {
        QFETCH(double, power);
        QFETCH(bool, arrow);
        QFETCH(bool, charge);
        QFETCH(bool, discharge);
        Window w(kNoDevice);
        ChargerMnemoPage &page = *w.form->ChargerMnemoTS;
        Set(w, u"Adc.PowerAccu", power);
        Set(w, u"Adc.PowerSolar", power);
        Set(w, u"Adc.PowerLoad", power);
        page.Update();
        QCOMPARE(!page.ChargerAccuChargeArrowImg->isHidden(), charge);
        QCOMPARE(!page.ChargerAccuDischargeArrowImg->isHidden(), discharge);
        QCOMPARE(!page.ChargerSolarArrowImg->isHidden(), arrow);
        QCOMPARE(!page.ChargerLoadArrowImg->isHidden(), arrow);
    }

    void bulbLitWhileLoadIsOn()
    {
        Window w(kNoDevice);
        ChargerMnemoPage &page = *w.form->ChargerMnemoTS;
        Set(w, u"Reg.bLoadIsOn", 1);
        Set(w, u"Reg.bForceLoadOff", 1);
        page.Update();
        QVERIFY(!page.ChargerLoadOnImg->isHidden());
        QVERIFY(page.ChargerLoadOnImg->isPictureValid());
        QVERIFY(page.LoadTurnOffCB->isChecked());
        QVERIFY(!page.LoadNightModeCB->isChecked());
        Set(w, u"Reg.bLoadIsOn", 0);
        page.Update();
        QVERIFY(page.ChargerLoadOnImg->isHidden());
    }

    void shownArrowAnimatesOnScreen()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        ChargerMnemoPage &page = *c.w->form->ChargerMnemoTS;
        // The stand-in's load draws power at noon: its arrow runs, hidden ones do not.
        QTRY_VERIFY_WITH_TIMEOUT(page.ChargerLoadArrowImg->isVisible(), kViewTimeoutMs);
        QVERIFY(page.ChargerLoadArrowImg->isAnimating());
        QVERIFY(page.ChargerLoadArrowImg->geometry().intersects(page.LoadCurrentLabel->geometry()) == false);
        QTRY_VERIFY_WITH_TIMEOUT(!page.PhotoVoltageLabel->text().endsWith(QStringLiteral("--")), kViewTimeoutMs);
        c.w->form->MainPC->setCurrentWidget(c.w->form->PerifTS);
        QVERIFY(!page.ChargerLoadArrowImg->isAnimating());
    }

    void resetButtonWritesOnlyItsCounter()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        ChargerMnemoPage &page = *c.w->form->ChargerMnemoTS;
        QTest::mouseClick(page.BatEnergyDischargeResetBtn, Qt::LeftButton);
        QCOMPARE(c.sim.Writes(), QStringList{QStringLiteral("Adc.EnergyAccuDischarge 0")});
        QTest::mouseClick(page.PhotoEnergyResetBtn, Qt::LeftButton);
        QTest::mouseClick(page.LoadEnergyResetBtn, Qt::LeftButton);
        QTest::mouseClick(page.BatEnergyChargeResetBtn, Qt::LeftButton);
        QCOMPARE(c.sim.Writes(),
                 (QStringList{QStringLiteral("Adc.EnergyAccuDischarge 0"), QStringLiteral("Adc.EnergySolar 0"),
                              QStringLiteral("Adc.EnergyLoad 0"), QStringLiteral("Adc.EnergyAccuCharge 0")}));
        QCOMPARE(page.BatEnergyDischargeResetBtn->toolTip(), QStringLiteral("Сбросить счетчик"));
    }

    void checkBoxesWriteOnMouseReleaseOnly()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        ChargerMnemoPage &page = *c.w->form->ChargerMnemoTS;
        QTRY_VERIFY_WITH_TIMEOUT(c.w->Var(u"Reg.bForceLoadOff")->Value.Equals(u"0"), kViewTimeoutMs);
        // The boxes take clicks once the refresh has shown the state read.
        QTRY_VERIFY_WITH_TIMEOUT(page.LoadTurnOffCB->isEnabled() && page.LoadNightModeCB->isEnabled(), kViewTimeoutMs);
        QVERIFY(!page.LoadTurnOffCB->isChecked());

        // A right-button release does not toggle the box but writes its state.
        QTest::mousePress(page.LoadTurnOffCB, Qt::RightButton);
        QTest::mouseRelease(page.LoadTurnOffCB, Qt::RightButton);
        QVERIFY(!page.LoadTurnOffCB->isChecked());
        QCOMPARE(c.sim.WritesTo(QStringLiteral("Reg.bForceLoadOff")), QStringList{QStringLiteral("0")});

        // A key toggles the box but writes nothing; the refresh puts the device's state back.
        page.LoadTurnOffCB->setFocus();
        QTest::keyClick(page.LoadTurnOffCB, Qt::Key_Space);
        QVERIFY(page.LoadTurnOffCB->isChecked());
        QCOMPARE(c.sim.WritesTo(QStringLiteral("Reg.bForceLoadOff")).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!page.LoadTurnOffCB->isChecked(), kViewTimeoutMs);

        // A left click ticks it and writes 1.
        QTest::mouseClick(page.LoadTurnOffCB, Qt::LeftButton);
        QCOMPARE(c.sim.WritesTo(QStringLiteral("Reg.bForceLoadOff")),
                 (QStringList{QStringLiteral("0"), QStringLiteral("1")}));
        QTest::mouseClick(page.LoadNightModeCB, Qt::LeftButton);
        QCOMPARE(c.sim.WritesTo(QStringLiteral("Reg.bNightLightMode")), QStringList{QStringLiteral("1")});
        // The refresh shows the device's new state.
        QTRY_VERIFY_WITH_TIMEOUT(page.LoadTurnOffCB->isChecked() && page.LoadNightModeCB->isChecked(), kViewTimeoutMs);
        QVERIFY(WaitForRefreshes(2));
        QVERIFY(page.LoadTurnOffCB->isChecked() && page.LoadNightModeCB->isChecked());
    }
};

QTEST_MAIN(ChargerMnemoPageTest)
#include "ChargerMnemoPage_test.moc"
