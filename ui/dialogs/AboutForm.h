// TAboutForm: names the program, its version and build date, and opens two web sites.
// Not modal, always on top; a click on its free area, Enter or Escape closes it; Tab reaches
// the two sites, Enter or Space opens the one in focus.
#pragma once

#include <QColor>
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
    // The text on the window's white, whatever the desktop's palette.
    static constexpr QRgb kTextColour = 0xFF263238;

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *UrlPymLabel = nullptr;
    QLabel *UrlZeltLabel = nullptr;
    QLabel *DateLabel = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
