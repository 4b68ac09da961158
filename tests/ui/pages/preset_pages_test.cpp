// The quick-setup pages against the stand-in: the six writes in order, the message chosen
// by the last write, the cell-count refusal that writes nothing, a device that stops
// answering.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <QLocale>
#include <csignal>

#include "ui/TrainingSimRig.h"
#include "device/BatteryPresets.h"
#include "ui/pages/PresetPages.h"
#include "ui/widgets/RadioGroupBox.h"
#include "ui/widgets/PictureCanvas.h"

namespace {

struct Expected {
    const char *name;
    double value;
};

void CompareWrites(const std::vector<rig::StoredWrite> &writes, const std::vector<Expected> &expected)
{
    QCOMPARE(writes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(QString::fromStdString(writes[i].Name), QString::fromLatin1(expected[i].name));
        QVERIFY2(std::abs(writes[i].Value - expected[i].value) < 1e-4,
                 qPrintable(QStringLiteral("%1 = %2").arg(expected[i].name).arg(writes[i].Value)));
    }
}

// A number in the locale's form.
QString Local(const char *text)
{
    return QString::fromLatin1(text).replace(QLatin1Char('.'), QLocale().decimalPoint());
}

const QString kDone = QString::fromUtf16(kPresetDoneText);
const QString kFailed = QString::fromUtf16(kPresetFailedText);

}  // namespace

class PresetPagesTest : public QObject {
    Q_OBJECT
private slots:
    void initialStatesAndWarning();
    void leadAcidWritesSixSettingsInOrder();
    void lithiumWritesSixSettingsInOrder();
    void lithiumCellCountOutsideRangeWritesNothing();
    void deviceThatStopsAnsweringGivesTheErrorMessage();
    void presetTheGateRefusesNamesTheValueAndWritesNothing();
    void settingTheDeviceRefusesIsNamedEveryTime();
    void enteringTheCellCountIsAnnounced();
};

void PresetPagesTest::initialStatesAndWarning()
{
    cActionManager device;
    PbPresetPage pb(device);
    LiPresetPage li(device);
    QCOMPARE(pb.AccuCapacityEdit->currentText(), QStringLiteral("26"));
    QCOMPARE(pb.AccuCapacityEdit->count(), 5);
    QCOMPARE(pb.BatteryUseRG->ItemIndex(), 1);
    QCOMPARE(pb.BatteryChemRG->ItemIndex(), 0);
    QCOMPARE(pb.BatteryVoltageRG->ItemIndex(), 0);
    QCOMPARE(pb.BatteryChemRG->Button(2)->text(), QStringLiteral("Заливной Ca/Sb"));
    QCOMPARE(li.LiBatCEdit->text(), QStringLiteral("20"));
    QCOMPARE(li.LiBatSEdit->text(), QStringLiteral("3"));
    QCOMPARE(li.LiBatTypeRG->ItemIndex(), 0);
    for (QLabel *warning : {pb.Label2, li.Label19}) {
        QVERIFY(warning->text().startsWith(QStringLiteral("Внимание!\n")));
        QVERIFY(warning->alignment() & Qt::AlignHCenter);
    }
    QVERIFY(pb.Image1->isPictureValid());
    QVERIFY(li.Image3->isPictureValid());

    // Digits only in the lithium fields; no sign in the capacity.
    li.LiBatSEdit->clear();
    QTest::keyClicks(li.LiBatSEdit, "a-4.5");
    QCOMPARE(li.LiBatSEdit->text(), QStringLiteral("45"));
    pb.AccuCapacityEdit->lineEdit()->clear();
    QTest::keyClicks(pb.AccuCapacityEdit->lineEdit(), "-12,5");
    QCOMPARE(pb.AccuCapacityEdit->currentText(), QStringLiteral("12,5"));
}

void PresetPagesTest::leadAcidWritesSixSettingsInOrder()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    rig::Messages messages;
    PbPresetPage page(sim.Manager);
    page.show();

    // The initial choices, through the button.
    QTest::mouseClick(page.ApplyQuickSetupButton, Qt::LeftButton);
    CompareWrites(sim.Writes(), {{"Reg.ChargeMaxU", 14.4},
                                 {"Reg.ChargeMinU", 13.1},
                                 {"Reg.ChargeI", 2.6},
                                 {"Reg.LoadOffU", 10.9},
                                 {"Reg.LoadOnU", 12.0},
                                 {"Reg.VoltTempCoef", -1.95}});
    QCOMPARE(messages.Texts, QStringList{kDone});

    const size_t before = sim.Writes().size();
    page.AccuCapacityEdit->setCurrentText(QStringLiteral("65"));
    page.BatteryUseRG->SetItemIndex(0);
    page.BatteryChemRG->SetItemIndex(2);
    page.BatteryVoltageRG->SetItemIndex(1);
    page.ApplyQuickSetupButtonClick();
    CompareWrites(sim.WritesSince(before), {{"Reg.ChargeMaxU", 30.0},
                                            {"Reg.ChargeMinU", 27.2},
                                            {"Reg.ChargeI", 9.75},
                                            {"Reg.LoadOffU", 21.4},
                                            {"Reg.LoadOnU", 24.0},
                                            {"Reg.VoltTempCoef", -1.95}});
    QCOMPARE(messages.Texts.size(), 2);
}

void PresetPagesTest::lithiumWritesSixSettingsInOrder()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    rig::Messages messages;
    LiPresetPage page(sim.Manager);

    QTest::mouseClick(page.LiBatApplyButton, Qt::LeftButton);
    CompareWrites(sim.Writes(), {{"Reg.ChargeMaxU", 12.9},
                                 {"Reg.ChargeMinU", 11.7},
                                 {"Reg.ChargeI", 5.0},
                                 {"Reg.LoadOffU", 9.6},
                                 {"Reg.LoadOnU", 10.2},
                                 {"Reg.VoltTempCoef", 0}});

    const size_t before = sim.Writes().size();
    page.LiBatCEdit->setText(QString());  // no capacity: the smallest current
    page.LiBatSEdit->setText(QStringLiteral("4"));
    page.LiBatTypeRG->SetItemIndex(1);
    page.LiBatApplyButtonClick();
    CompareWrites(sim.WritesSince(before), {{"Reg.ChargeMaxU", 14.6},
                                            {"Reg.ChargeMinU", 14.0},
                                            {"Reg.ChargeI", 0.3},
                                            {"Reg.LoadOffU", 10.0},
                                            {"Reg.LoadOnU", 12.0},
                                            {"Reg.VoltTempCoef", 0}});
    QCOMPARE(messages.Texts, (QStringList{kDone, kDone}));
}

void PresetPagesTest::lithiumCellCountOutsideRangeWritesNothing()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    rig::Messages messages;
    LiPresetPage page(sim.Manager);
    for (const char *cells : {"2", "10", ""}) {
        page.LiBatSEdit->setText(QString::fromLatin1(cells));
        page.LiBatApplyButtonClick();
    }
    QCOMPARE(messages.Texts.size(), 3);
    for (const QString &text : messages.Texts)
        QCOMPARE(text, QString::fromUtf16(kCellCountRefusedText));
    QTest::qWait(100);  // nothing queued may reach the device meanwhile
    QCOMPARE(sim.Writes().size(), size_t(0));
}

void PresetPagesTest::deviceThatStopsAnsweringGivesTheErrorMessage()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    rig::Messages messages;
    PbPresetPage page(sim.Manager);
    QVERIFY(sim.Sim.Signal(SIGSTOP));
    page.ApplyQuickSetupButtonClick();
    QCOMPARE(messages.Texts.size(), 1);
    const QStringList lines = messages.Texts.front().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.mid(0, 2).join(QStringLiteral("\r\n")), kFailed);
    QCOMPARE(lines.value(1), QStringLiteral("Проверьте подключение!"));
    QCOMPARE(lines.value(2), QStringLiteral("Не записано: Reg.ChargeMaxU, Reg.ChargeMinU, Reg.ChargeI, Reg.LoadOffU, "
                                            "Reg.LoadOnU, Reg.VoltTempCoef."));
}

// 1000 Ah for the greatest use of the capacity asks for a 150 A charge current: once the
// other five were written and success was reported.
void PresetPagesTest::presetTheGateRefusesNamesTheValueAndWritesNothing()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    rig::Messages messages;
    PbPresetPage page(sim.Manager);
    page.AccuCapacityEdit->setCurrentText(QStringLiteral("1000"));
    page.BatteryUseRG->SetItemIndex(0);
    page.ApplyQuickSetupButtonClick();
    QCOMPARE(messages.Texts.size(), 1);
    const QString &text = messages.Texts.front();
    QVERIFY2(text.contains(QStringLiteral("Reg.ChargeI")) && text.contains(QStringLiteral("«150»")) &&
                 text.contains(QStringLiteral("от 0 до 100 А")) && !text.contains(kDone),
             qPrintable(text));
    QTest::qWait(100);  // nothing queued may reach the device meanwhile
    QCOMPARE(sim.Writes().size(), size_t(0));
}

// A setting the device answers with an exception: the rest are written, the message names
// it, and the next preset sends it again instead of giving up on the old exception.
void PresetPagesTest::settingTheDeviceRefusesIsNamedEveryTime()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start({"--exception", "Reg.ChargeI"}), sim.Error.c_str());
    rig::Messages messages;
    PbPresetPage page(sim.Manager);
    for (int round = 1; round <= 2; ++round) {
        page.ApplyQuickSetupButtonClick();
        QCOMPARE(messages.Texts.size(), round);
        const QStringList lines = messages.Texts.back().split(QStringLiteral("\r\n"));
        QCOMPARE(lines, (QStringList{kFailed.split(QStringLiteral("\r\n")).front(),
                                     QStringLiteral("Устройство не приняло Reg.ChargeI = %1.").arg(Local("2.6"))}));
        QCOMPARE(sim.Writes().size(), size_t(5 * round));
        QCOMPARE(sim.Manager.Shell.FindVariable(MString(u"Reg.ChargeI"))->State, uint32_t(mbsException));
    }
}

void PresetPagesTest::enteringTheCellCountIsAnnounced()
{
    cActionManager device;
    LiPresetPage page(device);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QSignalSpy entered(&page, &LiPresetPage::CellCountEntered);
    page.LiBatCEdit->setFocus();
    QCOMPARE(entered.count(), 0);
    page.LiBatSEdit->setFocus();
    QTRY_COMPARE(entered.count(), 1);
}

QTEST_MAIN(PresetPagesTest)
#include "preset_pages_test.moc"
