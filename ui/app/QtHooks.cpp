#include "ui/app/QtHooks.h"

#include <QApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMessageBox>
#include <QPointer>
#include <memory>

#include "core/Notify.h"
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
        // The program's own name: the application sets no display name (the platform would
        // append it to every window's caption).
        QMessageBox box(QMessageBox::Information, QStringLiteral("Quintavolte Control"),
                        QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok,
                        guarded.data());
        box.exec();
    });
}

bool AskYesNo(QWidget *owner, const QString &caption, const QString &text)
{
    if (Question())
        return Question()(caption, text);
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
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

bool InstallQtTranslations()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
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
