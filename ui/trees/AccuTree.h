// The charger settings tree: the six charge set-points, each with an edit box and a write
// button. Entering a row's edit box freezes the row until its write button is pressed.
#pragma once
#include <QCoreApplication>

#include "ui/trees/TreeController.h"

struct sAccuND {
    sTreeRect LastRect;
    MString Caption;
    ModbusAction *Action = nullptr;
    int Node = -1;
    TreeControl<QToolButton> WriteBtn;
    TreeControl<QLineEdit> ValueEdit;
    bool Editing = false;
};

class cAccuTree : public cTreeControllerT<sAccuND> {
    Q_DECLARE_TR_FUNCTIONS(cAccuTree)

public:
    using cTreeControllerT::cTreeControllerT;

    static void SetupView(cTreeView *view);
    void Build();
    MString GetText(int row, int column) override;
    void AfterItemPaint(int row) override;
    void PaintText(int row, int column, QFont &font, QColor &color) override;
    void HideRowControls(int row) override;

    void WriteBtnClick(sAccuND *record);
    void ValueEditEnter(sAccuND *record);
    void ValueEditExit(sAccuND *record);

private:
    void AttachControls(sAccuND *record);
};
