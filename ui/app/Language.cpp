#include "ui/app/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

#include "values/MString.h"

// Q_INIT_RESOURCE must stand outside any namespace; the library is static, so nothing
// else would pull the translations' resource in.
static void InitTranslationsResource()
{
    Q_INIT_RESOURCE(translations);
}

namespace {

UiLanguage current = UiLanguage::Russian;
std::unique_ptr<QTranslator> ours;
std::unique_ptr<QTranslator> framework;

void Remove(std::unique_ptr<QTranslator> &translator)
{
    if (translator)
        QCoreApplication::removeTranslator(translator.get());
    translator.reset();
}

bool Load(std::unique_ptr<QTranslator> &slot, const QLocale &locale, const QString &name, const QString &dir)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), dir))
        return false;
    QCoreApplication::installTranslator(translator.get());
    slot = std::move(translator);
    return true;
}

// The texts of the layers below as they write them (%1 stands for a file name). They are
// repeated here because the translation file is gathered from literals in the window's
// sources.
constexpr const char *kCoreTexts[] = {
    QT_TRANSLATE_NOOP("CoreText", "Файл %1 поврежден!"),
    QT_TRANSLATE_NOOP("CoreText", "Зарядное устройство настроено успешно!"),
    QT_TRANSLATE_NOOP("CoreText", "ОШИБКА при записи настроек в устройство!"),
    QT_TRANSLATE_NOOP("CoreText", "Проверьте подключение!"),
    QT_TRANSLATE_NOOP("CoreText", "Журнал записей не ведется: %1"),
    QT_TRANSLATE_NOOP("CoreText", "Недопустимое количество ячеек. Количество последовательно соединенных "
                                  "элементов может быть от 3 до 9."),
};

}  // namespace

UiLanguage LanguageOf(const QLocale &locale)
{
    return locale.language() == QLocale::Russian ? UiLanguage::Russian : UiLanguage::English;
}

std::optional<UiLanguage> ParseLanguage(std::string_view code)
{
    if (code == "ru")
        return UiLanguage::Russian;
    if (code == "en")
        return UiLanguage::English;
    return std::nullopt;
}

bool TakeLanguageArgument(QStringList &args, UiLanguage *language)
{
    const qsizetype at = args.indexOf(QStringLiteral("--lang"));
    if (at < 0)
        return true;
    const std::optional<UiLanguage> chosen =
        at + 1 < args.size() ? ParseLanguage(args[at + 1].toStdString()) : std::nullopt;
    if (!chosen)
        return false;
    *language = *chosen;
    args.remove(at, 2);
    return true;
}

bool InstallLanguage(UiLanguage language)
{
    Remove(ours);
    Remove(framework);
    current = language;
    const QString qtDir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (language == UiLanguage::Russian) {
        const QLocale russian(QLocale::Russian, QLocale::Russia);
        QLocale::setDefault(russian);
        // Without a Russian locale on the system the separator stays the system's.
        SetNumberLocale("ru_RU.UTF-8") || SetNumberLocale("ru_RU.utf8");
        Load(framework, russian, QStringLiteral("qtbase"), qtDir);
        return true;
    }
    InitTranslationsResource();
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QLocale::setDefault(english);
    SetNumberLocale("C");
    current =
        Load(ours, english, QStringLiteral("quintavolte"), QStringLiteral(":/i18n")) ? language : UiLanguage::Russian;
    return current == language;
}

UiLanguage CurrentLanguage()
{
    return current;
}

namespace {

QString TranslateLine(const QString &text)
{
    for (const char *known : kCoreTexts) {
        const QString source = QString::fromUtf8(known);
        const qsizetype hole = source.indexOf(QStringLiteral("%1"));
        if (hole < 0) {
            if (text == source)
                return QCoreApplication::translate("CoreText", known);
            continue;
        }
        const QString head = source.left(hole), tail = source.mid(hole + 2);
        if (text.size() >= head.size() + tail.size() && text.startsWith(head) && text.endsWith(tail))
            return QCoreApplication::translate("CoreText", known)
                .arg(text.mid(head.size(), text.size() - head.size() - tail.size()));
    }
    return text;
}

}  // namespace

QString TranslateCoreText(const QString &shown)
{
    if (current == UiLanguage::Russian)
        return shown;
    // Line by line: the layers below join their texts with line ends (\r\n, as the
    // device's home platform writes them, or \n), which are kept as they are.
    QString out;
    qsizetype from = 0;
    while (from <= shown.size()) {
        qsizetype end = shown.indexOf(QLatin1Char('\n'), from);
        if (end < 0)
            end = shown.size();
        const qsizetype lineEnd = end > from && shown[end - 1] == QLatin1Char('\r') ? end - 1 : end;
        out += TranslateLine(shown.mid(from, lineEnd - from));
        out += shown.mid(lineEnd, end - lineEnd + (end < shown.size() ? 1 : 0));
        from = end + 1;
    }
    return out;
}
