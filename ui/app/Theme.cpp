#include "ui/app/Theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

std::optional<UiTheme> ParseTheme(std::string_view name)
{
    if (name == "system")
        return UiTheme::System;
    if (name == "light")
        return UiTheme::Light;
    if (name == "dark")
        return UiTheme::Dark;
    return std::nullopt;
}

bool TakeThemeArgument(QStringList &args, UiTheme *theme)
{
    const qsizetype dark = args.indexOf(QStringLiteral("--dark"));
    if (dark >= 0) {
        *theme = UiTheme::Dark;
        args.remove(dark);
        return true;
    }
    const qsizetype at = args.indexOf(QStringLiteral("--theme"));
    if (at < 0)
        return true;
    const std::optional<UiTheme> chosen = at + 1 < args.size() ? ParseTheme(args[at + 1].toStdString()) : std::nullopt;
    if (!chosen)
        return false;
    *theme = *chosen;
    args.remove(at, 2);
    return true;
}

QPalette LightPalette()
{
    QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    QPalette p = fusion != nullptr ? fusion->standardPalette() : QPalette();
    delete fusion;
    return p;
}

QPalette DarkPalette()
{
    // Greys of the same family as the pictures' device box, so the diagrams sit well in it.
    const QColor window(0x2B, 0x30, 0x33), base(0x1F, 0x23, 0x25), text(0xEC, 0xEF, 0xF1);
    const QColor button(0x37, 0x3D, 0x41), disabledText(0x80, 0x8A, 0x90);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xFF, 0x8A, 0x80));
    p.setColor(QPalette::Light, button.lighter(150));
    p.setColor(QPalette::Midlight, button.lighter(125));
    p.setColor(QPalette::Mid, button.lighter(110));
    p.setColor(QPalette::Dark, base.darker(130));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x1E, 0x88, 0xE5));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x90, 0xCA, 0xF9));
    p.setColor(QPalette::LinkVisited, QColor(0xCE, 0x93, 0xD8));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x45, 0x5A, 0x64));
    return p;
}

void ApplyTheme(UiTheme theme)
{
    if (theme == UiTheme::System)
        return;
    // Fusion draws every control from the palette; platform styles may keep their own colours.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(theme == UiTheme::Dark ? DarkPalette() : LightPalette());
}

bool IsDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF();
}
