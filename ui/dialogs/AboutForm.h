// TAboutForm: names the program, its version and build date, and opens two web sites.
// Not modal, always on top; a click on its free area closes it.
#pragma once

#include <QDialog>

class QLabel;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget *owner = nullptr);

    void ShowCentredOn(QWidget *owner);
    void UrlPymLabelClick();
    void UrlZeltLabelClick();

    // "May 22 2021" from the compiler's build date.
    static QString BuildDate();

    static constexpr const char *kPymUrl = "https://pym.example/";
    static constexpr const char *kZeltUrl = "https://zelt.example/";

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *UrlPymLabel = nullptr;
    QLabel *UrlZeltLabel = nullptr;
    QLabel *DateLabel = nullptr;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
