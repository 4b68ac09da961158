// The link's health for the operator: a line at the bottom of the main window (exchanges
// per second, the share that failed, the port) and a dialog with every counter. Serial
// tools are judged by these first when something is wrong on the line.
#pragma once

#include <QDialog>
#include <QString>

#include "device/ModbusShell.h"

class QLabel;
class QPushButton;
class QTimer;
class cActionManager;

// Exchanges ended in the interval (a reply of any kind, or none in time).
uint64_t ExchangesEnded(const ModbusShell::LinkStats &s);

// Whether some counter went down between the readings: they were cleared meanwhile.
bool CountersCleared(const ModbusShell::LinkStats &now, const ModbusShell::LinkStats &before);

// The status line from two readings of the counters taken `seconds` apart, on `port`
// (empty while no port is open).
QString LinkStatusText(const ModbusShell::LinkStats &now, const ModbusShell::LinkStats &before, double seconds,
                       const QString &port);

// Every counter of the link, refreshed once a second while shown.
class TLinkStatsForm : public QDialog {
    Q_OBJECT
public:
    TLinkStatsForm(cActionManager &manager, QWidget *parent = nullptr);
    void Refresh();
    // Clears the link's counters (the status line's rate starts again too).
    void ResetCounters();
    // The value label of each counter, in the order of ModbusShell::LinkStats.
    QLabel *Values[7] = {};
    QPushButton *ResetButton = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    cActionManager &manager_;
    QLabel *port_ = nullptr;
    QTimer *timer_ = nullptr;
};
