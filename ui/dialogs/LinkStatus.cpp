#include "ui/dialogs/LinkStatus.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QLabel>
#include <QLocale>
#include <QTimer>
#include <QVBoxLayout>

#include "device/ActionManager.h"
#include "port/PortList.h"

uint64_t ExchangesEnded(const ModbusShell::LinkStats &s)
{
    return s.GoodReplies + s.Timeouts + s.BadReplies + s.Exceptions;
}

bool CountersCleared(const ModbusShell::LinkStats &now, const ModbusShell::LinkStats &before)
{
    return now.Requests < before.Requests || now.GoodReplies < before.GoodReplies || now.Timeouts < before.Timeouts ||
           now.BadReplies < before.BadReplies || now.Exceptions < before.Exceptions;
}

QString LinkStatusText(const ModbusShell::LinkStats &now, const ModbusShell::LinkStats &before, double seconds,
                       const QString &port)
{
    if (port.isEmpty())
        return TLinkStatsForm::tr("Нет связи");
    // Counters cleared since the last reading count from zero, not from far below it.
    if (CountersCleared(now, before))
        return LinkStatusText(now, ModbusShell::LinkStats{}, seconds, port);
    const uint64_t exchanges = ExchangesEnded(now) - ExchangesEnded(before);
    // A refusal is the device's answer; what failed is the line: no reply, or a damaged one.
    const uint64_t failed = (now.Timeouts - before.Timeouts) + (now.BadReplies - before.BadReplies);
    const QLocale locale;
    const double rate = seconds > 0 ? static_cast<double>(exchanges) / seconds : 0;
    const double share = exchanges > 0 ? 100.0 * static_cast<double>(failed) / static_cast<double>(exchanges) : 0;
    return TLinkStatsForm::tr("Порт %1   обменов в секунду: %2   сбоев: %3 %")
        .arg(port, locale.toString(rate, 'f', 1), locale.toString(share, 'f', 1));
}

TLinkStatsForm::TLinkStatsForm(cActionManager &manager, QWidget *parent) : QDialog(parent), manager_(manager)
{
    setObjectName(QStringLiteral("LinkStatsForm"));
    setWindowTitle(tr("Связь с устройством"));
    auto *form = new QFormLayout;
    port_ = new QLabel(this);
    form->addRow(tr("Порт:"), port_);
    const QString captions[7] = {
        tr("Запросов:"),           tr("Ответов без ошибок:"),
        tr("Нет ответа в срок:"),  tr("Ответов с ошибкой (CRC, форма):"),
        tr("Отказов устройства:"), tr("Лишних байтов отброшено:"),
        tr("Переподключений:"),
    };
    for (int i = 0; i < 7; ++i) {
        Values[i] = new QLabel(this);
        Values[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        form->addRow(captions[i], Values[i]);
    }
    // Escape and Enter close; the counters start again from zero on the operator's word.
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    ResetButton = buttons->addButton(tr("&Сбросить счетчики"), QDialogButtonBox::ResetRole);
    ResetButton->setObjectName(QStringLiteral("ResetButton"));
    ResetButton->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Закрыть"));
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    connect(ResetButton, &QPushButton::clicked, this, &TLinkStatsForm::ResetCounters);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &TLinkStatsForm::Refresh);
    Refresh();
}

void TLinkStatsForm::Refresh()
{
    const ModbusShell::LinkStats &s = manager_.Stats();
    const uint64_t values[7] = {s.Requests,   s.GoodReplies,      s.Timeouts,     s.BadReplies,
                                s.Exceptions, s.LateBytesDropped, s.Reconnections};
    const QLocale locale;
    for (int i = 0; i < 7; ++i)
        Values[i]->setText(locale.toString(static_cast<qulonglong>(values[i])));
    const std::string path = manager_.Connection.PortPath();
    port_->setText(!path.empty() ? QString::fromStdString(path) : tr("не открыт"));
}

void TLinkStatsForm::ResetCounters()
{
    manager_.Shell.Stats = ModbusShell::LinkStats{};
    Refresh();
}

void TLinkStatsForm::showEvent(QShowEvent *event)
{
    Refresh();
    timer_->start();
    QDialog::showEvent(event);
}

void TLinkStatsForm::hideEvent(QHideEvent *event)
{
    timer_->stop();
    QDialog::hideEvent(event);
}
