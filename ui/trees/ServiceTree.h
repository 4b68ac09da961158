// The service tree: the expert's raw view, one row per device variable in table order,
// with an edit box and a write button on every variable that may be written, and a name
// filter.
#pragma once
#include <QCoreApplication>

#include "ui/trees/TreeController.h"

struct sServiceND {
    sTreeRect LastRect;
    ModbusAction *Action = nullptr;
    int Node = -1;
    TreeControl<QToolButton> WriteBtn;
    TreeControl<QLineEdit> ValueEdit;
    bool Editing = false;
};

class cServiceTree : public cTreeControllerT<sServiceND> {
    Q_DECLARE_TR_FUNCTIONS(cServiceTree)

public:
    using cTreeControllerT::cTreeControllerT;

    static void SetupView(cTreeView *view);
    void Build();
    MString GetText(int row, int column) override;
    void AfterItemPaint(int row) override;
    void HideRowControls(int row) override;

    void WriteBtnClick(sServiceND *record);
    void ValueEditEnter(sServiceND *record) { record->Editing = true; }
    void ValueEditExit(sServiceND *record) { record->Editing = false; }

    // Shows only the rows whose variable name holds the text, ignoring case; empty shows all.
    // Hidden rows are not painted, so they are not read either. Kept across rebuilds.
    void SetFilter(const QString &text);
    const QString &Filter() const { return FilterText; }

private:
    void AttachControls(sServiceND *record);
    void ApplyFilter();

    QString FilterText;
};
