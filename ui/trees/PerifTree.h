// The peripherals tree: identity, Modbus port settings, inputs, outputs, counters and
// running hours, grouped under bold green heading rows.
#pragma once
#include <QComboBox>
#include <QCoreApplication>

#include "ui/trees/TreeController.h"

struct sPerifND {
    sTreeRect LastRect;
    MString Caption;
    ModbusAction *Action = nullptr;  // null on headings
    int Node = -1;
    TreeControl<QToolButton> OffBtn;
    TreeControl<QToolButton> OnBtn;
    TreeControl<QToolButton> ResetBtn;
    TreeControl<QToolButton> WriteBtn;
    TreeControl<TreeComboBox> ModeCB;
    TreeControl<QLineEdit> ValueEdit;
    bool IsSwitch = false;
    bool IsCounter = false;
    bool IsEditable = false;
    bool IsMode = false;
    bool IsGroup = false;
    bool Editing = false;
};

class cPerifTree : public cTreeControllerT<sPerifND> {
    Q_DECLARE_TR_FUNCTIONS(cPerifTree)

public:
    using cTreeControllerT::cTreeControllerT;

    // Firmware above this version number has the output mode rows.
    static constexpr int32_t kModeRowsAfterVersion = 110;

    static void SetupView(cTreeView *view);
    void Build();
    MString GetText(int row, int column) override;
    void AfterItemPaint(int row) override;
    void PaintText(int row, int column, QFont &font, QColor &color) override;
    void HideRowControls(int row) override;

    void OffBtnClick(sPerifND *record);
    void OnBtnClick(sPerifND *record);
    void ResetBtnClick(sPerifND *record);
    void WriteBtnClick(sPerifND *record);
    void ValueEditEnter(sPerifND *record) { record->Editing = true; }
    void ValueEditExit(sPerifND *) {}
    void ModeCBSelect(sPerifND *record, int index);

private:
    void AttachControls(sPerifND *record);
    void FollowValue(sPerifND *record);
};
