// Value labels laid over a diagram picture: one line each, in the picture's coordinates,
// with a font that grows and shrinks with the picture so the texts keep their places.
#pragma once

#include <QObject>
#include <QRectF>
#include <QString>
#include <vector>

class PictureCanvas;
class QLabel;
class QWidget;

// A label that shows a device variable's rounded value in a translated text, "U[В] %1"
// showing "U[В] 12,5": the value's place is the translation's to choose.
struct ValueLabel {
    QLabel *Label;
    const char16_t *Variable;
    QString Text;
};
// "--" in each text: nothing has been read yet.
void ShowNoValues(const std::vector<ValueLabel> &labels);
// Each variable's present value, rounded to 10 significant digits, in its text.
void ShowValues(const std::vector<ValueLabel> &labels);

class DiagramLabels : public QObject {
    Q_OBJECT
public:
    explicit DiagramLabels(PictureCanvas *canvas);

    // A label on line `line` of the block `block`, leaving `rightReserve` picture pixels free.
    QLabel *AddLine(const QRectF &block, int line, const char *objectName, qreal rightReserve = 0);
    // A label on the device's light display: dark ink in a dark theme too.
    QLabel *AddDisplayLine(const QRectF &block, int line, const char *objectName);
    // A widget in the reserved space at the end of that line (a small button).
    void PlaceAtLineEnd(QWidget *widget, const QRectF &block, int line);
    // Gives the widget the same growing font as the labels.
    void Track(QWidget *widget);

    // Text height in picture pixels: a line is 18, so the tallest glyphs stay inside it.
    static constexpr qreal kTextPixels = 12.5;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Rescale();

    PictureCanvas *canvas_;
    std::vector<QWidget *> scaled_;
};
