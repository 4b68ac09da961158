// The service menu's settings items against the stand-in: save to a file, a change at
// the device, then load with the changes listed for confirmation before anything is written.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QMenu>
#include <QRegularExpression>
#include <QtTest>

#include "ui/UiFixture.h"
#include "ui/dialogs/SettingsMenu.h"

using namespace uitest;

namespace {
constexpr int kViewTimeoutMs = 5000;

// Answers the restore question as built: records it, whether its default is No and whether
// it offers the calibration, and ticks that box when asked to.
struct RestoreAnswers {
    RestoreAnswers()
    {
        old = SetRestoreQuestionHook([this](QMessageBox &box) {
            questions << box.windowTitle() + QLatin1Char('|') + box.text();
            defaultIsNo << (box.defaultButton() != nullptr &&
                            box.standardButton(box.defaultButton()) == QMessageBox::No);
            QCheckBox *calibration = box.checkBox();
            offered << (calibration != nullptr ? calibration->text() : QString());
            if (calibration != nullptr && calibration->isChecked())
                offered.last() += QStringLiteral(" (ticked)");
            if (calibration != nullptr && tickCalibration)
                calibration->setChecked(true);
            return answerYes;
        });
    }
    ~RestoreAnswers() { SetRestoreQuestionHook(old); }
    QStringList questions;
    QList<bool> defaultIsNo;
    QStringList offered;  // the check box's text, empty without one
    bool answerYes = true;
    bool tickCalibration = false;
    RestoreQuestionHook old;
};

QString ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
}  // namespace

class SettingsMenuTest : public QObject {
    Q_OBJECT

    // Saves the device's settings to a file beside the stand-in, answers every later file
    // dialog with it, and changes its lines as given (each a whole line).
    static bool SaveAndChange(Connected &c, std::initializer_list<std::pair<const char *, const char *>> changes)
    {
        const QString path = c.sim.TempPath(QStringLiteral("settings.txt"));
        TMainForm &f = c.Form();
        f.SettingsFileDialogHook = [path](bool) { return path; };
        f.SaveSettingsMenuItem->trigger();
        QString text = ReadAll(path);
        for (const auto &[from, to] : changes) {
            if (!text.contains(QString::fromUtf8(from) + '\n'))
                return false;
            text.replace(QString::fromUtf8(from) + '\n', QString::fromUtf8(to) + '\n');
        }
        return WriteFile(path, text.toUtf8());
    }

private slots:
    void saveAChangeAndLoadItBackAfterConfirmation()
    {
        Answers answers;
        RestoreAnswers restore;
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();
        QCOMPARE(f.SaveSettingsMenuItem->text().remove(QLatin1Char('&')), QStringLiteral("Сохранить настройки…"));
        QCOMPARE(f.LoadSettingsMenuItem->text().remove(QLatin1Char('&')), QStringLiteral("Загрузить настройки…"));
        QVERIFY(f.ServiceMenu->actions().contains(f.LoadSettingsMenuItem));

        const QString path = sim.TempPath(QStringLiteral("settings.txt"));
        f.SettingsFileDialogHook = [&](bool) { return path; };
        f.SaveSettingsMenuItem->trigger();
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('\n')));
        const QString text = ReadAll(path);
        QVERIFY2(text.contains(QStringLiteral("\n# device: Quintavolte 1.11\n")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("\nReg.ChargeMaxU = 14.4\n")), qPrintable(text));

        QVERIFY(ActionManager->WriteNumber(MString(u"Reg.ChargeMaxU"), 14.25f));
        const int writesBefore = sim.Writes().size();

        // Declined: the list is shown, nothing is written.
        restore.answerYes = false;
        f.LoadSettingsMenuItem->trigger();
        QCOMPARE(restore.questions.size(), 1);
        QVERIFY2(restore.questions[0].contains(QStringLiteral("Reg.ChargeMaxU: 14.25 → 14.4")),
                 qPrintable(restore.questions[0]));
        // Only that change is listed.
        const QRegularExpression changeLine(QStringLiteral("^\\S+: \\S+ → \\S+$"), QRegularExpression::MultilineOption);
        QCOMPARE(restore.questions[0].count(changeLine), 1);
        QCOMPARE(sim.Writes().size(), writesBefore);
        QVERIFY(answers.messages.isEmpty());
        // Its own unit's file: no calibration question; Enter answers No.
        QCOMPARE(restore.offered, QStringList{QString()});
        QCOMPARE(restore.defaultIsNo, QList<bool>{true});

        restore.answerYes = true;
        f.LoadSettingsMenuItem->trigger();
        const QStringList writes = sim.Writes().mid(writesBefore);
        QCOMPARE(writes.size(), 2);
        QVERIFY2(writes[0].startsWith(QStringLiteral("Reg.ChargeMaxU 14.4")), qPrintable(writes[0]));
        QCOMPARE(writes[1], QStringLiteral("SaveConfigToRomNow 1"));
        QCOMPARE(answers.messages,
                 QStringList{QStringLiteral("Настройки загружены: 1, устройство сохранило конфигурацию.")});
    }

    // After two stored writes the stand-in takes nothing but its save command: the third
    // change is refused and the first two cannot be put back.
    void aLoadThatCannotBePutBackIsNeverSaved()
    {
        Answers answers;
        RestoreAnswers restore;
        Connected c;
        QVERIFY2(c.Start({"--lock-after", "2"}), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();
        QVERIFY(SaveAndChange(c, {{"Reg.ChargeMaxU = 14.4", "Reg.ChargeMaxU = 14.1"},
                                  {"Reg.ChargeI = 2.6", "Reg.ChargeI = 3.3"},
                                  {"Reg.LoadOnU = 12", "Reg.LoadOnU = 12.9"}}));

        f.LoadSettingsMenuItem->trigger();
        QCOMPARE(restore.questions.size(), 1);
        QCOMPARE(sim.Writes(), (QStringList{QStringLiteral("Reg.ChargeMaxU 14.1"), QStringLiteral("Reg.ChargeI 3.3")}));
        QCOMPARE(answers.messages.size(), 1);
        const QString &m = answers.messages[0];
        QVERIFY2(m.startsWith(QStringLiteral("Загрузка настроек прервана: записано 2 из 3.\n"
                                             "Reg.LoadOnU: refused by the device (exception reply)\n"
                                             "Не удалось вернуть прежние значения:\nReg.ChargeI: ")),
                 qPrintable(m));
        QVERIFY2(m.contains(QStringLiteral("\nReg.ChargeMaxU: ")), qPrintable(m));
        QVERIFY(ActionManager->HoldSave);

        // Neither disconnecting nor closing asks the device to keep what it holds now.
        f.ConnectMenuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!f.MainPC->isVisible(), kViewTimeoutMs);
        f.close();
        QVERIFY2(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")).isEmpty(), qPrintable(sim.Writes().join('\n')));
    }

    void aLoadRefusedPartWayPutsBackWhatItChanged()
    {
        Answers answers;
        RestoreAnswers restore;
        Connected c;
        QVERIFY2(c.Start({"--refuse-write", "Reg.LoadOnU"}), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();
        QVERIFY(SaveAndChange(
            c, {{"Reg.ChargeMaxU = 14.4", "Reg.ChargeMaxU = 14.1"}, {"Reg.LoadOnU = 12", "Reg.LoadOnU = 12.9"}}));

        f.LoadSettingsMenuItem->trigger();
        QCOMPARE(sim.Writes(),
                 (QStringList{QStringLiteral("Reg.ChargeMaxU 14.1"), QStringLiteral("Reg.ChargeMaxU 14.4")}));
        QCOMPARE(answers.messages,
                 QStringList{QStringLiteral("Загрузка настроек прервана: записано 1 из 2.\n"
                                            "Reg.LoadOnU: refused by the device (exception reply)\n"
                                            "Возвращены прежние значения: Reg.ChargeMaxU.\n"
                                            "Устройство хранит прежние настройки, конфигурация не сохранялась.")});
        QVERIFY(!ActionManager->HoldSave);
    }

    // A file saved from another unit: its calibration is written only with the box ticked.
    void anotherUnitsCalibrationIsWrittenOnlyWhenTicked()
    {
        Answers answers;
        RestoreAnswers restore;
        Connected c;
        QVERIFY2(c.Start({"--uid", "000000010000000200000003"}), c.error.c_str());
        StandIn &sim = c.sim;
        QVERIFY(SaveAndChange(c, {{"# chip: 00000001 00000002 00000003", "# chip: 8A3C1F07 00412233 1234ABCD"},
                                  {"Cal_U_Accu.Mul = 1", "Cal_U_Accu.Mul = 1.01"},
                                  {"Reg.ChargeI = 2.6", "Reg.ChargeI = 3"}}));
        TMainForm &f = c.Form();

        f.LoadSettingsMenuItem->trigger();
        QCOMPARE(restore.questions.size(), 1);
        const QString &q = restore.questions[0];
        QVERIFY2(q.contains(QStringLiteral("\nReg.ChargeI: 2.6 → 3\n")), qPrintable(q));
        QVERIFY2(
            q.contains(QStringLiteral("Файл сохранён с другого устройства.\nЕго калибровка записывается, только если "
                                      "отмечено «Вместе с калибровкой»:\nCal_U_Accu.Mul: 1 → 1.01")),
            qPrintable(q));
        QCOMPARE(restore.offered, QStringList{QStringLiteral("Вместе с калибровкой")});
        QCOMPARE(restore.defaultIsNo, QList<bool>{true});
        QCOMPARE(sim.Writes(), (QStringList{QStringLiteral("Reg.ChargeI 3"), QStringLiteral("SaveConfigToRomNow 1")}));

        restore.tickCalibration = true;
        f.LoadSettingsMenuItem->trigger();
        QCOMPARE(restore.offered.size(), 2);
        QCOMPARE(restore.offered[1], QStringLiteral("Вместе с калибровкой"));  // off until ticked
        QCOMPARE(sim.Writes().mid(2),
                 (QStringList{QStringLiteral("Cal_U_Accu.Mul 1.01"), QStringLiteral("SaveConfigToRomNow 1")}));
        QCOMPARE(answers.messages.size(), 2);
    }

    void aDamagedFileIsRefusedWithoutAQuestionOrAWrite()
    {
        Answers answers;
        RestoreAnswers restore;
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();
        const QString path = sim.TempPath(QStringLiteral("damaged.txt"));
        QVERIFY(WriteFile(path, "# device: Quintavolte 1.11\nReg.ChargeI = 3\nReg.ChargeMaxU = 14,2\n"));
        f.SettingsFileDialogHook = [&](bool) { return path; };
        f.LoadSettingsMenuItem->trigger();
        QVERIFY(restore.questions.isEmpty());
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("ничего не записано")), qPrintable(answers.messages[0]));
        QVERIFY2(answers.messages[0].endsWith(QStringLiteral(
                     "строка 3: значение «14,2» нельзя записать в Reg.ChargeMaxU: записано с запятой, а в файле "
                     "дробная часть отделяется точкой")),
                 qPrintable(answers.messages[0]));
        QVERIFY(sim.Writes().isEmpty());

        // A cancelled dialog does nothing at all.
        f.SettingsFileDialogHook = [](bool) { return QString(); };
        f.LoadSettingsMenuItem->trigger();
        f.SaveSettingsMenuItem->trigger();
        QCOMPARE(answers.messages.size(), 1);
    }
};

QTEST_MAIN(SettingsMenuTest)
#include "SettingsMenu_test.moc"
