// The two battery quick-setup pages: lead-acid and lithium. Each computes the six charger
// settings from a few choices and writes them to the device in one step.
#pragma once

#include <QCoreApplication>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class PictureCanvas;
class RadioGroupBox;
class cActionManager;
struct BatteryWriteResult;

// The message that tells the operator how a preset's writes went: success, the setting the
// write gate refused (then nothing was written), or the settings the device refused or
// did not answer for.
class PresetReport {
    Q_DECLARE_TR_FUNCTIONS(PresetReport)
public:
    static QString Text(const BatteryWriteResult &result);
};

class PbPresetPage : public QWidget {
    Q_OBJECT
public:
    explicit PbPresetPage(cActionManager &device, QWidget *parent = nullptr);

    void ApplyQuickSetupButtonClick();

    QLabel *Label2 = nullptr;  // the warning
    QLabel *Label1 = nullptr;
    QComboBox *AccuCapacityEdit = nullptr;
    RadioGroupBox *BatteryUseRG = nullptr;
    RadioGroupBox *BatteryChemRG = nullptr;
    RadioGroupBox *BatteryVoltageRG = nullptr;
    QPushButton *ApplyQuickSetupButton = nullptr;
    PictureCanvas *Image1 = nullptr;

private:
    cActionManager &device_;
};

class LiPresetPage : public QWidget {
    Q_OBJECT
public:
    explicit LiPresetPage(cActionManager &device, QWidget *parent = nullptr);

    void LiBatApplyButtonClick();

    QLabel *Label19 = nullptr;  // the warning
    QLineEdit *LiBatCEdit = nullptr;
    QLineEdit *LiBatSEdit = nullptr;
    RadioGroupBox *LiBatTypeRG = nullptr;
    QPushButton *LiBatApplyButton = nullptr;
    PictureCanvas *Image3 = nullptr;

signals:
    // The focus arrived at the cell-count field (the training page listens to it).
    void CellCountEntered();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    cActionManager &device_;
};

// The warning both pages show above their choices, untranslated (context "QuickSetup").
extern const char *const kQuickSetupWarning;
