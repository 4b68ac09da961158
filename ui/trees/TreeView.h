// The grid every parameter tree is shown in: a QTreeView over a thin flat model that keeps
// no texts. A cell's text comes from the bound controller while the cell is painted, which
// is what asks the device for the row's variable, so rows out of view are never read.
#pragma once
#include <QAbstractItemModel>
#include <QColor>
#include <QFont>
#include <QStringList>
#include <QTreeView>
#include <set>
#include <vector>

#include "ui/app/QtHooks.h"
#include "values/MString.h"

class cTreeView;

// What a view needs of its controller. All calls come on the window's thread.
class cTreeController {
public:
    virtual ~cTreeController() = default;
    virtual MString GetText(int row, int column) = 0;
    // After the row has been painted: place, size, show or hide its controls.
    virtual void AfterItemPaint(int row) = 0;
    // Before a cell's text is drawn: bold, colour.
    virtual void PaintText(int row, int column, QFont &font, QColor &color);
    // The row went out of view (scrolled away, filtered out): its controls hide, and the
    // next time it is painted it is laid out afresh.
    virtual void HideRowControls(int row) = 0;
    // Called when the view goes away before the controller is done with it.
    virtual void ViewDestroyed(cTreeView *view) = 0;
};

class cTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit cTreeModel(cTreeView *view);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    int AddRow(int height);
    void RemoveAllRows();
    void SetRowHeight(int row, int height);

    cTreeController *Controller = nullptr;
    QStringList Titles;
    int DefaultRowHeight = 20;

private:
    cTreeView *View;
    std::vector<int> Heights;  // 0: the default height
};

class cTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit cTreeView(QWidget *parent = nullptr);
    ~cTreeView() override;

    // Titles and widths of the three columns, in pixels of a 13-pixel font (scaled here).
    void SetColumns(const QStringList &titles, const std::vector<int> &widths);
    // The texts column 0 shows (bold or not): while the operator has not resized a column
    // himself, column 0 is made wide enough for them, taking the room from the other two
    // columns down to what their titles and controls need, and takes any room to spare.
    void SetCaptionTexts(const QStringList &captions, bool bold);
    // Texts column 1 is known to show (names of modes): it keeps room for them.
    void SetValueTexts(const QStringList &texts);
    void SetHeaderHeight(int pixels);
    void SetDefaultRowHeight(int pixels);
    // The calibration view highlights the selected row and draws tree lines at its root; the
    // others never highlight, not even the current cell while the view has the focus.
    void SetHighlightSelection(bool on);
    bool HighlightsSelection() const { return highlight_; }
    // Back to the design's column widths, fitted as at the start; a column the operator
    // dragged to nothing can be had back (a double-click on the header, or its context menu).
    void ResetColumnWidths();
    QAction *ResetWidthsAction = nullptr;  // the header's context menu entry

    void SetController(cTreeController *controller);
    cTreeController *Controller() const { return Model->Controller; }
    int AddRow();  // the new row's handle
    void RemoveAllRows();
    void SetRowHeight(int node, int pixels);
    int RowCount() const { return Model->rowCount(); }
    // The row's cell in the column, in viewport pixels; zero width when the column has none.
    QRect CellRect(int node, int column) const;
    // The periodic refresh: repaint the rows in view.
    void Refresh();
    QRect RefreshRect() const;
    void RowHeightsChanged();
    // Lays out the controls of the rows painted since the last call; runs on its own after
    // every paint, and may be called directly to do it at once.
    void AfterPaint();

    cTreeModel *TreeModel() const { return Model; }
    // Scales the design's pixel sizes by the default font's height over 13 pixels.
    int Scaled(int pixels) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ScheduleAfterPaint();
    void FitColumns();
    int TitleWidth(int column) const;
    int TextWidth(const QStringList &texts, bool bold) const;

    std::vector<int> DesignWidths;
    int CaptionWidth = 0;
    int ValueWidth = 0;
    bool Fitting = false;
    bool OperatorResized = false;
    bool highlight_ = false;

    cTreeModel *Model;
    mutable std::vector<int> Painted;
    std::set<int> Placed;  // rows whose controls may be shown
    bool AfterPaintQueued = false;
};
