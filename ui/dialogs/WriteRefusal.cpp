#include "ui/dialogs/WriteRefusal.h"

#include <QLocale>
#include <cmath>
#include <limits>

#include "core/Notify.h"
#include "device/ActionManager.h"
#include "device/WriteJournal.h"

namespace {

// The gate names units in plain Latin; the window shows them as the rest of its texts.
QString UnitText(const char *unit)
{
    static const struct {
        const char *Gate;
        const char *Shown;
    } kUnits[] = {{"V", QT_TRANSLATE_NOOP("WriteRefusal", "В")},
                  {"A", QT_TRANSLATE_NOOP("WriteRefusal", "А")},
                  {"Bd", QT_TRANSLATE_NOOP("WriteRefusal", "Бод")},
                  {"Wh", QT_TRANSLATE_NOOP("WriteRefusal", "Вт·ч")},
                  {"mV/(V*C)", QT_TRANSLATE_NOOP("WriteRefusal", "мВ/(В•°C)")}};
    const QString gate = QString::fromUtf8(unit);
    for (const auto &u : kUnits)
        if (gate == QLatin1String(u.Gate))
            return WriteRefusal::tr(u.Shown);
    return gate;
}

// A limit as the operator writes numbers: the locale's separator, no digit grouping.
QString Number(double x)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    if (x == std::trunc(x) && std::fabs(x) < 1e15)
        return locale.toString(static_cast<qlonglong>(x));
    return locale.toString(x, 'g', 10);
}

}  // namespace

QString WriteRefusal::Allowed(const WriteLimits &l)
{
    if (!l.Options.empty()) {
        QStringList options;
        for (double o : l.Options)
            options << Number(o);
        return options.join(QStringLiteral(", "));
    }
    switch (l.Type) {
    case mbtAscii:
        return tr("текст");
    case mbtBinary:
        return tr("байты в шестнадцатеричном виде");
    default:
        break;
    }
    QString text;
    if (l.Integer && l.Min == 0 && l.Max == 1)
        return tr("0 или 1");
    if (!l.Integer && l.Max >= std::numeric_limits<float>::max())
        text = l.Min >= 0 ? tr("число от %1").arg(Number(0)) : tr("любое конечное число");
    else if (l.Integer)
        text = tr("целое число от %1 до %2").arg(Number(l.Min), Number(l.Max));
    else
        text = tr("число от %1 до %2").arg(Number(l.Min), Number(l.Max));
    const QString unit = UnitText(l.Unit);
    return unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
}

QString WriteRefusal::Text(const WriteCheck &c)
{
    const QString name = QString::fromUtf8(c.Name);
    const QString value = QString::fromUtf8(c.Value);
    QString reason;
    switch (c.Fault) {
    case WriteFault::None:
        return {};
    case WriteFault::UnknownVariable:
        return tr("Переменной %1 нет в устройстве: запись невозможна.").arg(name);
    case WriteFault::ReadOnly:
        return tr("Переменная %1 только для чтения: запись невозможна.").arg(name);
    case WriteFault::NotANumber:
        reason = tr("это не число");
        break;
    case WriteFault::NotAnInteger:
        reason = tr("нужно целое число");
        break;
    case WriteFault::OutOfRange:
        reason = tr("вне допустимых пределов");
        break;
    case WriteFault::NotAnOption:
        reason = tr("такого значения нет среди допустимых");
        break;
    case WriteFault::NotRepresentable:
        reason = tr("число так мало, что устройство сохранило бы 0");
        break;
    }
    const QString first = value.isEmpty() ? tr("Значение для %1 не введено: ничего не записано.").arg(name)
                                          : tr("Значение «%1» не записано в %2: %3.").arg(value, name, reason);
    return first + QLatin1Char('\n') + tr("Допустимо: %1.").arg(Allowed(c.Limits));
}

bool WriteRefusal::Show(const WriteCheck &check)
{
    if (check.Ok())
        return false;
    ShowMessageBox(Text(check).toStdU16String());
    return true;
}

bool RequestWriteOrExplain(ModbusShell &shell, ModbusAction *variable, const MString &text)
{
    if (variable == nullptr)
        return false;
    // A control that named itself keeps its name; otherwise the window and the variable.
    const WriteOrigin origin(HasWriteOrigin() ? CurrentWriteOrigin() : "window: " + variable->Name.ToUtf8());
    WriteCheck refusal;
    if (shell.RequestWrite(variable, text, &refusal))
        return true;
    WriteRefusal::Show(refusal);
    return false;
}

bool WriteNumberOrExplain(cActionManager &device, const MString &name, float value)
{
    const WriteOrigin origin(HasWriteOrigin() ? CurrentWriteOrigin() : "window: " + name.ToUtf8());
    WriteCheck refusal;
    if (device.WriteNumber(name, value, &refusal))
        return true;
    WriteRefusal::Show(refusal);
    return false;
}
