// The power-supply mnemonic page: the diagram of the device fed by a bench supply, the
// output's segment displays and regulation indicators, the set-point editors and the
// output switch.
#pragma once

#include <QString>
#include <QWidget>

#include "ui/pages/DiagramLabels.h"
#include <functional>
#include <optional>
#include <vector>

class IndicatorLamp;
class PictureCanvas;
class QLabel;
class QLCDNumber;
class SetpointEdit;
class ToggleSwitch;

class SupplyMnemoPage : public QWidget {
    Q_OBJECT
public:
    explicit SupplyMnemoPage(QWidget *parent = nullptr);

    // The refresh: labels, displays, indicators, lamp and switch from the device.
    void Update();

    void SupUsetEditKeyDown();
    void SupIsetEditKeyDown();
    void SupUsetEditKeyUp(int key);
    void SupIsetEditKeyUp(int key);
    void SupUsetEditTopClick();
    void SupIsetEditTopClick();
    void SupUsetEditExit();
    void SupIsetEditExit();
    void SupOutSwitchOn();
    // The editors show "--" again, as before the first read (the device is gone).
    void ForgetSetpoints();

    // What a segment display shows, with the locale's separator (the display uses a point).
    QString DisplayText(const QLCDNumber *display) const;

    PictureCanvas *Image5 = nullptr;
    PictureCanvas *SupplyLampLoadOnImg = nullptr;
    QLabel *SupBoardTempLabel = nullptr;
    QLabel *SupMcuUptimeLabel = nullptr;
    QLabel *SupSrcCurrentLabel = nullptr;
    QLabel *SupSrcVoltageLabel = nullptr;
    QLabel *SupSrcPowerLabel = nullptr;
    QLCDNumber *SupUDisplay = nullptr;
    QLCDNumber *SupIDisplay = nullptr;
    QLCDNumber *SupPDisplay = nullptr;
    IndicatorLamp *SupUstabLed = nullptr;
    IndicatorLamp *SupIstabLed = nullptr;
    SetpointEdit *SupUsetEdit = nullptr;
    SetpointEdit *SupIsetEdit = nullptr;
    ToggleSwitch *SupOutSwitch = nullptr;
    bool SupOutSwitchGuard = false;  // set while the program moves the switch

private:
    // The editor's text as the number to write to the variable, shown back in the editor's
    // own form; nothing, after telling the operator why, when the gate or the editor's
    // range refuses it.
    std::optional<float> TakeSetpoint(SetpointEdit *edit, const char16_t *name);
    void Show(QLCDNumber *display, const QString &text);
    // Whether setting this voltage asks first: more than 3 V above the output shown.
    bool NeedsConfirmation(float volts) const;
    // Posts the voltage question; write runs on Yes, No shows the device's set-points again.
    void AskForVoltage(std::function<void()> write);
    void ShowDeviceSetpoints();
    void SwitchOutputOn();
    // Writes the current limit; false, after telling the operator why, when the device
    // did not take it (the voltage that switches the output on must not follow then).
    bool WriteCurrentLimit(float current);
    QWidget *CreatePanel();

    QString uText_, iText_, pText_;
    bool questionOpen_ = false;
    std::vector<ValueLabel> valueLabels_;
};
