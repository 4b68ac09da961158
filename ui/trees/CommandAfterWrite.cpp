#include "ui/trees/CommandAfterWrite.h"

#include "core/Notify.h"
#include "device/ModbusAction.h"
#include "ui/app/QtHooks.h"

QString CommandAfterWrite::NotSentText(const ModbusAction &write, const MString &text, const QString &command)
{
    const QString name = ToQString(write.Name);
    const QString value = ToQString(text);
    const QString why = write.State == mbsException
                            ? tr("Устройство не приняло %1 = %2.").arg(name, value)
                            : tr("Устройство не подтвердило запись %1 = %2. Проверьте подключение.").arg(name, value);
    return why + QLatin1Char('\n') + tr("Команда %1 не отправлена.").arg(command);
}

void CommandAfterWrite::ShowNotSent(const ModbusAction &write, const MString &text, const QString &command)
{
    const QString message = NotSentText(write, text, command);
    ShowMessageBox(
        std::u16string_view(reinterpret_cast<const char16_t *>(message.utf16()), static_cast<size_t>(message.size())));
}
