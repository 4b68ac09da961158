// What the four parameter trees share: the row record base, the controls a row owns, the
// glyphs of the square buttons, and the controller template with its pool of records.
#pragma once
#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <cstdint>
#include <functional>
#include <optional>

#include "device/ActionManager.h"
#include "ui/trees/FormatRounded.h"
#include "ui/trees/ObjectFactoryT.h"
#include "ui/trees/TreeView.h"
#include "ui/dialogs/WriteRefusal.h"
#include "device/WriteJournal.h"

// The column-2 cell at the last layout, in viewport pixels; all 0 before the first.
struct sTreeRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const sTreeRect &) const = default;
};
sTreeRect ToTreeRect(const QRect &r);

// The four glyphs of the square buttons.
enum TreeGlyph { tgWrite = 0, tgZero = 1, tgOnValue = 2, tgReset = 3 };
// The window's glyph list; until it is set, the pictures are taken from the resources.
void SetTreeGlyphs(const QList<QIcon> &glyphs);
QIcon TreeGlyphIcon(int index);

// A control owned by a row record: made hidden and without parent with the record,
// destroyed with it. The pointer empties itself if the view took the control down first.
template <typename W> class TreeControl {
public:
    TreeControl() : Widget(new W) { Widget->hide(); }
    TreeControl(const TreeControl &) = delete;
    TreeControl &operator=(const TreeControl &) = delete;
    ~TreeControl() { DestroyTreeWidget(Widget.data()); }
    W *operator->() const { return Widget.data(); }
    W *get() const { return Widget.data(); }
    explicit operator bool() const { return !Widget.isNull(); }

private:
    QPointer<W> Widget;
};
// Detaches and frees a control; while one of the trees' handlers runs (a handler can run
// the scheduler, and with it a refresh that clears the trees) the freeing waits for the
// event loop, so the control whose signal is being handled outlives its handler.
void DestroyTreeWidget(QWidget *widget);

// Counts the tree handlers running, for DestroyTreeWidget.
class TreeHandlerScope {
public:
    TreeHandlerScope();
    ~TreeHandlerScope();
    TreeHandlerScope(const TreeHandlerScope &) = delete;
    TreeHandlerScope &operator=(const TreeHandlerScope &) = delete;
    static bool Active();
};

// The drop-down of a tree row, whose chosen item is written to the device. Only a choice
// made in the open list (a click or Enter on an item) is one: a closed list changes its
// item (and so emits activated) on Up/Down, Home/End, PageUp/PageDown, letters and wheel
// turns. Here the moving keys open the list instead, other keys go on to the tree, and a
// wheel turn scrolls the tree.
class TreeComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

// Square button of the row's height with a centred glyph (or a caption) and a hover hint.
void SetupSquareButton(QToolButton *button, const QString &hint, const QString &caption = {});
void SetupEdit(QLineEdit *edit, const QString &hint);
// Calls enter when the edit box gains the focus, leave when it loses it.
void WatchEditFocus(QLineEdit *edit, std::function<void()> enter, std::function<void()> leave);
// Runs the handler when the button is clicked, inside a TreeHandlerScope.
void OnTreeClick(QAbstractButton *button, std::function<void()> handler);
void ParentToView(QWidget *control, cTreeView *view);
void SetTextIfChanged(QLineEdit *edit, const QString &text);
void SetVisibleIfChanged(QWidget *widget, bool visible);
// Lays an edit box and its square write button out in the value cell and shows both.
void PlaceEditAndButton(QLineEdit *edit, QToolButton *button, const QRect &cell);

// A few variables cut the program off the device when written (its rate or address
// changes under the program's feet): the operator is asked first, with No as the safe
// answer. True when the write may go: another variable, or the operator said Yes.
bool ConfirmLinkCuttingWrite(QWidget *owner, const ModbusAction &action, const MString &text);

// Requests a read of the variable unless an exchange is under way.
void RequestReadOf(ModbusAction *action);

// Controller of one tree over records ND. ND starts with the fields LastRect and Node.
template <typename ND> class cTreeControllerT : public cTreeController {
public:
    explicit cTreeControllerT(cActionManager *device) : Device(device) {}
    ~cTreeControllerT() override
    {
        Rows.Clear();
        if (TreeView && TreeView->Controller() == this)
            TreeView->SetController(nullptr);
    }

    // Takes the view: its rows go, and its painting calls back into this controller.
    void Bind(cTreeView *view)
    {
        TreeView = view;
        if (TreeView == nullptr)
            return;
        TreeView->RemoveAllRows();
        TreeView->SetController(this);
    }

    // Rows leave the view before their records are destroyed, so no paint reaches a freed record.
    void Clear()
    {
        if (!TreeView)
            return;
        TreeView->RemoveAllRows();
        Rows.Clear();
        ++Generation;
    }

    // Program start: no view, no rows.
    void Reset()
    {
        Rows.Clear();
        if (TreeView && TreeView->Controller() == this)
            TreeView->SetController(nullptr);
        TreeView = nullptr;
        ++Generation;
    }

    ND *FindRow(int row) const
    {
        for (int i = 0; i < Rows.Count(); ++i) {
            ND *record = Rows.At(i);
            if (record->Node == row)
                return record;
        }
        return nullptr;
    }

    void ViewDestroyed(cTreeView *view) override
    {
        if (TreeView == view) {
            Rows.Clear();
            TreeView = nullptr;
            ++Generation;
        }
    }

    cTreeView *View() const { return TreeView.data(); }

    cActionManager *Device;
    ObjectFactoryT<ND> Rows;
    // Changes whenever the records are thrown away, so a handler that ran the scheduler can
    // tell whether its record still exists.
    uint32_t Generation = 0;

protected:
    ND *AddRecord()
    {
        ND *record = Rows.Add();
        record->Node = TreeView->AddRow();
        return record;
    }
    ModbusAction *Find(const char16_t *name) const { return Device->Variable(MString(name)); }
    enum class WriteEnd { Queued, Refused, Declined, Gone };
    // Queues the write when the gate lets the text through and, for a write that cuts the
    // program off the device, the operator agrees; a refusal is explained. Declined: the
    // operator answered No, and nothing was written. Gone: the trees were cleared while the
    // question was open (the link ended meanwhile): nothing was written, and the caller's
    // record no longer exists.
    WriteEnd WriteAsked(ModbusAction *action, const MString &text)
    {
        if (action == nullptr)
            return WriteEnd::Refused;
        if (CheckWrite(*action, text).Ok()) {
            const uint32_t generation = Generation;
            const bool agreed = ConfirmLinkCuttingWrite(TreeView, *action, text);
            if (generation != Generation)
                return WriteEnd::Gone;
            if (!agreed)
                return WriteEnd::Declined;
        }
        const WriteOrigin origin("window: " + (TreeView ? TreeView->objectName().toStdString() : std::string("tree")) +
                                 " row " + action->Name.ToUtf8());
        return RequestWriteOrExplain(Device->Shell, action, text) ? WriteEnd::Queued : WriteEnd::Refused;
    }
    // False when nothing was queued.
    bool Write(ModbusAction *action, const MString &text) { return WriteAsked(action, text) == WriteEnd::Queued; }
    bool Built() const { return TreeView && Rows.Count() > 0; }
    // The row's value cell when it moved or changed size since the record's controls were
    // last placed, remembered for next time; nothing when they are still in place.
    std::optional<QRect> MovedValueCell(ND *record, int row)
    {
        const QRect r = TreeView->CellRect(row, 2);
        const sTreeRect rect = ToTreeRect(r);
        if (rect == record->LastRect)
            return std::nullopt;
        record->LastRect = rect;
        return r;
    }

    QPointer<cTreeView> TreeView;
};
