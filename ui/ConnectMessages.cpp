#include "ui/ConnectMessages.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <utility>

// The texts keep the translation context of the window that shows them.

QString PortOutcomeText(const PortOutcome &tried)
{
    switch (tried.Result()) {
    case PortOutcome::Kind::NoAnswer:
        return QCoreApplication::translate("TMainForm", "нет ответа");
    case PortOutcome::Kind::BadReplies:
        return QCoreApplication::translate("TMainForm", "ответы не прошли проверку");
    case PortOutcome::Kind::OtherDevice:
        return QCoreApplication::translate("TMainForm", "отвечает другое устройство");
    case PortOutcome::Kind::InUse:
        return QCoreApplication::translate("TMainForm", "занят другой программой");
    case PortOutcome::Kind::NotSerial:
        return QCoreApplication::translate("TMainForm", "не последовательный порт");
    case PortOutcome::Kind::CannotOpen:
        break;
    }
    return QCoreApplication::translate("TMainForm", "не открывается: %1")
        .arg(QString::fromLocal8Bit(tried.OpenError.c_str()));
}

QString ConnectFailureText(const std::vector<PortOutcome> &tried, const std::vector<RefusedGroup> &refused,
                           const QString &after, const PortOwnerLookup &owner)
{
    // Each port with what the search met there, so that a busy port, a missing permission
    // and a silent device are told apart; then the way forward.
    QString text = QCoreApplication::translate("TMainForm", "Устройство Quintavolte не найдено.");
    if (tried.empty() && refused.empty())
        text += QLatin1Char('\n') + QCoreApplication::translate("TMainForm", "Последовательные порты не найдены.");
    // Ports with the same outcome share a line (a row of silent built-in ports is common).
    std::vector<std::pair<QString, QStringList>> lines;
    for (const PortOutcome &port : tried) {
        const QString outcome = PortOutcomeText(port);
        auto it = std::find_if(lines.begin(), lines.end(), [&](const auto &l) { return l.first == outcome; });
        if (it == lines.end())
            lines.push_back({outcome, {QString::fromStdString(port.Path)}});
        else
            it->second << QString::fromStdString(port.Path);
    }
    for (const auto &[outcome, ports] : lines)
        text += QLatin1Char('\n') + (ports.size() == 1 ? QCoreApplication::translate("TMainForm", "Порт %1: %2.")
                                                       : QCoreApplication::translate("TMainForm", "Порты %1: %2."))
                                        .arg(ports.join(QStringLiteral(", ")), outcome);
    for (const RefusedGroup &group : refused) {
        if (!group.Group.empty()) {
            QStringList ports;
            for (const std::string &p : group.Ports)
                ports << QString::fromStdString(p);
            text +=
                QCoreApplication::translate("TMainForm", "\nНет доступа к %1: пользователь должен входить в группу %2 "
                                                         "(sudo adduser $USER %2, затем войти в систему заново).")
                    .arg(ports.join(QStringLiteral(", ")), QString::fromStdString(group.Group));
            continue;
        }
        // Joining a group would not help: say who owns each port, for whoever can change it.
        for (const std::string &p : group.Ports) {
            PortOwner o;
            if (owner && owner(p, &o))
                text +=
                    QCoreApplication::translate("TMainForm", "\nНет доступа к %1: владелец %2, группа %3, права %4.")
                        .arg(QString::fromStdString(p), QString::fromStdString(o.User), QString::fromStdString(o.Group),
                             QString::fromStdString(o.Mode));
            else
                text +=
                    QLatin1Char('\n') +
                    QCoreApplication::translate("TMainForm", "Порт %1: нет доступа.").arg(QString::fromStdString(p));
        }
    }
    if (!after.isEmpty())
        text += QLatin1Char('\n') + after;
    text += QLatin1Char('\n') + QCoreApplication::translate("TMainForm", "Выберите порт: Порт…");
    return text;
}

QString PreviousPortText(const ConnectionController::Choice &choice)
{
    if (choice.Previous.empty())
        return QString();
    const QString text =
        choice.BackOnPrevious
            ? QCoreApplication::translate("TMainForm", "Устройство снова подключено через прежний порт %1.")
            : QCoreApplication::translate("TMainForm", "Снова подключиться через прежний порт %1 не удалось.");
    return text.arg(QString::fromStdString(choice.Previous));
}
