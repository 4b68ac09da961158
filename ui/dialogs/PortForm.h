// TPortForm: the operator's choice of the device's port. Lists the ports the program knows
// of with their by-id names and whether each may be opened now, and takes any path and the
// unit address of the device on the line; the main window connects to the port chosen.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;
struct PortState;

class TPortForm : public QDialog {
    Q_OBJECT
public:
    explicit TPortForm(QWidget *parent = nullptr);

    // Lists the ports again and examines each (nothing is sent to them). The port the
    // window is connected through shows as such, not as taken by another program.
    void Refresh(const QString &connectedPort = QString());
    // Makes the connected port the current row and the path in the field (nothing, and an
    // empty field, while no port is connected), so that Enter never picks another port.
    void SelectConnectedPort();
    // The path in the field, as the operator left it (trimmed).
    QString ChosenPort() const;
    // The address field: 1..247 for one unit on a shared bus, or 254 (kAnyUnitAddress),
    // which whichever device is on the line answers. Shown as it is set, taken on OK only.
    void SetAddress(uint8_t address);
    uint8_t ChosenAddress() const;
    // The state column's text for a port.
    static QString StateText(const PortState &state);

    // The list's columns: the state before the by-id name, which is long.
    static constexpr int kPortColumn = 0, kStateColumn = 1, kByIdColumn = 2;
    QTreeWidget *PortList = nullptr;
    QLineEdit *PathEdit = nullptr;
    QSpinBox *AddressBox = nullptr;  // 0 stands for 254, "any device"
    QPushButton *ConnectButton = nullptr;
    QPushButton *RefreshButton = nullptr;

signals:
    // The operator chose a port (the dialog has closed).
    void portChosen(const QString &path);

private:
    void ItemChosen(QTreeWidgetItem *item);
    void Choose();
    QString connected_;
};
