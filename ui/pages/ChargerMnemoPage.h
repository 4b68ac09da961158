// The charger mnemonic page: the diagram with solar, battery and load values, the energy
// counters' reset buttons and the two load check boxes.
#pragma once

#include <QCheckBox>
#include <QWidget>

#include "ui/pages/DiagramLabels.h"

class FlowArrow;
class PictureCanvas;
class QLabel;
class QToolButton;

// A check box whose write belongs to the mouse: `mouseReleased` comes after the box has
// handled the release (a left click has toggled it), for any button; keys send nothing.
class MouseWriteCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
signals:
    void mouseReleased();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

class ChargerMnemoPage : public QWidget {
    Q_OBJECT
public:
    explicit ChargerMnemoPage(QWidget *parent = nullptr);

    // The refresh: every value shown is also marked for a fresh read.
    void Update();

    void PhotoEnergyResetBtnClick();
    void LoadEnergyResetBtnClick();
    void BatEnergyChargeResetBtnClick();
    void BatEnergyDischargeResetBtnClick();
    void LoadTurnOffCBMouseUp();
    void LoadNightModeCBMouseUp();

    PictureCanvas *Image2 = nullptr;
    PictureCanvas *ChargerLoadOnImg = nullptr;
    QLabel *PhotoCurrentLabel = nullptr;
    QLabel *PhotoVoltageLabel = nullptr;
    QLabel *PhotoPowerLabel = nullptr;
    QLabel *PhotoEnergyLabel = nullptr;
    QLabel *BatCurrentLabel = nullptr;
    QLabel *BatVoltageLabel = nullptr;
    QLabel *BatPowerLabel = nullptr;
    QLabel *BatEnergyChargeLabel = nullptr;
    QLabel *BatEnergyDischargeLabel = nullptr;
    QLabel *LoadCurrentLabel = nullptr;
    QLabel *LoadVoltageLabel = nullptr;
    QLabel *LoadPowerLabel = nullptr;
    QLabel *LoadEnergyLabel = nullptr;
    QLabel *ChargerAvddLabel = nullptr;
    QLabel *ChargerTempLabel = nullptr;
    QLabel *ChargerUptimeLabel = nullptr;
    QToolButton *PhotoEnergyResetBtn = nullptr;
    QToolButton *LoadEnergyResetBtn = nullptr;
    QToolButton *BatEnergyChargeResetBtn = nullptr;
    QToolButton *BatEnergyDischargeResetBtn = nullptr;
    MouseWriteCheckBox *LoadTurnOffCB = nullptr;
    MouseWriteCheckBox *LoadNightModeCB = nullptr;
    FlowArrow *ChargerSolarArrowImg = nullptr;
    FlowArrow *ChargerAccuChargeArrowImg = nullptr;
    FlowArrow *ChargerAccuDischargeArrowImg = nullptr;
    FlowArrow *ChargerLoadArrowImg = nullptr;

private:
    std::vector<ValueLabel> valueLabels_;
};
