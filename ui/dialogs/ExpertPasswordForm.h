// TExpertPasswordForm: asks for an access code that opens the service functions.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TExpertPasswordForm : public QDialog {
    Q_OBJECT
public:
    explicit TExpertPasswordForm(QWidget *owner = nullptr);

    static constexpr const char *kExpertCode = "plumbeous";
    static constexpr const char *kCalibrationCode = "woodpecker";

    QLabel *Label1 = nullptr;
    QLineEdit *ExpertPassEdit = nullptr;  // keeps its text from one opening to the next
    QPushButton *OkButton = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};
