#include "ui/widgets/MenuKeyboard.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleFactory>

namespace {

// The application's style with keyboard navigation of the menu bar turned on.
class MenuBarKeyboardStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// F10 acts as a tap of Alt: the bar enters keyboard mode on its first item.
void TapAlt(QMenuBar *bar)
{
    QWidget *window = bar->window();
    QKeyEvent press(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &release);
}

}  // namespace

void EnableMenuKeyboard(QMenuBar *bar)
{
    auto *style = new MenuBarKeyboardStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(bar);
    bar->setStyle(style);
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), bar->window());
    f10->setContext(Qt::WindowShortcut);
    QObject::connect(f10, &QShortcut::activated, bar, [bar] { TapAlt(bar); });
}
