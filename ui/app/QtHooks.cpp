#include "ui/app/QtHooks.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <memory>

#include "core/Notify.h"
#include "ui/app/Language.h"
#include "values/MString.h"

namespace {
QuestionHook &Question()
{
    static QuestionHook hook;
    return hook;
}
}  // namespace

void InstallQtMessageHook(QWidget *owner)
{
    QPointer<QWidget> guarded(owner);
    SetMessageHook([guarded](std::u16string_view text) {
        QMessageBox box(QMessageBox::Information, ProgramName(),
                        TranslateCoreText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()))),
                        QMessageBox::Ok, guarded.data());
        box.exec();
    });
}

bool AskYesNo(QWidget *owner, const QString &caption, const QString &text)
{
    if (Question())
        return Question()(caption, text);
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    // Every question of the window leads to a write or a disconnect: an Enter meant for the
    // editor behind, or Escape, must answer No.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QuestionHook SetQuestionHook(QuestionHook hook)
{
    QuestionHook old = std::move(Question());
    Question() = std::move(hook);
    return old;
}

QString RunFileDialog(QFileDialog *dialog)
{
    const std::unique_ptr<QFileDialog> owned(dialog);
    if (owned->exec() != QDialog::Accepted || owned->selectedFiles().isEmpty())
        return {};
    return owned->selectedFiles().constFirst();
}

QString ToQString(const MString &text)
{
    return QString::fromUtf16(text.Chars(), static_cast<qsizetype>(text.Length()));
}

MString FromQString(const QString &text)
{
    const std::u16string units(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<size_t>(text.size()));
    return MString(units.c_str());
}
