// The journal of writes for the operator: who changed what on the device and when, newest
// first, read-only. Opened from the service menu; reread each time it is shown.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QTableWidget;

class TJournalForm : public QDialog {
    Q_OBJECT
public:
    explicit TJournalForm(QWidget *parent = nullptr);
    // Rereads the journal of this process (JournalPath) into the table.
    void Reload();
    QTableWidget *JournalTable = nullptr;  // one row a line: time, origin, name, old, new, outcome
    QLabel *PathLabel = nullptr;           // where the journal is, or why it cannot be read

protected:
    void showEvent(QShowEvent *event) override;
};

// Shows the parent's journal dialog (made on first use), reread.
TJournalForm *ShowJournalForm(QWidget *parent);
