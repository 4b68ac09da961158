#include "ui/dialogs/SettingsMenu.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>

#include "core/Notify.h"
#include "device/SettingsFile.h"
#include "device/SettingsTransfer.h"
#include "device/WriteJournal.h"
#include "device/WriteGate.h"
#include "ui/app/QtHooks.h"

namespace {

// The texts of the settings file's menu items, which are plain functions.
struct SettingsText {
    Q_DECLARE_TR_FUNCTIONS(SettingsMenu)
};

QString Caption()
{
    return SettingsText::tr("Настройки");
}

void Show(const QString &text)
{
    ShowMessageBox(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), text.size()));
}

QString Q(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

// The blocking device work runs under the busy cursor, as a connect does.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
};

RestoreQuestionHook &RestoreQuestion()
{
    static RestoreQuestionHook hook;
    return hook;
}

// Reads every setting and the chip identity from the device under a busy cursor. When some
// cannot be read, says which, followed by what was therefore not done, and returns false.
bool ReadSettingsOrSay(cActionManager &manager, std::vector<std::pair<std::string, std::string>> *values,
                       std::string *chip, const QString &notDone)
{
    std::vector<std::string> unread;
    bool read = false;
    {
        BusyCursor busy;
        read = ReadDeviceSettings(manager, values, &unread, chip);
    }
    if (read)
        return true;
    QStringList names;
    for (const std::string &n : unread)
        names << Q(n);
    Show(SettingsText::tr("Не удалось прочитать из устройства: %1\n%2").arg(names.join(QStringLiteral(", ")), notDone));
    return false;
}

QString ValueReason(const std::string &why)
{
    const QString w = Q(why);
    if (w.startsWith(QStringLiteral("is out of range ")))
        return SettingsText::tr("вне диапазона ") + w.mid(16);
    if (w.startsWith(QStringLiteral("has a decimal comma")))
        return SettingsText::tr("записано с запятой, а в файле дробная часть отделяется точкой");
    if (w == QStringLiteral("is not an integer"))
        return SettingsText::tr("не целое число");
    if (w == QStringLiteral("is not a number"))
        return SettingsText::tr("не число");
    if (w.startsWith(QStringLiteral("is beyond the range")))
        return SettingsText::tr("слишком велико для этой переменной");
    return w;
}

// The file's fault in the window's language.
QString FaultText(const SettingsFault &f)
{
    const QString line = SettingsText::tr("строка %1: ").arg(f.Line);
    const QString name = Q(f.Name), value = Q(f.Value), other = Q(f.Other);
    switch (f.Kind) {
    case SettingsFaultKind::NotASettingsFile:
        return SettingsText::tr("это не файл настроек Quintavolte (нет строки «# device:»)");
    case SettingsFaultKind::NotALine:
        return line + SettingsText::tr("ожидается «ИМЯ = ЗНАЧЕНИЕ», а не «%1»").arg(value);
    case SettingsFaultKind::NoLineEnd:
        return line + SettingsText::tr("последняя строка не закончена, файл мог быть обрезан: «%1»").arg(value);
    case SettingsFaultKind::ControlCharacter:
        return line + SettingsText::tr("управляющий символ %1, это не строка текстового файла").arg(other);
    case SettingsFaultKind::NoName:
        return line + SettingsText::tr("нет имени перед «=»");
    case SettingsFaultKind::NoValue:
        return line + SettingsText::tr("нет значения для %1").arg(name);
    case SettingsFaultKind::UnknownName:
        return line + SettingsText::tr("неизвестная переменная %1").arg(name);
    case SettingsFaultKind::NotASetting:
        return line + SettingsText::tr("%1 не является настройкой").arg(name);
    case SettingsFaultKind::GivenTwice:
        return line + SettingsText::tr("%1 указана второй раз (первый раз в строке %2)").arg(name, other);
    case SettingsFaultKind::BadValue:
        return line + SettingsText::tr("значение «%1» нельзя записать в %2: %3").arg(value, name, ValueReason(f.Other));
    case SettingsFaultKind::OtherDevice:
        return line + SettingsText::tr("файл для устройства %1, а подключено %2").arg(value, other);
    case SettingsFaultKind::NotOnThisVersion:
        return line + SettingsText::tr("у устройства %1 нет настройки %2").arg(other, name);
    case SettingsFaultKind::BadChip:
        return line +
               SettingsText::tr("идентификатор микросхемы «%1» не состоит из трёх шестнадцатеричных слов по 8 цифр")
                   .arg(value);
    case SettingsFaultKind::None:
        break;
    }
    return {};
}

QStringList ChangeLines(const std::vector<SettingChange> &changes)
{
    QStringList lines;
    for (const SettingChange &c : changes)
        lines << QStringLiteral("%1: %2 → %3").arg(Q(c.Name), Q(c.DeviceValue), Q(c.FileValue));
    return lines;
}

// The question before a restore: the changes, where the file came from when that is not this
// unit, and what may cut the link. Its default answer is No, so a stray Enter writes nothing.
bool AskRestore(QWidget *owner, const SettingsFile &file, const std::string &deviceType, const SettingsPlan &plan,
                bool *withCalibration)
{
    QString text = SettingsText::tr("Будут записаны в устройство (сейчас → из файла):\n\n%1")
                       .arg(ChangeLines(plan.Changes).join(QLatin1Char('\n')));
    if (plan.OtherVersion)
        text += SettingsText::tr("\n\nФайл сохранён с устройства %1, подключено %2.")
                    .arg(Q(file.DeviceType), Q(deviceType));
    if (plan.OtherUnit) {
        text += file.Chip.empty() ? SettingsText::tr("\n\nВ файле не указано, с какого устройства он сохранён.")
                                  : SettingsText::tr("\n\nФайл сохранён с другого устройства.");
        if (!plan.LeftOut.empty())
            text += SettingsText::tr("\nЕго калибровка записывается, только если отмечено «Вместе с калибровкой»:\n%1")
                        .arg(ChangeLines(plan.LeftOut).join(QLatin1Char('\n')));
    }
    if (plan.ChangesLink) {
        QStringList names;
        for (const SettingChange &c : plan.Changes)
            if (ChangesDeviceLink(std::string_view(c.Name)))
                names << Q(c.Name);
        text += SettingsText::tr("\n\nВнимание: после изменения %1 связь с устройством может прерваться.")
                    .arg(names.join(QStringLiteral(", ")));
    }
    text += SettingsText::tr("\n\nЗаписать?");
    QMessageBox box(QMessageBox::NoIcon, Caption(), text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (plan.OtherUnit && !plan.LeftOut.empty())
        box.setCheckBox(new QCheckBox(SettingsText::tr("Вместе с калибровкой"), &box));
    const bool yes = RestoreQuestion() ? RestoreQuestion()(box) : box.exec() == QMessageBox::Yes;
    *withCalibration = box.checkBox() != nullptr && box.checkBox()->isChecked();
    return yes;
}

}  // namespace

RestoreQuestionHook SetRestoreQuestionHook(RestoreQuestionHook hook)
{
    RestoreQuestionHook old = std::move(RestoreQuestion());
    RestoreQuestion() = std::move(hook);
    return old;
}

bool SaveSettingsToFile(QWidget *, cActionManager &manager, const QString &path)
{
    std::vector<std::pair<std::string, std::string>> values;
    std::string chip;
    if (!ReadSettingsOrSay(manager, &values, &chip, SettingsText::tr("Файл не записан.")))
        return false;
    std::string error;
    const std::string text = FormatSettingsFile(ConnectedDeviceType(manager), SettingsDateText(), values, chip);
    if (!WriteSettingsText(path.toStdString(), text, &error)) {
        Show(SettingsText::tr("Не удалось записать файл настроек:\n%1").arg(Q(error)));
        return false;
    }
    return true;
}

bool LoadSettingsFromFile(QWidget *owner, cActionManager &manager, const QString &path)
{
    std::string text, error;
    SettingsFile file;
    if (!ReadSettingsText(path.toStdString(), &text, &error)) {
        Show(SettingsText::tr("Не удалось прочитать файл настроек:\n%1").arg(Q(error)));
        return false;
    }
    // The whole file is checked before anything is written.
    SettingsFault fault;
    if (!ParseSettingsFile(text, &file, &error, &fault) ||
        !CheckSettingsForDevice(file, ConnectedDeviceType(manager), manager.VersionX100, &error, &fault)) {
        Show(SettingsText::tr("Файл настроек %1 не подходит, ничего не записано:\n%2").arg(path, FaultText(fault)));
        return false;
    }
    std::vector<std::pair<std::string, std::string>> values;
    std::string chip;
    if (!ReadSettingsOrSay(manager, &values, &chip, SettingsText::tr("Ничего не записано.")))
        return false;
    const std::string deviceType = ConnectedDeviceType(manager);
    const SettingsPlan plan = PlanSettings(file, values, deviceType, chip, false);
    if (plan.Changes.empty() && plan.LeftOut.empty()) {
        Show(SettingsText::tr("Настройки устройства уже совпадают с файлом."));
        return true;
    }
    bool withCalibration = false;
    if (!AskRestore(owner, file, deviceType, plan, &withCalibration))
        return false;
    const std::vector<SettingChange> changes =
        withCalibration ? PlanSettings(file, values, deviceType, chip, true).Changes : plan.Changes;
    if (changes.empty()) {
        Show(SettingsText::tr("Записывать нечего: калибровка другого устройства не записывается."));
        return true;
    }
    RestoreOutcome outcome;
    {
        BusyCursor busy;
        const WriteOrigin origin("window: settings file " + path.toStdString());
        outcome = ApplySettingChanges(manager, changes);
    }
    if (!outcome.Failed.empty()) {
        QStringList lines;
        for (const std::string &f : outcome.Failed)
            lines << Q(f);
        QString text = SettingsText::tr("Загрузка настроек прервана: записано %1 из %2.\n%3")
                           .arg(outcome.Written)
                           .arg(changes.size())
                           .arg(lines.join(QLatin1Char('\n')));
        if (outcome.ConnectionLost)
            text += SettingsText::tr("\nСвязь с устройством потеряна.");
        if (!outcome.PutBack.empty()) {
            QStringList names;
            for (const std::string &n : outcome.PutBack)
                names << Q(n);
            text += SettingsText::tr("\nВозвращены прежние значения: %1.").arg(names.join(QStringLiteral(", ")));
        }
        if (outcome.NotPutBack.empty()) {
            text += SettingsText::tr("\nУстройство хранит прежние настройки, конфигурация не сохранялась.");
        } else {
            QStringList names;
            for (const std::string &n : outcome.NotPutBack)
                names << Q(n);
            text += SettingsText::tr("\nНе удалось вернуть прежние значения:\n%1\nВ устройстве могут остаться "
                                     "частично загруженные настройки. Они не будут сохранены в памяти устройства, "
                                     "в том числе при отключении.")
                        .arg(names.join(QLatin1Char('\n')));
        }
        Show(text);
        return false;
    }
    if (outcome.SaveHeld) {
        Show(SettingsText::tr("Настройки записаны, но не сохранены: после прерванной загрузки сохранение "
                              "конфигурации отключено до отключения от устройства."));
        return false;
    }
    if (!outcome.Saved) {
        Show(SettingsText::tr("Настройки записаны, но устройство не подтвердило их сохранение."));
        return false;
    }
    Show(SettingsText::tr("Настройки загружены: %1, устройство сохранило конфигурацию.").arg(changes.size()));
    return true;
}
