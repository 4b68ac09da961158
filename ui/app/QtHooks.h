// The window's ways of asking the operator: message boxes for the core's notifier and a
// Yes/No question. Both are hooks so that tests answer without a modal loop.
#pragma once

#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

// The program's name: the main window's caption, the About window's title and the caption
// of its message boxes.
inline QString ProgramName()
{
    return QStringLiteral("Quintavolte Control");
}

// Shows the core's messages (ShowMessageBox) in plain information boxes over owner.
void InstallQtMessageHook(QWidget *owner);

// caption, text -> true for Yes.
using QuestionHook = std::function<bool(const QString &caption, const QString &text)>;
// Without a hook a message box without icon, buttons Yes and No, is shown; No is its
// default and its escape, since every question asks before a write or a disconnect.
bool AskYesNo(QWidget *owner, const QString &caption, const QString &text);
// Returns the previous hook so that a scope can restore it.
QuestionHook SetQuestionHook(QuestionHook hook);

// Runs the dialog (and frees it); the chosen file, or empty when the operator cancelled.
QString RunFileDialog(QFileDialog *dialog);

// MString <-> QString, both UTF-16.
class MString;
QString ToQString(const MString &text);
MString FromQString(const QString &text);
