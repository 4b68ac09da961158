// The calibration tree: the eight analogue channels with their measured value, a zero
// button and a true-value edit box with its button.
#pragma once
#include <QCoreApplication>

#include "ui/trees/TreeController.h"

struct sCalibrateND {
    sTreeRect LastRect;
    MString Caption;
    ModbusAction *AdcAction = nullptr;
    ModbusAction *PreciseAction = nullptr;
    ModbusAction *ZeroModeAction = nullptr;  // null on the temperature row
    ModbusAction *OnValueModeAction = nullptr;
    int Node = -1;
    TreeControl<QToolButton> ZeroBtn;
    TreeControl<QToolButton> OnValueBtn;
    TreeControl<QLineEdit> ValueEdit;
    bool Editing = false;
};

class cCalibrateTree : public cTreeControllerT<sCalibrateND> {
    Q_DECLARE_TR_FUNCTIONS(cCalibrateTree)

public:
    using cTreeControllerT::cTreeControllerT;

    // Bound of the wait for the true value before the command is sent: scheduler turns,
    // each resting up to a millisecond on the line.
    static constexpr int kWaitSteps = 1000;

    static void SetupView(cTreeView *view);
    void Build();
    MString GetText(int row, int column) override;
    void AfterItemPaint(int row) override;
    void HideRowControls(int row) override;

    void ZeroBtnClick(sCalibrateND *record);
    void OnValueBtnClick(sCalibrateND *record);
    void ValueEditEnter(sCalibrateND *record) { record->Editing = true; }
    void ValueEditExit(sCalibrateND *record) { record->Editing = false; }

    // Scheduler steps run by the last on-value wait (for tests and diagnostics).
    int LastWaitSteps = 0;

private:
    void AttachControls(sCalibrateND *record);
};
