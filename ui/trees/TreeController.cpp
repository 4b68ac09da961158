#include "ui/trees/TreeController.h"

#include "device/WriteGate.h"

#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QWheelEvent>

#include "ui/app/QtHooks.h"

sTreeRect ToTreeRect(const QRect &r)
{
    if (r.isNull())
        return {};
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// ---- glyphs

namespace {

QList<QIcon> &Glyphs()
{
    static QList<QIcon> glyphs;
    return glyphs;
}

int HandlerDepth = 0;
// Controls being taken down; the focus they give away then lands on a sibling of the same
// dying record, whose handlers must not run.
int TeardownDepth = 0;
constexpr char kFocusWatchName[] = "treeEditFocusWatch";

class EditFocusWatch : public QObject {
public:
    EditFocusWatch(QLineEdit *edit, std::function<void()> enter, std::function<void()> leave)
        : QObject(edit), Enter(std::move(enter)), Leave(std::move(leave))
    {
        setObjectName(QString::fromLatin1(kFocusWatchName));
        edit->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (TeardownDepth > 0)
            return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::FocusIn && Enter) {
            TreeHandlerScope scope;
            Enter();
        } else if (event->type() == QEvent::FocusOut && Leave) {
            TreeHandlerScope scope;
            Leave();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> Enter;
    std::function<void()> Leave;
};

}  // namespace

void SetTreeGlyphs(const QList<QIcon> &glyphs)
{
    Glyphs() = glyphs;
}

QIcon TreeGlyphIcon(int index)
{
    QList<QIcon> &glyphs = Glyphs();
    if (glyphs.isEmpty()) {
        static const char *const kFiles[] = {":/pictures/glyph_write.svg", ":/pictures/glyph_zero.svg",
                                             ":/pictures/glyph_value.svg", ":/pictures/glyph_reset.svg"};
        for (const char *file : kFiles)
            glyphs.append(QFile::exists(QString::fromLatin1(file)) ? QIcon(QString::fromLatin1(file)) : QIcon());
    }
    return index >= 0 && index < glyphs.size() ? glyphs[index] : QIcon();
}

// ---- controls

TreeHandlerScope::TreeHandlerScope()
{
    ++HandlerDepth;
}
TreeHandlerScope::~TreeHandlerScope()
{
    --HandlerDepth;
}
bool TreeHandlerScope::Active()
{
    return HandlerDepth > 0;
}

void DestroyTreeWidget(QWidget *widget)
{
    if (widget == nullptr)
        return;
    // Hiding a focused edit box sends it a focus-out; its record is being destroyed by then.
    for (QObject *watch :
         widget->findChildren<QObject *>(QString::fromLatin1(kFocusWatchName), Qt::FindDirectChildrenOnly))
        delete watch;
    ++TeardownDepth;
    widget->hide();
    if (TreeHandlerScope::Active()) {
        widget->disconnect();
        widget->setParent(nullptr);
        widget->deleteLater();
    } else {
        delete widget;
    }
    --TeardownDepth;
}

void TreeComboBox::wheelEvent(QWheelEvent *event)
{
    event->ignore();  // on to the viewport, which scrolls
}

void TreeComboBox::keyPressEvent(QKeyEvent *event)
{
    // The open list takes its keys itself; this handler sees only those of the closed one.
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Space:
    case Qt::Key_F4:
        if (event->modifiers() & ~(Qt::AltModifier | Qt::KeypadModifier)) {
            event->ignore();
            return;
        }
        showPopup();
        event->accept();
        return;
    default:
        // Letters would pick the item they begin; Enter, Escape and Tab mean nothing to a
        // closed list.
        event->ignore();
        return;
    }
}

void SetupSquareButton(QToolButton *button, const QString &hint, const QString &caption)
{
    button->setToolTip(hint);
    button->setText(caption);
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(false);
    // A click takes the focus from the edit box, which is what ends editing in the service tree.
    button->setFocusPolicy(Qt::StrongFocus);
}

void SetupEdit(QLineEdit *edit, const QString &hint)
{
    if (!hint.isEmpty())
        edit->setToolTip(hint);
}

void WatchEditFocus(QLineEdit *edit, std::function<void()> enter, std::function<void()> leave)
{
    new EditFocusWatch(edit, std::move(enter), std::move(leave));
}

void ParentToView(QWidget *control, cTreeView *view)
{
    const bool visible = control->isVisible();
    control->setParent(view->viewport());
    control->setVisible(visible);
}

void SetTextIfChanged(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

void SetVisibleIfChanged(QWidget *widget, bool visible)
{
    if (widget->isHidden() == visible)
        widget->setVisible(visible);
}

void PlaceEditAndButton(QLineEdit *edit, QToolButton *button, const QRect &cell)
{
    const int h = cell.height();
    const int editWidth = cell.width() - h - 4;
    edit->setGeometry(cell.left(), cell.top(), editWidth, h);
    button->setGeometry(cell.left() + editWidth + 2, cell.top(), h, h);
    SetVisibleIfChanged(edit, true);
    SetVisibleIfChanged(button, true);
}

namespace {

class LinkQuestion {
    Q_DECLARE_TR_FUNCTIONS(LinkQuestion)

public:
    // The question for a write that cuts the program off; empty for any other variable.
    static QString Text(const ModbusAction &action, const MString &text)
    {
        const QString value = ToQString(text);
        if (action.Name.Equals(u"485.Init.BaudRate"))
            return tr("Записать скорость обмена %1?\nУстройство перейдет на новую скорость, и программа "
                      "потеряет с ним связь, пока не найдет его заново поиском.")
                .arg(value);
        if (action.Name.Equals(u"Mb.MyModbusAddr"))
            return tr("Записать адрес устройства %1?\nПрограмма потеряет связь с устройством по новому адресу, "
                      "пока не найдет его заново поиском.")
                .arg(value);
        return {};
    }
    static QString Caption() { return tr("Внимание!"); }
};

}  // namespace

bool ConfirmLinkCuttingWrite(QWidget *owner, const ModbusAction &action, const MString &text)
{
    if (!ChangesDeviceLink(action.Name.View()))
        return true;
    const QString question = LinkQuestion::Text(action, text);
    return AskYesNo(owner, LinkQuestion::Caption(), question);
}

void RequestReadOf(ModbusAction *action)
{
    if (action != nullptr && action->State != mbsSent)
        action->State = mbsRequested;
}

void OnTreeClick(QAbstractButton *button, std::function<void()> handler)
{
    QObject::connect(button, &QAbstractButton::clicked, button, [handler = std::move(handler)] {
        TreeHandlerScope scope;
        handler();
    });
}
