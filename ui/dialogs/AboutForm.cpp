#include "ui/dialogs/AboutForm.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "core/Version.h"
#include "ui/app/QtHooks.h"
#include "ui/dialogs/FormPlacement.h"

namespace {

QLabel *SiteLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setFamilies({QStringLiteral("URW Chancery L"), QStringLiteral("Z003"), QStringLiteral("DejaVu Serif")});
    font.setStyleHint(QFont::Cursive);
    font.setItalic(true);
    font.setBold(true);
    font.setUnderline(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    label->setFont(font);
    // Navy on the window's own white; the focus (Tab) shows as a light band behind the name.
    label->setStyleSheet(QStringLiteral("QLabel { color: #000080; } QLabel:focus { background: #D6E4F5; }"));
    label->setCursor(Qt::PointingHandCursor);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

QString TAboutForm::BuildDate()
{
    // __DATE__ pads a one-digit day with a space: "May  2 2021".
    return QString::fromLatin1(__DATE__).simplified();
}

TAboutForm::TAboutForm(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(tr("О программе"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setModal(false);
    setFocusPolicy(Qt::StrongFocus);  // holds the focus until Tab gives it to a site
    // White like a printed card, in a dark desktop theme too: the text colours go with it.
    QPalette card = palette();
    card.setColor(QPalette::Window, Qt::white);
    card.setColor(QPalette::WindowText, kTextColour);
    setPalette(card);
    setAutoFillBackground(true);

    Label1 = new QLabel(ProgramName(), this);
    QFont title = Label1->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.9);
    Label1->setFont(title);
    Label2 = new QLabel(QStringLiteral("v." QV_VERSION_TEXT), this);
    Label3 = new QLabel(tr("Эта программа применяется для конфигурирования и контроля состояния "
                           "интеллектуального зарядного устройства Quintavolte производства \n"
                           "ООО \"ЗЕЛТ\"\n"
                           "Больше сведений о наших разработках на сайтах:"),
                        this);
    QFont body = Label3->font();
    body.setPointSizeF(body.pointSizeF() * 1.1);
    Label3->setFont(body);
    Label3->setWordWrap(true);
    UrlPymLabel = SiteLabel(QStringLiteral("pym.example"), this);
    UrlZeltLabel = SiteLabel(QStringLiteral("zelt.example"), this);
    DateLabel = new QLabel(BuildDate(), this);
    for (QLabel *label : {Label1, Label2, Label3, DateLabel})
        label->setAlignment(Qt::AlignCenter);
    UrlPymLabel->installEventFilter(this);
    UrlZeltLabel->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 14);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(10);
    layout->addWidget(Label3);
    layout->addSpacing(4);
    layout->addWidget(UrlPymLabel);
    layout->addWidget(UrlZeltLabel);
    layout->addStretch(1);
    layout->addWidget(DateLabel);
    const QSize design = ScaledSize(438, 295);
    setFixedSize(design.expandedTo(sizeHint()));
}

void TAboutForm::ShowCentredOn(QWidget *owner)
{
    if (!isVisible())
        CentreOn(this, owner);
    show();
    raise();
    // No site is picked until Tab picks one: Enter then closes the window.
    setFocus(Qt::OtherFocusReason);
}

void TAboutForm::UrlPymLabelClick()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kPymUrl)));
}

void TAboutForm::UrlZeltLabelClick()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kZeltUrl)));
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == UrlPymLabel || watched == UrlZeltLabel)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            watched == UrlPymLabel ? UrlPymLabelClick() : UrlZeltLabelClick();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == UrlPymLabel) {
            UrlPymLabelClick();
            return true;
        }
        if (watched == UrlZeltLabel) {
            UrlZeltLabelClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::keyPressEvent(QKeyEvent *event)
{
    // No button to take Enter: Enter closes, as Escape does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutForm::mousePressEvent(QMouseEvent *event)
{
    // Only the free area closes the window; presses on a text pass up from the labels.
    if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr) {
        close();
        return;
    }
    QDialog::mousePressEvent(event);
}
