// The window in each language: in English no visible text is Russian, in Russian every
// visible text is one of the interface's own (the source texts of the translation file),
// and the translation is complete.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QXmlStreamReader>
#include <QtCharts/QAbstractAxis>
#include <QtCharts/QAbstractSeries>
#include <QtCharts/QChartView>
#include <QtTest>

#include "device/BatteryPresets.h"
#include "device/ModbusShell.h"
#include "ui/MainForm.h"
#include "ui/app/Language.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/DebugViewerForm.h"
#include "ui/dialogs/ExpertPasswordForm.h"
#include "ui/dialogs/LinkStatus.h"
#include "ui/dialogs/PortForm.h"
#include "ui/UiFixture.h"

using namespace uitest;

namespace {

constexpr int kViewTimeoutMs = 5000;

// One visible text and where it was found, for the failure message.
struct Shown {
    QString Text;
    QString Where;
};

QString Name(const QObject *o)
{
    return QString::fromUtf8(o->metaObject()->className()) + QLatin1Char('/') + o->objectName();
}

void AddText(QList<Shown> &out, const QString &text, const QString &where)
{
    if (!text.trimmed().isEmpty())
        out.append({text, where});
}

void AddModel(QList<Shown> &out, const QAbstractItemModel *model, const QModelIndex &parent, const QString &where)
{
    if (model == nullptr)
        return;
    for (int r = 0; r < model->rowCount(parent); ++r)
        for (int c = 0; c < model->columnCount(parent); ++c) {
            const QModelIndex i = model->index(r, c, parent);
            AddText(out, i.data(Qt::DisplayRole).toString(), where);
            AddText(out, i.data(Qt::ToolTipRole).toString(), where + QStringLiteral(" tooltip"));
            if (c == 0)
                AddModel(out, model, i, where);
        }
}

void AddActions(QList<Shown> &out, const QList<QAction *> &actions, const QString &where)
{
    for (const QAction *a : actions) {
        AddText(out, a->text(), where + QStringLiteral(" action"));
        AddText(out, a->toolTip() != QString(a->text()).remove(QLatin1Char('&')) ? a->toolTip() : QString(),
                where + QStringLiteral(" action tooltip"));
        if (a->menu() != nullptr) {
            AddText(out, a->menu()->title(), where + QStringLiteral(" menu"));
            AddActions(out, a->menu()->actions(), where + QStringLiteral(" menu"));
        }
    }
}

// Every text a widget and its descendants can show, hidden ones included: a hidden page or
// item may be shown later in the same language.
QList<Shown> VisibleTexts(QWidget *root)
{
    QList<Shown> out;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : widgets) {
        const QString where = Name(w);
        if (w->isWindow())
            AddText(out, w->windowTitle(), where + QStringLiteral(" caption"));
        AddText(out, w->toolTip(), where + QStringLiteral(" tooltip"));
        AddActions(out, w->actions(), where);
        if (auto *l = qobject_cast<QLabel *>(w))
            AddText(out, l->text(), where);
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            AddText(out, b->text(), where);
        if (auto *g = qobject_cast<QGroupBox *>(w))
            AddText(out, g->title(), where);
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            AddText(out, e->text(), where);
            AddText(out, e->placeholderText(), where + QStringLiteral(" placeholder"));
        }
        if (auto *c = qobject_cast<QComboBox *>(w))
            for (int i = 0; i < c->count(); ++i)
                AddText(out, c->itemText(i), where);
        if (auto *s = qobject_cast<QAbstractSpinBox *>(w))
            AddText(out, s->specialValueText(), where);
        if (auto *t = qobject_cast<QTabWidget *>(w))
            for (int i = 0; i < t->count(); ++i) {
                AddText(out, t->tabText(i), where + QStringLiteral(" tab"));
                AddText(out, t->tabToolTip(i), where + QStringLiteral(" tab tooltip"));
            }
        if (auto *m = qobject_cast<QMenuBar *>(w))
            AddActions(out, m->actions(), where);
        if (auto *p = qobject_cast<QPlainTextEdit *>(w))
            AddText(out, p->toPlainText(), where);
        if (auto *t = qobject_cast<QTextEdit *>(w))
            AddText(out, t->toPlainText(), where);
        if (auto *v = qobject_cast<QAbstractItemView *>(w)) {
            const QAbstractItemModel *model = v->model();
            AddModel(out, model, QModelIndex(), where);
            if (model != nullptr)
                for (int c = 0; c < model->columnCount(); ++c)
                    AddText(out, model->headerData(c, Qt::Horizontal).toString(), where + QStringLiteral(" header"));
        }
        if (auto *v = qobject_cast<QChartView *>(w)) {
            QChart *chart = v->chart();
            AddText(out, chart->title(), where + QStringLiteral(" chart"));
            for (const QAbstractAxis *a : chart->axes())
                AddText(out, a->titleText(), where + QStringLiteral(" axis"));
            for (const QAbstractSeries *s : chart->series())
                AddText(out, s->name(), where + QStringLiteral(" series"));
        }
    }
    return out;
}

bool HasCyrillic(const QString &text)
{
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return cyrillic.match(text).hasMatch();
}

// The interface's own texts: the source texts of the translation file, each split at its
// %1.. places, which stand for any value.
// With `element` "translation": the English texts in the same form.
QList<QStringList> SourcePatterns(const QString &element = QStringLiteral("source"))
{
    QList<QStringList> patterns;
    QFile file(QString::fromUtf8(QV_TS_PATH));
    if (!file.open(QIODevice::ReadOnly))
        return patterns;
    QXmlStreamReader xml(&file);
    static const QRegularExpression place(QStringLiteral("%\\d"));
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element)
            patterns << xml.readElementText(QXmlStreamReader::IncludeChildElements).split(place);
    return patterns;
}

// The text is the pattern with any values in its places.
bool Fits(const QString &text, const QStringList &pieces)
{
    if (pieces.size() == 1)
        return text == pieces[0];
    if (!text.startsWith(pieces.first()) || !text.endsWith(pieces.last()))
        return false;
    qsizetype at = pieces.first().size();
    const qsizetype end = text.size() - pieces.last().size();
    for (qsizetype i = 1; i + 1 < pieces.size(); ++i) {
        at = text.indexOf(pieces[i], at);
        if (at < 0 || at + pieces[i].size() > end)
            return false;
        at += pieces[i].size();
    }
    return at <= end;
}

// Texts of the window that are the same in both languages: names, numbers, units and
// device variable names.
bool NeedsNoTranslation(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^[\\x{0000}-\\x{007F}°·•…—–→«»±µΩ№\\s]*$"));
    return !HasCyrillic(text) && plain.match(text).hasMatch();
}

// The window in every state that shows other texts: connected in charger mode, then in
// power-supply mode, with the expert pages and every dialog built.
class Tour {
public:
    bool Start()
    {
        if (!window.Start()) {
            error = window.error;
            return false;
        }
        return true;
    }
    QList<Shown> Everything()
    {
        TMainForm &f = window.Form();
        QList<Shown> texts;
        // The expert pages and the dump viewer: shown by the password, read by the walk.
        bExpertMode = true;
        f.SetTabShown(f.ExpertTS, true);
        f.SetTabShown(f.CalibrateTS, true);
        for (int i = 0; i < f.MainPC->count(); ++i) {
            f.MainPC->setCurrentIndex(i);
            Settle(1);  // the page's rows and values are there
        }
        texts += VisibleTexts(&f);
        f.SupplyModeMenuItem->trigger();
        Settle(2);
        for (int i = 0; i < f.MainPC->count(); ++i) {
            f.MainPC->setCurrentIndex(i);
            Settle(1);
        }
        texts += VisibleTexts(&f);
        f.PortForm->Refresh(QString::fromStdString(window.sim.Path()));
        for (QWidget *dialog :
             std::initializer_list<QWidget *>{f.AboutForm, f.ExpertPasswordForm, f.DebugViewerForm, f.PortForm})
            texts += VisibleTexts(dialog);
        f.LinkStatsMenuItem->trigger();
        if (!QTest::qWaitForWindowExposed(f.LinkStatsForm))
            error = "the link counters did not show";
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top != &f && top->isVisible())
                texts += VisibleTexts(top);
        bExpertMode = false;
        return texts;
    }
    Connected window;
    std::string error;

private:
    void Settle(uint32_t refreshes)
    {
        if (!WaitForRefreshes(refreshes))
            error = "the window stopped refreshing";
    }
};

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void translationIsCompleteAndLoads()
    {
        QVERIFY(InstallLanguage(UiLanguage::English));
        QCOMPARE(CurrentLanguage(), UiLanguage::English);
        QCOMPARE(TranslateCoreText(QStringLiteral("Файл /tmp/a b.debug поврежден!")),
                 QStringLiteral("File /tmp/a b.debug is damaged!"));
        QCOMPARE(
            TranslateCoreText(QStringLiteral("ОШИБКА при записи настроек в устройство!\r\nПроверьте подключение!")),
            QStringLiteral("ERROR writing the settings to the device!\r\nCheck the connection!"));
        QCOMPARE(TranslateCoreText(QStringLiteral("Reg.ChargeI")), QStringLiteral("Reg.ChargeI"));
        // The presets' texts as device/ holds them: a change there must not leave them Russian.
        for (const char16_t *text : {kPresetDoneText, kPresetFailedText, kCellCountRefusedText}) {
            const QString shown = TranslateCoreText(QString::fromUtf16(text));
            QVERIFY2(!HasCyrillic(shown), qPrintable(shown));
        }
        QCOMPARE(MString::FromReal(14.4, 10, 1), MString(u"14.4"));
        QCOMPARE(QLocale().toString(1.5), QStringLiteral("1.5"));

        QVERIFY(InstallLanguage(UiLanguage::Russian));
        QCOMPARE(TranslateCoreText(QStringLiteral("Файл x поврежден!")), QStringLiteral("Файл x поврежден!"));
        QCOMPARE(MString::FromReal(14.4, 10, 1), MString(u"14,4"));
        QCOMPARE(QLocale().toString(1.5), QStringLiteral("1,5"));
    }

    void languageChoice()
    {
        QCOMPARE(LanguageOf(QLocale(QLocale::Russian, QLocale::Russia)), UiLanguage::Russian);
        QCOMPARE(LanguageOf(QLocale(QLocale::German, QLocale::Germany)), UiLanguage::English);
        QCOMPARE(LanguageOf(QLocale(QLocale::Ukrainian)), UiLanguage::English);
        const struct {
            QStringList Args;
            bool Ok;
            UiLanguage Language;
            QStringList Left;
        } cases[] = {
            {{"prog", "DIR"}, true, UiLanguage::Russian, {"prog", "DIR"}},
            {{"prog", "--lang", "en", "DIR"}, true, UiLanguage::English, {"prog", "DIR"}},
            {{"prog", "DIR", "--lang", "ru"}, true, UiLanguage::Russian, {"prog", "DIR"}},
            {{"prog", "--lang", "de"}, false, UiLanguage::Russian, {"prog", "--lang", "de"}},
            {{"prog", "--lang"}, false, UiLanguage::Russian, {"prog", "--lang"}},
        };
        for (const auto &c : cases) {
            QStringList args = c.Args;
            UiLanguage language = UiLanguage::Russian;
            QCOMPARE(TakeLanguageArgument(args, &language), c.Ok);
            QCOMPARE(language, c.Language);
            QCOMPARE(args, c.Left);
        }
    }

    void textsFromBelowAreShownInEnglish()
    {
        QVERIFY(InstallLanguage(UiLanguage::English));
        QTemporaryDir dir;
        const QString damaged = dir.filePath(QStringLiteral("bad.debug"));
        QVERIFY(WriteFile(damaged, QByteArray("\x10\x00\x00\x00\x01", 5)));
        Window w(kNoDevice);
        TDebugViewerForm &viewer = *w.form->DebugViewerForm;
        QCOMPARE(viewer.DumpMemo->toPlainText(), QStringLiteral("Open a dump to view its contents"));
        viewer.DebugOpenDialogHook = [&] { return damaged; };
        viewer.LoadDumpButtonClick();
        QCOMPARE(viewer.DumpMemo->toPlainText(), QStringLiteral("File %1 is damaged!").arg(damaged));
        InstallLanguage(UiLanguage::Russian);
    }

    void englishWindowShowsNoRussian()
    {
        QVERIFY(InstallLanguage(UiLanguage::English));
        Tour tour;
        QVERIFY2(tour.Start(), tour.error.c_str());
        QStringList russian;
        for (const Shown &s : tour.Everything())
            if (HasCyrillic(s.Text))
                russian << s.Where + QStringLiteral(": ") + s.Text;
        QVERIFY2(tour.error.empty(), tour.error.c_str());
        russian.removeDuplicates();
        for (const QString &r : russian)
            qWarning("Russian in English: %s", qPrintable(r));
        QVERIFY2(russian.isEmpty(), qPrintable(QStringLiteral("%1 Russian texts, listed above").arg(russian.size())));
        InstallLanguage(UiLanguage::Russian);
    }

    void russianWindowShowsOnlyItsOwnTexts()
    {
        QVERIFY(InstallLanguage(UiLanguage::Russian));
        const QList<QStringList> own = SourcePatterns();
        QList<QStringList> english = SourcePatterns(QStringLiteral("translation"));
        // Units and other short English texts may well be a Russian window's own ("V", "A").
        english.removeIf([](const QStringList &p) { return p.join(QString()).size() < 4; });
        QVERIFY(own.size() > 100);
        Tour tour;
        QVERIFY2(tour.Start(), tour.error.c_str());
        QStringList foreign;
        for (const Shown &s : tour.Everything()) {
            // A caption with its reading after it ("U[В] 12,9") is the caption's text.
            static const QRegularExpression reading(QStringLiteral("\\s+(--|[-+]?\\d+([.,]\\d+)?)$"));
            const QString caption = QString(s.Text).remove(reading);
            const auto fitsAny = [&](const QList<QStringList> &patterns) {
                return std::any_of(patterns.begin(), patterns.end(),
                                   [&](const QStringList &p) { return Fits(s.Text, p) || Fits(caption, p); });
            };
            if (fitsAny(own))
                continue;
            // Names, numbers and units may be Latin; an English text of the interface may not.
            if (!HasCyrillic(caption) && (NeedsNoTranslation(caption) && !fitsAny(english)))
                continue;
            foreign << s.Where + QStringLiteral(": ") + s.Text;
        }
        QVERIFY2(tour.error.empty(), tour.error.c_str());
        foreign.removeDuplicates();
        for (const QString &f : foreign)
            qWarning("not the interface's own: %s", qPrintable(f));
        QVERIFY2(foreign.isEmpty(), qPrintable(QStringLiteral("%1 foreign texts, listed above").arg(foreign.size())));
    }
};

QTEST_MAIN(LanguageTest)
#include "Language_test.moc"
