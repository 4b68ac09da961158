// Write intent: operator input that commits nothing (wheel turns, Tab, PageUp/PageDown,
// Home/End, arrows, Ctrl+Tab, typing without Enter, Escape, focus changes, resizes) must
// never reach the device, on any page of either mode with the expert pages open. Beside
// it, the table of the committing acts: each writes its variables, once, with the value
// shown.
//
// The random part is seeded: QV_INTENT_SEED sets the seed, QV_INTENT_EVENTS the number of
// events per page, and QV_INTENT_KEEP_GOING=1 lists every unintended write of a run
// instead of stopping at the first. A failure prints the seed and the events before it.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <QStyleOptionSpinBox>
#include <charconv>
#include <deque>
#include <random>

#include "InputUtil.h"
#include "UiFixture.h"
#include "device/BatteryPresets.h"
#include "ui/dialogs/ExpertPasswordForm.h"
#include "ui/MainUnit.h"
#include "ui/pages/PresetPages.h"
#include "ui/training/TrainingPage.h"
#include "ui/trees/AccuTree.h"
#include "ui/trees/CalibrateTree.h"
#include "ui/trees/PerifTree.h"
#include "ui/trees/ServiceTree.h"
#include "ui/widgets/RadioGroupBox.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/pages/SupplyMnemoPage.h"
#include "ui/trees/TreeView.h"
#include "ui/widgets/SetpointEdit.h"
#include "ui/widgets/ToggleSwitch.h"

using namespace uitest;

namespace {

constexpr int kViewTimeoutMs = 8000;
constexpr int kDefaultEventsPerPage = 400;
constexpr quint64 kDefaultSeed = 20261211;
constexpr int kTailLength = 16;

enum class Mode { Charger, Supply };

quint64 EnvNumber(const char *name, quint64 fallback)
{
    bool ok = false;
    const quint64 value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

// Answers the password dialog with the expert's code once it is up.
void OpenExpertPages(TMainForm &form)
{
    QTimer::singleShot(0, &form, [&form] {
        TExpertPasswordForm *dialog = form.ExpertPasswordForm;
        QTRY_VERIFY(dialog->isVisible());
        dialog->ExpertPassEdit->setText(QString::fromLatin1(TExpertPasswordForm::kExpertCode));
        QTest::mouseClick(dialog->OkButton, Qt::LeftButton);
    });
    form.ExpertMenuItem->trigger();
}

// The variables with a write queued and not yet sent.
QStringList QueuedWrites()
{
    QStringList names;
    for (int i = 0;; ++i) {
        ModbusAction *variable = ActionManager->Shell.Actions.At(i);
        if (variable == nullptr)
            break;
        if (variable->WritePending)
            names << ToQString(variable->Name) + QLatin1Char(' ') + ToQString(variable->Value);
    }
    return names;
}

// "Class#name" from the page down to the widget; a control in a tree row names its row.
QString Describe(QWidget *widget, const TMainForm &form)
{
    if (widget == nullptr)
        return QStringLiteral("(none)");
    if (widget == &form)
        return QStringLiteral("(the window)");
    QStringList parts;
    for (QWidget *w = widget; w != nullptr && w != &form; w = w->parentWidget()) {
        QString part = QString::fromLatin1(w->metaObject()->className());
        if (!w->objectName().isEmpty())
            part += QLatin1Char('#') + w->objectName();
        if (auto *view = qobject_cast<cTreeView *>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr);
            view != nullptr && w->parentWidget() == view->viewport()) {
            const QModelIndex index = view->indexAt(w->geometry().center());
            if (index.isValid())
                part += QStringLiteral("[row %1 «%2»]")
                            .arg(index.row())
                            .arg(view->model()->index(index.row(), 0).data(Qt::DisplayRole).toString());
        }
        parts.prepend(part);
        if (w->parentWidget() == form.MainPC->findChild<QWidget *>(QStringLiteral("qt_tabwidget_stackedwidget")))
            break;  // the page
    }
    return parts.join(QLatin1Char('/'));
}

// A page of the window: the mode it belongs to and how to bring it to the front.
struct PageCase {
    Mode mode;
    std::function<void(TMainForm &)> show;
    std::function<QWidget *(TMainForm &)> page;
};

QWidget *Front(TMainForm &f)
{
    return f.MainPC->currentWidget();
}

// The window connected to the stand-in, expert pages open, in the given mode, with the
// writes of getting there already in the log.
class Rig {
public:
    Answers answers;
    Connected c;

    bool Start(Mode mode, std::string *error)
    {
        answers.answerYes = false;
        if (!c.Start()) {
            *error = c.error;
            return false;
        }
        TMainForm &f = c.Form();
        OpenExpertPages(f);
        if (!QTest::qWaitFor([&f] { return f.IsTabShown(f.ExpertTS) && f.IsTabShown(f.CalibrateTS); },
                             kViewTimeoutMs)) {
            *error = "the expert pages did not open";
            return false;
        }
        if (mode == Mode::Supply) {
            f.SupplyModeMenuItem->trigger();
            if (!QTest::qWaitFor(
                    [&] {
                        return Front(f) == f.SupplyMnemoTS &&
                               !c.sim.WritesTo(QStringLiteral("Reg.bModeCharger")).isEmpty();
                    },
                    kViewTimeoutMs)) {
                *error = "the power-supply mode did not come up";
                return false;
            }
        }
        // The keys go where the operator's would: the main window is the active one again.
        f.activateWindow();
        if (!QTest::qWaitForWindowActive(&f)) {
            *error = "the window did not become active";
            return false;
        }
        // What getting here wrote has landed: nothing queued, the log still.
        if (!QTest::qWaitFor([] { return QueuedWrites().isEmpty(); }, kViewTimeoutMs)) {
            *error = "writes stayed queued: " + QueuedWrites().join(QStringLiteral(", ")).toStdString();
            return false;
        }
        if (!WaitForRefreshes(1)) {
            *error = "the window stopped refreshing";
            return false;
        }
        return true;
    }
    TMainForm &Form() { return c.Form(); }
    int LogSize() const { return c.sim.Writes().size(); }
};

const QMap<QString, PageCase> &Pages()
{
    static const QMap<QString, PageCase> pages = [] {
        QMap<QString, PageCase> p;
        auto tab = [](QWidget *TMainForm::*page) {
            return [page](TMainForm &f) { f.MainPC->setCurrentWidget(f.*page); };
        };
        auto sub = [](QWidget *TMainForm::*page) {
            return [page](TMainForm &f) {
                f.MainPC->setCurrentWidget(f.BatConfigTS);
                f.BatConfigPC->setCurrentWidget(f.*page);
            };
        };
        auto front = [](TMainForm &f) { return Front(f); };
        p[QStringLiteral("charger mnemo")] = {
            Mode::Charger, [](TMainForm &f) { f.MainPC->setCurrentWidget(f.ChargerMnemoTS); }, front};
        p[QStringLiteral("charger fine tune")] = {Mode::Charger, sub(&TMainForm::FineTuneTS), front};
        p[QStringLiteral("charger Pb preset")] = {Mode::Charger,
                                                  [](TMainForm &f) {
                                                      f.MainPC->setCurrentWidget(f.BatConfigTS);
                                                      f.BatConfigPC->setCurrentWidget(f.PbPresetTS);
                                                  },
                                                  front};
        p[QStringLiteral("charger Li preset")] = {Mode::Charger,
                                                  [](TMainForm &f) {
                                                      f.MainPC->setCurrentWidget(f.BatConfigTS);
                                                      f.BatConfigPC->setCurrentWidget(f.LiPresetTS);
                                                  },
                                                  front};
        p[QStringLiteral("charger training")] = {Mode::Charger,
                                                 [](TMainForm &f) { f.MainPC->setCurrentWidget(f.TrainingTS); }, front};
        p[QStringLiteral("charger peripherals")] = {Mode::Charger, tab(&TMainForm::PerifTS), front};
        p[QStringLiteral("charger calibration")] = {Mode::Charger, tab(&TMainForm::CalibrateTS), front};
        p[QStringLiteral("charger expert")] = {Mode::Charger, tab(&TMainForm::ExpertTS), front};
        p[QStringLiteral("supply mnemo")] = {Mode::Supply,
                                             [](TMainForm &f) { f.MainPC->setCurrentWidget(f.SupplyMnemoTS); }, front};
        p[QStringLiteral("supply peripherals")] = {Mode::Supply, tab(&TMainForm::PerifTS), front};
        p[QStringLiteral("supply calibration")] = {Mode::Supply, tab(&TMainForm::CalibrateTS), front};
        p[QStringLiteral("supply expert")] = {Mode::Supply, tab(&TMainForm::ExpertTS), front};
        return p;
    }();
    return pages;
}

// Widgets under the pointer's reach: everything shown in the page control.
QList<QWidget *> ShownWidgets(TMainForm &f)
{
    QList<QWidget *> out{f.MainPC};
    for (QWidget *w : f.MainPC->findChildren<QWidget *>())
        if (w->isVisible())
            out << w;
    return out;
}

// Where a key goes: the focus widget of the main window, or the window itself.
QWidget *KeyTarget(TMainForm &f)
{
    if (QApplication::activeWindow() != &f) {
        f.activateWindow();
        if (!QTest::qWaitForWindowActive(&f))
            return &f;  // the keys reach the window all the same
    }
    QWidget *focus = QApplication::focusWidget();
    return focus != nullptr && focus->window() == &f ? focus : &f;
}

struct KeyStroke {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char *name;
};

const KeyStroke kKeys[] = {
    {Qt::Key_Tab, Qt::NoModifier, "Tab"},
    {Qt::Key_Backtab, Qt::ShiftModifier, "Shift+Tab"},
    {Qt::Key_PageUp, Qt::NoModifier, "PageUp"},
    {Qt::Key_PageDown, Qt::NoModifier, "PageDown"},
    {Qt::Key_Home, Qt::NoModifier, "Home"},
    {Qt::Key_End, Qt::NoModifier, "End"},
    {Qt::Key_Left, Qt::NoModifier, "Left"},
    {Qt::Key_Right, Qt::NoModifier, "Right"},
    {Qt::Key_Tab, Qt::ControlModifier, "Ctrl+Tab"},
    {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Shift+Tab"},
    {Qt::Key_Escape, Qt::NoModifier, "Escape"},
    // Up and Down step a set-point editor, which writes: they go to any other control.
    {Qt::Key_Up, Qt::NoModifier, "Up"},
    {Qt::Key_Down, Qt::NoModifier, "Down"},
};

bool InSetpointEditor(QWidget *w)
{
    for (; w != nullptr; w = w->parentWidget())
        if (qobject_cast<SetpointEdit *>(w) != nullptr)
            return true;
    return false;
}
// Types text the way a keyboard layout does, Cyrillic letters included.
void TypeText(QWidget *target, const QString &text)
{
    QTest::sendKeyEvent(QTest::Press, target, Qt::Key_unknown, text, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, target, Qt::Key_unknown, text, Qt::NoModifier);
}
const QString kCyrillic = QStringLiteral("АНПУаыв");

// Letters and digits (and what a number is typed with); never Space, Enter or Up/Down,
// which commit on a button, an editor or a set-point.
const char kTyped[] = "abcxyzAQ0123456789.,-";

// One run of random events over a page, with its history for the report.
class RandomRun {
public:
    RandomRun(Rig &rig, const PageCase &page, quint64 seed) : rig_(rig), page_(page), random_(seed) {}

    // The unintended writes found, each with the events that led to it.
    QStringList Run(int events, bool keepGoing)
    {
        TMainForm &f = rig_.Form();
        int logged = rig_.LogSize();
        for (int i = 0; i < events; ++i) {
            if (i % 150 == 0) {
                page_.show(f);
                Note(i, QStringLiteral("(the page is brought to the front again)"));
            }
            Step(i);
            QTest::qWait(0);
            // Not a write, but the way to many: a hidden page must not come to the front.
            if (hiddenFront_.isEmpty() && !f.IsTabShown(Front(f)))
                hiddenFront_ = QStringLiteral("the hidden page %1 came to the front at %2")
                                   .arg(Front(f)->objectName(), tail_.back());
            QStringList queued = QueuedWrites();
            for (const QString &q : stillQueued_)
                queued.removeAll(q);
            const int size = rig_.LogSize();
            if (!queued.isEmpty() || size != logged) {
                findings_ << Finding(i, queued, logged);
                logged = rig_.LogSize();
                stillQueued_ = QueuedWrites();
                if (!keepGoing)
                    return findings_;
            }
        }
        // A write posted for later still counts.
        if (!WaitForRefreshes(2))
            findings_ << QStringLiteral("the window stopped refreshing");
        if (!QueuedWrites().isEmpty() || rig_.LogSize() != logged)
            findings_ << Finding(events, QueuedWrites(), logged);
        return findings_;
    }

private:
    int Uniform(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    void Note(int i, const QString &text)
    {
        tail_.push_back(QStringLiteral("#%1 %2").arg(i).arg(text));
        if (trace_)
            qInfo().noquote() << tail_.back();
        if (tail_.size() > kTailLength)
            tail_.pop_front();
    }

    void Step(int i)
    {
        TMainForm &f = rig_.Form();
        const int kind = Uniform(100);
        if (kind < 35) {
            const QList<QWidget *> shown = ShownWidgets(f);
            QWidget *target = shown[Uniform(shown.size())];
            const int notches = (Uniform(2) ? 1 : -1) * (1 + Uniform(3));
            Note(i, QStringLiteral("wheel %1 over %2").arg(notches).arg(Describe(target, f)));
            TurnWheel(target, notches);
        } else if (kind < 60) {
            const KeyStroke &k = kKeys[Uniform(std::size(kKeys))];
            QWidget *target = KeyTarget(f);
            if ((k.key == Qt::Key_Up || k.key == Qt::Key_Down) && InSetpointEditor(target)) {
                Note(i, QStringLiteral("(no %1 in a set-point editor)").arg(QLatin1String(k.name)));
                return;
            }
            Note(i, QStringLiteral("%1 in %2").arg(QLatin1String(k.name), Describe(target, f)));
            QTest::keyClick(target, k.key, k.modifiers);
        } else if (kind < 80) {
            QWidget *target = KeyTarget(f);
            if (Uniform(4) == 0) {
                const QString c = kCyrillic.mid(Uniform(kCyrillic.size()), 1);
                Note(i, QStringLiteral("type '%1' in %2").arg(c, Describe(target, f)));
                TypeText(target, c);
                return;
            }
            const char c = kTyped[Uniform(sizeof kTyped - 1)];
            Note(i, QStringLiteral("type '%1' in %2").arg(QLatin1Char(c)).arg(Describe(target, f)));
            QTest::keyClick(target, c);
        } else if (kind < 92) {
            QList<QWidget *> focusable;
            for (QWidget *w : ShownWidgets(f))
                if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus) != 0)
                    focusable << w;
            if (Uniform(10) == 0) {
                // The operator switches to another program: the window loses the focus.
                Note(i, QStringLiteral("another window is activated (focus in %1)")
                            .arg(Describe(QApplication::focusWidget(), f)));
                other_.show();
                other_.activateWindow();
                if (!QTest::qWaitForWindowActive(&other_, 500))
                    Note(i, QStringLiteral("(the other window did not become active)"));
                return;
            }
            if (focusable.isEmpty() || Uniform(8) == 0) {
                Note(i, QStringLiteral("focus leaves %1").arg(Describe(QApplication::focusWidget(), f)));
                if (QApplication::focusWidget())
                    QApplication::focusWidget()->clearFocus();
                return;
            }
            QWidget *target = focusable[Uniform(focusable.size())];
            const Qt::FocusReason reasons[] = {Qt::MouseFocusReason, Qt::TabFocusReason, Qt::BacktabFocusReason,
                                               Qt::OtherFocusReason};
            Note(i, QStringLiteral("focus to %1").arg(Describe(target, f)));
            target->setFocus(reasons[Uniform(4)]);
        } else if (kind < 95) {
            const QSize size(500 + Uniform(900), 380 + Uniform(620));
            Note(i, QStringLiteral("resize to %1x%2").arg(size.width()).arg(size.height()));
            f.resize(size);
        } else {
            const int ms = 20 + Uniform(300);
            Note(i, QStringLiteral("wait %1 ms").arg(ms));
            QTest::qWait(ms);
        }
    }

    QString Finding(int i, const QStringList &queued, int logged)
    {
        // Let a queued write reach the stand-in, so the log names what the device got.
        const bool drained = QTest::qWaitFor([] { return QueuedWrites().isEmpty(); }, 5000);
        QTest::qWait(50);
        const QStringList writes = rig_.c.sim.Writes().mid(logged);
        QString text = QStringLiteral("after event #%1: written %2").arg(i).arg(writes.join(QStringLiteral(", ")));
        if (!queued.isEmpty())
            text += QStringLiteral(" (queued: %1)").arg(queued.join(QStringLiteral(", ")));
        if (!drained)
            text += QStringLiteral(" (still queued after 5 s)");
        text += QStringLiteral("; the events before it:\n    ");
        text += QStringList(tail_.begin(), tail_.end()).join(QStringLiteral("\n    "));
        return text;
    }

    Rig &rig_;
    const PageCase &page_;
    std::mt19937_64 random_;
    std::deque<QString> tail_;
    QStringList findings_;
    const bool trace_ = EnvNumber("QV_INTENT_TRACE", 0) != 0;
    QWidget other_;  // another program's window
    QStringList stillQueued_;
    QString hiddenFront_;

public:
    const QString &HiddenFront() const { return hiddenFront_; }

private:  // a finding's writes not yet sent, not to be reported twice
};

// ---- the committing acts ----------------------------------------------------------------

// A number as the stand-in logs a single: the shortest text that reads back as it.
QString FloatText(float value)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

// "NAME value" lists are equal when the names are, in order, and the values are the same
// number (the window shows "12,50" where the log has "12.5") or the same text.
bool SameWrites(const QStringList &got, const QStringList &want)
{
    if (got.size() != want.size())
        return false;
    for (int i = 0; i < got.size(); ++i) {
        const QString gotName = got[i].section(QLatin1Char(' '), 0, 0);
        const QString wantName = want[i].section(QLatin1Char(' '), 0, 0);
        QString gotValue = got[i].section(QLatin1Char(' '), 1);
        QString wantValue = want[i].section(QLatin1Char(' '), 1);
        if (gotName != wantName)
            return false;
        bool ok1 = false, ok2 = false;
        const double a = QString(gotValue).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok1);
        const double b = QString(wantValue).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok2);
        if (ok1 && ok2 ? std::fabs(a - b) > 1e-4 * std::max(1.0, std::fabs(b))
                       : gotValue.trimmed() != wantValue.trimmed())
            return false;
    }
    return true;
}

QString Write(const char *name, const QString &value)
{
    return QString::fromLatin1(name) + QLatin1Char(' ') + value;
}

// Brings the tree row into view and waits until the control is placed in it.
bool ShowRowControl(cTreeView *view, int row, QWidget *control)
{
    view->scrollTo(view->model()->index(row, 0), QAbstractItemView::EnsureVisible);
    return control != nullptr && QTest::qWaitFor([control] { return control->isVisible(); }, 3000);
}

// Chooses an item of the closed drop-down the way the operator does: opens the list and
// clicks the item.
void ChooseInOpenList(QComboBox *box, int index)
{
    box->showPopup();
    QAbstractItemView *list = box->view();
    QTRY_VERIFY(list->isVisible());
    const QRect r = list->visualRect(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

// Clicks the up arrow of a spin box.
void ClickStepUp(QAbstractSpinBox *box)
{
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.subControls = QStyle::SC_SpinBoxUp;
    option.buttonSymbols = box->buttonSymbols();
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    option.frame = box->hasFrame();
    const QRect up = box->style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, up.center());
}

void TypeAndEnter(QAbstractSpinBox *edit, const QString &text)
{
    edit->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Answers the next real question box by pressing Enter on it: its default button.
// The flag returned is set once Enter went to the box.
std::shared_ptr<bool> PressEnterOnNextQuestion(QObject *context)
{
    auto pressed = std::make_shared<bool>(false);
    // The pending timer holds the attempt; the attempt refers to itself only weakly, so the
    // chain is freed once it pressed Enter or gave up.
    auto attempt = std::make_shared<std::function<void(int)>>();
    const std::weak_ptr<std::function<void(int)>> weak = attempt;
    *attempt = [context, weak, pressed](int left) {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *pressed = true;
            QTest::keyClick(box, Qt::Key_Return);
            return;
        }
        if (left > 0)
            if (const auto self = weak.lock())
                QTimer::singleShot(20, context, [self, left] { (*self)(left - 1); });
    };
    QTimer::singleShot(20, context, [attempt] { (*attempt)(200); });
    return pressed;
}

// One committing act: what it does, and then the writes it must have made, in order.
struct CommitAct {
    QString name;
    std::function<bool(TMainForm &, QString *why)> act;
    std::function<QStringList(TMainForm &)> expected;
};

// Runs the acts in order; a line for each that did not write exactly what it names.
QStringList RunActs(Rig &rig, const std::vector<CommitAct> &acts)
{
    QStringList problems;
    for (const CommitAct &a : acts) {
        TMainForm &f = rig.Form();
        if (!QTest::qWaitFor([] { return QueuedWrites().isEmpty(); }, 3000))
            problems << a.name + QStringLiteral(": writes still queued before it: ") +
                            QueuedWrites().join(QStringLiteral(", "));
        const int base = rig.LogSize();
        QString why;
        if (!a.act(f, &why)) {
            if (why.startsWith(QStringLiteral("skip:")))
                qInfo().noquote() << a.name << why;
            else
                problems << a.name + QStringLiteral(": could not be done: ") + why;
            continue;
        }
        const QStringList want = a.expected(f);
        // Everything it names, and a refresh's chance for anything after it; a shortfall shows below.
        if (QTest::qWaitFor([&] { return QueuedWrites().isEmpty() && rig.LogSize() >= base + want.size(); }, 3000) &&
            !WaitForRefreshes(1))
            problems << a.name + QStringLiteral(": the window stopped refreshing");
        const QStringList got = rig.c.sim.Writes().mid(base);
        if (!SameWrites(got, want))
            problems << QStringLiteral("%1: wrote [%2], expected [%3]")
                            .arg(a.name, got.join(QStringLiteral(", ")), want.join(QStringLiteral(", ")));
    }
    return problems;
}

CommitAct Click(const QString &name, QWidget *page, std::function<QWidget *(TMainForm &)> control,
                std::function<QStringList(TMainForm &)> expected, Qt::MouseButton button = Qt::LeftButton)
{
    return {name,
            [page, control, button](TMainForm &f, QString *why) {
                f.MainPC->setCurrentWidget(page);
                QWidget *w = control(f);
                if (!QTest::qWaitFor([w] { return w->isVisible(); }, 3000)) {
                    *why = QStringLiteral("not shown");
                    return false;
                }
                QTest::mouseClick(w, button);
                return true;
            },
            std::move(expected)};
}

QStringList Nothing(TMainForm &)
{
    return {};
}

std::vector<CommitAct> ChargerPageActs(TMainForm &f)
{
    ChargerMnemoPage *m = f.ChargerMnemoTS;
    std::vector<CommitAct> acts;
    const std::pair<QToolButton *, const char *> resets[] = {
        {m->PhotoEnergyResetBtn, "Adc.EnergySolar"},
        {m->LoadEnergyResetBtn, "Adc.EnergyLoad"},
        {m->BatEnergyChargeResetBtn, "Adc.EnergyAccuCharge"},
        {m->BatEnergyDischargeResetBtn, "Adc.EnergyAccuDischarge"}};
    for (const auto &[button, variable] : resets)
        acts.push_back(Click(
            QStringLiteral("reset button %1").arg(button->objectName()), m, [b = button](TMainForm &) { return b; },
            [v = variable](TMainForm &) { return QStringList{Write(v, QStringLiteral("0"))}; }));
    const std::pair<QCheckBox *, const char *> boxes[] = {{m->LoadTurnOffCB, "Reg.bForceLoadOff"},
                                                          {m->LoadNightModeCB, "Reg.bNightLightMode"}};
    // A left click writes the state the box turns to, a right-button release the state it keeps.
    for (const auto &[box, variable] : boxes)
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::LeftButton, Qt::RightButton}) {
            auto was = std::make_shared<bool>(false);
            acts.push_back(
                {QStringLiteral("%1 %2 click").arg(box->objectName(), button == Qt::LeftButton ? "left" : "right"),
                 [m, b = box, button, was](TMainForm &f, QString *why) {
                     f.MainPC->setCurrentWidget(m);
                     if (!WaitForRefreshes(1)) {  // the box shows the device's state
                         *why = QStringLiteral("the window stopped refreshing");
                         return false;
                     }
                     *was = b->isChecked();
                     QTest::mouseClick(b, button);
                     return true;
                 },
                 [v = variable, button, was](TMainForm &) {
                     const bool now = button == Qt::LeftButton ? !*was : *was;
                     return QStringList{Write(v, now ? QStringLiteral("1") : QStringLiteral("0"))};
                 }});
        }

    PbPresetPage *pb = f.PbPresetTS;
    acts.push_back({QStringLiteral("Pb preset apply button"),
                    [pb](TMainForm &f, QString *) {
                        f.MainPC->setCurrentWidget(f.BatConfigTS);
                        f.BatConfigPC->setCurrentWidget(pb);
                        pb->BatteryUseRG->SetItemIndex(1);
                        QTest::mouseClick(pb->ApplyQuickSetupButton, Qt::LeftButton);
                        return true;
                    },
                    [pb](TMainForm &) {
                        const BatterySettings settings =
                            LeadAcidPreset(CapacityFromText(FromQString(pb->AccuCapacityEdit->currentText())),
                                           static_cast<LeadAcidUse>(pb->BatteryUseRG->ItemIndex()),
                                           static_cast<LeadAcidBuild>(pb->BatteryChemRG->ItemIndex()),
                                           static_cast<NominalVoltage>(pb->BatteryVoltageRG->ItemIndex()));
                        QStringList want;
                        for (const SettingWrite &w : InWriteOrder(settings))
                            want << QString::fromUtf16(w.Name) + QLatin1Char(' ') + FloatText(w.Value);
                        return want;
                    }});
    LiPresetPage *li = f.LiPresetTS;
    acts.push_back({QStringLiteral("Li preset apply button"),
                    [li](TMainForm &f, QString *) {
                        f.MainPC->setCurrentWidget(f.BatConfigTS);
                        f.BatConfigPC->setCurrentWidget(li);
                        li->LiBatSEdit->setText(QStringLiteral("4"));
                        QTest::mouseClick(li->LiBatApplyButton, Qt::LeftButton);
                        return true;
                    },
                    [li](TMainForm &) {
                        const auto settings =
                            LithiumPreset(CapacityFromText(FromQString(li->LiBatCEdit->text())),
                                          CellCountFromText(FromQString(li->LiBatSEdit->text())),
                                          static_cast<LithiumChemistry>(li->LiBatTypeRG->ItemIndex()));
                        QStringList want;
                        for (const SettingWrite &w : InWriteOrder(*settings))
                            want << QString::fromUtf16(w.Name) + QLatin1Char(' ') + FloatText(w.Value);
                        return want;
                    }});
    TrainingPage *t = f.TrainingTS;
    acts.push_back({QStringLiteral("training start button"),
                    [t](TMainForm &f, QString *) {
                        f.MainPC->setCurrentWidget(t);
                        t->TrainCycleCountEdit->setText(QStringLiteral("2"));
                        t->TrainLoadStateRG->SetItemIndex(1);
                        QTest::mouseClick(t->TrainBeginBitBtn, Qt::LeftButton);
                        return true;
                    },
                    [t](TMainForm &) {
                        return QStringList{
                            Write("Reg.bForceLoadOff", QString::number(t->TrainLoadStateRG->ItemIndex())),
                            Write("Reg.TrainingCycleCount", QStringLiteral("2"))};
                    }});
    return acts;
}

// Waits for the tree on its page to be built; its rows' acts are made from its records.
template <typename Tree> bool TreeReady(TMainForm &f, QWidget *page, Tree *tree)
{
    f.MainPC->setCurrentWidget(page);
    return tree != nullptr && QTest::qWaitFor([tree] { return tree->Rows.Count() > 0; }, kViewTimeoutMs);
}

// Clicks a control of a tree row, found again by its row at the time of the act.
template <typename Tree, typename Record>
CommitAct TreeClick(const QString &name, Tree *tree, int node, std::function<QWidget *(Record *)> control,
                    std::function<QStringList(Record *)> expected, std::function<void(Record *)> before = {})
{
    auto shown = std::make_shared<QStringList>();
    return {name,
            [=](TMainForm &, QString *why) {
                Record *r = tree->FindRow(node);
                if (r == nullptr || !ShowRowControl(tree->View(), node, control(r))) {
                    *why = QStringLiteral("the row's control is not shown");
                    return false;
                }
                // The value the row shows, once the device's value has been read.
                if (!QTest::qWaitFor(
                        [=] { return before || !expected(r).join(QString()).contains(QStringLiteral("--")); }, 3000)) {
                    *why = QStringLiteral("the row's value was never read");
                    return false;
                }
                if (before)
                    before(r);
                *shown = expected(r);
                QTest::mouseClick(control(r), Qt::LeftButton);
                return true;
            },
            [shown](TMainForm &) { return *shown; }};
}

QString Name(ModbusAction *a)
{
    return ToQString(a->Name);
}
QString EditText(QLineEdit *e)
{
    return e->text().trimmed();
}

std::vector<CommitAct> AccuActs()
{
    std::vector<CommitAct> acts;
    for (int i = 0; i < AccuTree->Rows.Count(); ++i) {
        sAccuND *r = AccuTree->Rows.At(i);
        if (r->Action == nullptr)
            continue;
        acts.push_back(TreeClick<cAccuTree, sAccuND>(
            QStringLiteral("fine tune write button %1").arg(Name(r->Action)), AccuTree.get(), r->Node,
            [](sAccuND *r) { return r->WriteBtn.get(); },
            [](sAccuND *r) { return QStringList{Name(r->Action) + QLatin1Char(' ') + EditText(r->ValueEdit.get())}; }));
    }
    return acts;
}

std::vector<CommitAct> PerifActs()
{
    std::vector<CommitAct> acts;
    for (int i = 0; i < PerifTree->Rows.Count(); ++i) {
        sPerifND *r = PerifTree->Rows.At(i);
        if (r->Action == nullptr)
            continue;
        const QString var = Name(r->Action);
        auto fixed = [var](const char *value) {
            return [var, value](sPerifND *) { return QStringList{var + QLatin1Char(' ') + QLatin1String(value)}; };
        };
        if (r->IsEditable)
            acts.push_back(TreeClick<cPerifTree, sPerifND>(
                QStringLiteral("peripherals write button %1").arg(var), PerifTree.get(), r->Node,
                [](sPerifND *r) { return r->WriteBtn.get(); },
                [var](sPerifND *r) { return QStringList{var + QLatin1Char(' ') + EditText(r->ValueEdit.get())}; }));
        // The reset button is there only while the counter is not 0.
        if (r->IsCounter && QTest::qWaitFor([r] { return !r->Action->Value.Equals(u"--"); }, 2000) &&
            r->Action->Value.ToInt() != 0)
            acts.push_back(TreeClick<cPerifTree, sPerifND>(
                QStringLiteral("peripherals reset button %1").arg(var), PerifTree.get(), r->Node,
                [](sPerifND *r) { return r->ResetBtn.get(); }, fixed("0")));
        if (r->IsSwitch) {
            acts.push_back(TreeClick<cPerifTree, sPerifND>(
                QStringLiteral("peripherals on button %1").arg(var), PerifTree.get(), r->Node,
                [](sPerifND *r) { return r->OnBtn.get(); }, fixed("1")));
            acts.push_back(TreeClick<cPerifTree, sPerifND>(
                QStringLiteral("peripherals off button %1").arg(var), PerifTree.get(), r->Node,
                [](sPerifND *r) { return r->OffBtn.get(); }, fixed("0")));
        }
        if (r->IsMode) {
            const int node = r->Node;
            acts.push_back({QStringLiteral("peripherals mode list %1: item chosen in the open list").arg(var),
                            [node](TMainForm &, QString *why) {
                                sPerifND *r = PerifTree->FindRow(node);
                                if (r == nullptr || !ShowRowControl(PerifTree->View(), node, r->ModeCB.get())) {
                                    *why = QStringLiteral("the list is not shown");
                                    return false;
                                }
                                QComboBox *box = r->ModeCB.get();
                                ChooseInOpenList(box, (box->currentIndex() + 1) % box->count());
                                return true;
                            },
                            [node, var](TMainForm &) {
                                return QStringList{var + QLatin1Char(' ') +
                                                   QString::number(PerifTree->FindRow(node)->ModeCB->currentIndex())};
                            }});
        }
    }
    return acts;
}

std::vector<CommitAct> CalibrationActs()
{
    std::vector<CommitAct> acts;
    // The true values first: zeroing a channel afterwards leaves nothing to divide by.
    for (int i = 0; i < CalibrateTree->Rows.Count(); ++i) {
        sCalibrateND *r = CalibrateTree->Rows.At(i);
        if (r->PreciseAction == nullptr || r->OnValueModeAction == nullptr)
            continue;
        acts.push_back(TreeClick<cCalibrateTree, sCalibrateND>(
            QStringLiteral("calibration true-value button %1").arg(Name(r->PreciseAction)), CalibrateTree.get(),
            r->Node, [](sCalibrateND *r) { return r->OnValueBtn.get(); },
            [](sCalibrateND *r) {
                QStringList want{Name(r->PreciseAction) + QLatin1Char(' ') + EditText(r->ValueEdit.get())};
                // A channel that reads nothing has no span: the device refuses the command, and
                // its log holds only what it took.
                if (r->AdcAction == nullptr || std::fabs(r->AdcAction->Value.ToReal()) > 1e-3)
                    want << Name(r->OnValueModeAction) + QStringLiteral(" 1");
                return want;
            },
            [](sCalibrateND *r) {
                // A true value near what the channel reads, as the operator measures it.
                if (EditText(r->ValueEdit.get()).isEmpty() || EditText(r->ValueEdit.get()) == QStringLiteral("--"))
                    r->ValueEdit->setText(QStringLiteral("1"));
            }));
    }
    for (int i = 0; i < CalibrateTree->Rows.Count(); ++i) {
        sCalibrateND *r = CalibrateTree->Rows.At(i);
        if (r->ZeroModeAction == nullptr)
            continue;
        acts.push_back(TreeClick<cCalibrateTree, sCalibrateND>(
            QStringLiteral("calibration zero button %1").arg(Name(r->ZeroModeAction)), CalibrateTree.get(), r->Node,
            [](sCalibrateND *r) { return r->ZeroBtn.get(); },
            [](sCalibrateND *r) { return QStringList{Name(r->ZeroModeAction) + QStringLiteral(" 1")}; }));
    }
    return acts;
}

std::vector<CommitAct> ServiceActs()
{
    std::vector<CommitAct> acts;
    std::vector<sServiceND *> writable;
    for (int i = 0; i < ServiceTree->Rows.Count(); ++i) {
        sServiceND *r = ServiceTree->Rows.At(i);
        if (r->Action != nullptr && r->Action->Access != mbaRead)
            writable.push_back(r);
    }
    // A spread of rows: the button is the same control on each.
    const size_t stride = std::max<size_t>(1, writable.size() / 12);
    for (size_t i = 0; i < writable.size(); i += stride) {
        sServiceND *r = writable[i];
        acts.push_back(TreeClick<cServiceTree, sServiceND>(
            QStringLiteral("expert write button %1").arg(Name(r->Action)), ServiceTree.get(), r->Node,
            [](sServiceND *r) { return r->WriteBtn.get(); },
            [](sServiceND *r) {
                return QStringList{Name(r->Action) + QLatin1Char(' ') + EditText(r->ValueEdit.get())};
            },
            [](sServiceND *r) {
                // The operator types the value the row shows (a command that reads nothing: 0).
                const bool read = QTest::qWaitFor([r] { return !r->Action->Value.Equals(u"--"); }, 2000);
                r->ValueEdit->setFocus(Qt::MouseFocusReason);
                r->ValueEdit->setText(read ? ToQString(r->Action->Value) : QStringLiteral("0"));
            }));
    }
    return acts;
}

CommitAct ModeAct(bool supply)
{
    return {
        supply ? QStringLiteral("menu item: power-supply mode") : QStringLiteral("menu item: charger mode"),
        [supply](TMainForm &f, QString *why) {
            (supply ? f.SupplyModeMenuItem : f.ChargerModeMenuItem)->trigger();
            if (!QTest::qWaitFor(
                    [&] { return Front(f) == (supply ? static_cast<QWidget *>(f.SupplyMnemoTS) : f.ChargerMnemoTS); },
                    kViewTimeoutMs)) {
                *why = QStringLiteral("the mode's tabs did not come");
                return false;
            }
            return true;
        },
        [supply](TMainForm &) {
            return QStringList{Write("Reg.bModeCharger", supply ? QStringLiteral("0") : QStringLiteral("1"))};
        }};
}

QString EditValue(QAbstractSpinBox *e)
{
    return e->text().trimmed();
}

std::vector<CommitAct> SupplyActs(Answers &answers)
{
    auto page = [](TMainForm &f) -> SupplyMnemoPage & {
        f.MainPC->setCurrentWidget(f.SupplyMnemoTS);
        return *f.SupplyMnemoTS;
    };
    std::vector<CommitAct> acts;
    // Just after the switch to this mode the editors have not yet shown the device's
    // set-points: they show 0,00 that nobody entered, and Enter there must not send it.
    for (const bool current : {true, false})
        acts.push_back(
            {current ? QStringLiteral("current set-point not yet filled: Enter")
                     : QStringLiteral("voltage set-point not yet filled: Enter"),
             [page, current](TMainForm &f, QString *why) {
                 SupplyMnemoPage &p = page(f);
                 SetpointEdit *edit = current ? p.SupIsetEdit : p.SupUsetEdit;
                 const MString device =
                     ActionManager->Shell.FindVariable(MString(current ? u"Reg.ChargeI" : u"Reg.ChargeMaxU"))->Value;
                 if (edit->value() != 0 || (!device.Equals(u"--") && std::fabs(device.ToReal()) < 0.005)) {
                     *why = QStringLiteral("skip: the editor shows the device's value already");
                     return false;
                 }
                 edit->setFocus(Qt::MouseFocusReason);
                 QTest::keyClick(edit, Qt::Key_Return);
                 return true;
             },
             Nothing});
    acts.push_back(
        {QStringLiteral("voltage set-point: typed 5 and Enter"),
         [page](TMainForm &f, QString *) {
             TypeAndEnter(page(f).SupUsetEdit, QStringLiteral("5"));
             return true;
         },
         [](TMainForm &f) { return QStringList{Write("Reg.ChargeMaxU", EditValue(f.SupplyMnemoTS->SupUsetEdit))}; }});
    acts.push_back(
        {QStringLiteral("current set-point: typed 1,5 and Enter"),
         [page](TMainForm &f, QString *) {
             TypeAndEnter(page(f).SupIsetEdit, QStringLiteral("1,5"));
             return true;
         },
         [](TMainForm &f) { return QStringList{Write("Reg.ChargeI", EditValue(f.SupplyMnemoTS->SupIsetEdit))}; }});
    acts.push_back(
        {QStringLiteral("current set-point: Up key"),
         [page](TMainForm &f, QString *) {
             SupplyMnemoPage &p = page(f);
             p.SupIsetEdit->setFocus(Qt::MouseFocusReason);
             QTest::keyClick(p.SupIsetEdit, Qt::Key_Up);
             return true;
         },
         [](TMainForm &f) { return QStringList{Write("Reg.ChargeI", EditValue(f.SupplyMnemoTS->SupIsetEdit))}; }});
    acts.push_back(
        {QStringLiteral("current set-point: up arrow button"),
         [page](TMainForm &f, QString *) {
             ClickStepUp(page(f).SupIsetEdit);
             return true;
         },
         [](TMainForm &f) { return QStringList{Write("Reg.ChargeI", EditValue(f.SupplyMnemoTS->SupIsetEdit))}; }});
    acts.push_back(
        {QStringLiteral("voltage set-point: Up key"),
         [page](TMainForm &f, QString *) {
             SupplyMnemoPage &p = page(f);
             p.SupUsetEdit->setFocus(Qt::MouseFocusReason);
             QTest::keyClick(p.SupUsetEdit, Qt::Key_Up);
             return true;
         },
         [](TMainForm &f) { return QStringList{Write("Reg.ChargeMaxU", EditValue(f.SupplyMnemoTS->SupUsetEdit))}; }});
    acts.push_back({QStringLiteral("output switch: off"),
                    [page](TMainForm &f, QString *why) {
                        SupplyMnemoPage &p = page(f);
                        if (!QTest::qWaitFor([&p] { return p.SupOutSwitch->isChecked(); }, 3000)) {
                            *why = QStringLiteral("the output did not show on");
                            return false;
                        }
                        QTest::mouseClick(p.SupOutSwitch, Qt::LeftButton);
                        return true;
                    },
                    [](TMainForm &) { return QStringList{Write("Reg.ChargeMaxU", QStringLiteral("0"))}; }});
    acts.push_back({QStringLiteral("output switch: on"),
                    [page](TMainForm &f, QString *why) {
                        SupplyMnemoPage &p = page(f);
                        if (!QTest::qWaitFor([&p] { return !p.SupOutSwitch->isChecked(); }, 3000)) {
                            *why = QStringLiteral("the output did not show off");
                            return false;
                        }
                        QTest::mouseClick(p.SupOutSwitch, Qt::LeftButton);
                        return true;
                    },
                    [](TMainForm &f) {
                        return QStringList{Write("Reg.ChargeI", EditValue(f.SupplyMnemoTS->SupIsetEdit)),
                                           Write("Reg.ChargeMaxU", EditValue(f.SupplyMnemoTS->SupUsetEdit))};
                    }});
    acts.push_back({QStringLiteral("voltage set-point: a rise of more than 3 V, the question answered No"),
                    [page, &answers](TMainForm &f, QString *) {
                        answers.answerYes = false;
                        const int asked = answers.questions.size();
                        TypeAndEnter(page(f).SupUsetEdit, QStringLiteral("30"));
                        // The question is posted after the key, not asked inside it.
                        const bool askedOnce =
                            QTest::qWaitFor([&] { return answers.questions.size() == asked + 1; }, 2000);
                        answers.answerYes = true;
                        return askedOnce;
                    },
                    Nothing});
    acts.push_back({QStringLiteral("voltage set-point: a rise of more than 3 V, Enter on the question (its default)"),
                    [page](TMainForm &f, QString *) {
                        const QuestionHook hook = SetQuestionHook({});
                        const std::shared_ptr<bool> pressed = PressEnterOnNextQuestion(&f);
                        TypeAndEnter(page(f).SupUsetEdit, QStringLiteral("30"));
                        const bool answered = QTest::qWaitFor(
                            [&] { return *pressed && QApplication::activeModalWidget() == nullptr; }, 5000);
                        SetQuestionHook(hook);
                        return answered;
                    },
                    Nothing});
    return acts;
}

CommitAct DisconnectAct()
{
    return {QStringLiteral("menu item: disconnect (the save at connection end)"),
            [](TMainForm &f, QString *) {
                f.ConnectMenuItem->trigger();
                return true;
            },
            [](TMainForm &) { return QStringList{Write("SaveConfigToRomNow", QStringLiteral("1"))}; }};
}
}  // namespace

class WriteIntentTest : public QObject {
    Q_OBJECT
private slots:
    void nonCommittingInputWritesNothing_data()
    {
        QTest::addColumn<QString>("page");
        for (auto it = Pages().begin(); it != Pages().end(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.key();
    }
    void nonCommittingInputWritesNothing()
    {
        QFETCH(QString, page);
        const PageCase &pageCase = Pages()[page];
        // Each page its own sequence, all from the one seed.
        const quint64 seed = EnvNumber("QV_INTENT_SEED", kDefaultSeed);
        const quint64 pageSeed = seed ^ qHash(page);
        const int events = static_cast<int>(EnvNumber("QV_INTENT_EVENTS", kDefaultEventsPerPage));
        const bool keepGoing = EnvNumber("QV_INTENT_KEEP_GOING", 0) != 0;

        Rig rig;
        std::string error;
        QVERIFY2(rig.Start(pageCase.mode, &error), error.c_str());
        // The size the last run left in the settings must not change this run's sequence.
        rig.Form().resize(900, 640);
        pageCase.show(rig.Form());
        QVERIFY(WaitForRefreshes(1));  // the page shows the device's values

        RandomRun run(rig, pageCase, pageSeed);
        const QStringList findings = run.Run(events, keepGoing);
        if (!run.HiddenFront().isEmpty())
            qWarning().noquote() << run.HiddenFront();
        if (!findings.isEmpty()) {
            QString report = QStringLiteral("QV_INTENT_SEED=%1 page «%2»: %3 unintended write(s)\n")
                                 .arg(seed)
                                 .arg(page)
                                 .arg(findings.size());
            for (const QString &f : findings)
                report += QStringLiteral("  ") + f + QLatin1Char('\n');
            if (!rig.answers.questions.isEmpty())
                report += QStringLiteral("  questions asked (answered No): ") +
                          rig.answers.questions.join(QStringLiteral("; "));
            QFAIL(qPrintable(report));
        }
    }

    // The shortest sequences the random run found, kept as cases of their own: a key on the
    // closed list of an output's mode moves its item, and must not write it.
    void closedListKeysWriteNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("End") << int(Qt::Key_End);
        QTest::newRow("Home") << int(Qt::Key_Home);
        QTest::newRow("PageDown") << int(Qt::Key_PageDown);
        QTest::newRow("Down") << int(Qt::Key_Down);
        QTest::newRow("a letter") << int(Qt::Key_unknown);
    }
    void closedListKeysWriteNothing()
    {
        QFETCH(int, key);
        Rig rig;
        std::string error;
        QVERIFY2(rig.Start(Mode::Charger, &error), error.c_str());
        TMainForm &f = rig.Form();
        QVERIFY(TreeReady(f, f.PerifTS, PerifTree.get()));
        sPerifND *mode = nullptr;
        for (int i = 0; i < PerifTree->Rows.Count() && mode == nullptr; ++i)
            if (PerifTree->Rows.At(i)->IsMode)
                mode = PerifTree->Rows.At(i);
        QVERIFY2(mode != nullptr, "the device shows no output mode rows");
        QVERIFY(ShowRowControl(PerifTree->View(), mode->Node, mode->ModeCB.get()));
        QComboBox *box = mode->ModeCB.get();
        box->setFocus(Qt::TabFocusReason);
        const int logged = rig.LogSize();
        if (key == Qt::Key_unknown)
            TypeText(box, QStringLiteral("Н"));  // the first letter of an item
        else
            QTest::keyClick(box, Qt::Key(key));
        QVERIFY2(QueuedWrites().isEmpty(), qPrintable(QueuedWrites().join(QStringLiteral(", "))));
        QVERIFY(WaitForRefreshes(1));  // nothing reaches the device later either
        QVERIFY2(rig.c.sim.Writes().mid(logged).isEmpty(),
                 qPrintable(rig.c.sim.Writes().mid(logged).join(QStringLiteral(", "))));
    }

    // Every committing act writes the variables it names, once each, with the value shown.
    void committingActs_data()
    {
        QTest::addColumn<int>("part");
        QTest::newRow("charger pages") << 0;
        QTest::newRow("trees") << 1;
        QTest::newRow("supply") << 2;
    }
    void committingActs()
    {
        QFETCH(int, part);
        Rig rig;
        std::string error;
        QVERIFY2(rig.Start(Mode::Charger, &error), error.c_str());
        rig.answers.answerYes = true;
        TMainForm &f = rig.Form();
        QStringList problems;
        if (part == 0) {
            problems << RunActs(rig, ChargerPageActs(f));
        } else if (part == 1) {
            f.MainPC->setCurrentWidget(f.BatConfigTS);
            f.BatConfigPC->setCurrentWidget(f.FineTuneTS);
            QVERIFY(TreeReady(f, f.BatConfigTS, AccuTree.get()));
            problems << RunActs(rig, AccuActs());
            QVERIFY(TreeReady(f, f.PerifTS, PerifTree.get()));
            problems << RunActs(rig, PerifActs());
            QVERIFY(TreeReady(f, f.CalibrateTS, CalibrateTree.get()));
            problems << RunActs(rig, CalibrationActs());
            QVERIFY(TreeReady(f, f.ExpertTS, ServiceTree.get()));
            problems << RunActs(rig, ServiceActs());
        } else {
            problems << RunActs(rig, {ModeAct(true)});
            problems << RunActs(rig, SupplyActs(rig.answers));
            problems << RunActs(rig, {ModeAct(false), DisconnectAct()});
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(WriteIntentTest)
#include "WriteIntent_test.moc"
