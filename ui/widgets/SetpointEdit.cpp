#include "ui/widgets/SetpointEdit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSpinBox>
#include <algorithm>
#include <QRegularExpression>
#include <QWheelEvent>

#include "values/MString.h"

namespace {

// What may still become a number while typing: a sign, digits, one separator of either kind.
const QRegularExpression &PartialNumber()
{
    static const QRegularExpression re(QStringLiteral("^\\s*[+-]?\\d*([.,]\\d*)?\\s*$"));
    return re;
}

}  // namespace

SetpointEdit::SetpointEdit(double maximum, double step, QWidget *parent) : QDoubleSpinBox(parent)
{
    // Two places: the refresh puts the device's set-point rounded to 0.01 here, and an ENTER
    // must write back what is shown, not a value rounded again to one place.
    setDecimals(2);
    setRange(0, maximum);
    setSingleStep(step);
    setToolTip(tr("Введите значение и нажмите ENTER"));
    setKeyboardTracking(false);
    setAccelerated(false);
    // A text left beyond the range when the focus goes (a refused ENTER, a click elsewhere)
    // falls back to the last value taken, never to the range's end: the editor shows only
    // what the operator entered or the device holds.
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    // The wheel must not take the focus on its way to the page behind.
    setFocusPolicy(Qt::StrongFocus);
    ShowNoValue();
}

void SetpointEdit::ShowValue(double value)
{
    hasValue_ = true;
    setValue(value);
    lineEdit()->setText(textFromValue(this->value()));  // also when the value is unchanged
}

void SetpointEdit::ShowNoValue()
{
    hasValue_ = false;
    lineEdit()->setText(textFromValue(value()));
}

QString SetpointEdit::textFromValue(double value) const
{
    return hasValue_ ? QDoubleSpinBox::textFromValue(value) : QStringLiteral("--");
}

QAbstractSpinBox::StepEnabled SetpointEdit::stepEnabled() const
{
    return hasValue_ ? QDoubleSpinBox::stepEnabled() : StepNone;
}

void SetpointEdit::EndStepping()
{
    // The spin box ends its repeat on the release of what started it.
    QKeyEvent keyRelease(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QDoubleSpinBox::keyReleaseEvent(&keyRelease);
    QMouseEvent mouseRelease(QEvent::MouseButtonRelease, QPointF(), QPointF(), Qt::LeftButton, Qt::NoButton,
                             Qt::NoModifier);
    QDoubleSpinBox::mouseReleaseEvent(&mouseRelease);
    repeatEnded_ = true;
}

bool SetpointEdit::ParseTyped(const QString &text, double *value)
{
    // Typed by hand: a point or a comma, no exponent; blanks of any kind around it.
    const QString t = text.trimmed();
    NumberRules rules;
    rules.Exponent = false;
    return ParseCompleteNumber(std::u16string_view(reinterpret_cast<const char16_t *>(t.constData()), t.size()), value,
                               rules);
}

QValidator::State SetpointEdit::validate(QString &text, int &) const
{
    if (!PartialNumber().match(text).hasMatch())
        return QValidator::Invalid;
    double x = 0;
    if (ParseTyped(text, &x) && x >= minimum() && x <= maximum())
        return QValidator::Acceptable;
    return QValidator::Intermediate;
}

double SetpointEdit::valueFromText(const QString &text) const
{
    double x = 0;
    return ParseTyped(text, &x) ? x : value();
}

void SetpointEdit::stepBy(int steps)
{
    if (!hasValue_ || stepsBlocked_ || !hasFocus())
        return;
    QDoubleSpinBox::stepBy(steps);
    emit topClick();
}

void SetpointEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat() && repeatEnded_) {
        event->accept();  // the key held on from before a question
        return;
    }
    repeatEnded_ = false;
    emit keyDown();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The base would correct the text to the range before the page has seen it; the
        // page takes the text as typed on the release.
        event->accept();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        event->accept();
        return;
    default:
        QDoubleSpinBox::keyPressEvent(event);
    }
}

void SetpointEdit::keyReleaseEvent(QKeyEvent *event)
{
    QDoubleSpinBox::keyReleaseEvent(event);
    if (event->isAutoRepeat())
        return;
    repeatEnded_ = false;
    emit keyUp(event->key());
}

void SetpointEdit::focusOutEvent(QFocusEvent *event)
{
    QDoubleSpinBox::focusOutEvent(event);
    emit exited();
}

void SetpointEdit::wheelEvent(QWheelEvent *event)
{
    event->ignore();  // on to the page behind
}

void SetpointEdit::paintEvent(QPaintEvent *event)
{
    QDoubleSpinBox::paintEvent(event);
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QColor enabled = palette().color(QPalette::ButtonText);
    for (const QStyle::SubControl part : {QStyle::SC_SpinBoxUp, QStyle::SC_SpinBoxDown}) {
        const QRect r = style()->subControlRect(QStyle::CC_SpinBox, &option, part, this);
        if (r.width() < 4 || r.height() < 3)
            continue;
        const bool up = part == QStyle::SC_SpinBoxUp;
        const bool can =
            (option.stepEnabled & (up ? QAbstractSpinBox::StepUpEnabled : QAbstractSpinBox::StepDownEnabled)) != 0;
        painter.setBrush(can && isEnabled() ? enabled : palette().color(QPalette::Disabled, QPalette::ButtonText));
        // A small triangle, as wide as the button allows and centred in it.
        const qreal half = std::min(r.width() / 2.0 - 2, r.height() - 2.0) / 1.6;
        const QPointF c = QRectF(r).center();
        const qreal h = half * 0.8;
        const QPointF tip(c.x(), up ? c.y() - h / 2 : c.y() + h / 2);
        const QPointF left(c.x() - half, up ? c.y() + h / 2 : c.y() - h / 2);
        const QPointF right(c.x() + half, left.y());
        painter.drawPolygon(QPolygonF{tip, left, right});
    }
}
