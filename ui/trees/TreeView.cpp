#include "ui/trees/TreeView.h"

#include "ui/widgets/Contrast.h"

#include <QHeaderView>
#include <QPen>
#include <QStyledItemDelegate>
#include <QAction>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cmath>

void cTreeController::PaintText(int, int, QFont &, QColor &)
{
}

// ---- model

cTreeModel::cTreeModel(cTreeView *view) : QAbstractItemModel(view), View(view)
{
}

QModelIndex cTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex cTreeModel::parent(const QModelIndex &) const
{
    return {};
}

int cTreeModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(Heights.size());
}

int cTreeModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant cTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::SizeHintRole: {
        // Always answered, so that measuring a row never asks for its text (and its variable).
        const int h = Heights[static_cast<std::size_t>(index.row())];
        return QSize(-1, h > 0 ? h : DefaultRowHeight);
    }
    case Qt::DisplayRole:
        if (Controller == nullptr)
            return {};
        return ToQString(Controller->GetText(index.row(), index.column()));
    case Qt::FontRole:
    case Qt::ForegroundRole: {
        if (Controller == nullptr)
            return {};
        QFont font = View->font();
        QColor color;
        Controller->PaintText(index.row(), index.column(), font, color);
        if (role == Qt::FontRole)
            return font == View->font() ? QVariant() : QVariant(font);
        // A tree's own text colour keeps its hue but stays readable on a dark palette's base.
        return color.isValid() ? QVariant(WithContrast(color, View->palette().color(QPalette::Base), kTextContrast))
                               : QVariant();
    }
    default:
        return {};
    }
}

QVariant cTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < Titles.size())
        return Titles[section];
    return {};
}

Qt::ItemFlags cTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The third column holds the row's controls; it never takes the focus itself.
    if (index.column() == 2)
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int cTreeModel::AddRow(int height)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    Heights.push_back(height);
    endInsertRows();
    return row;
}

void cTreeModel::RemoveAllRows()
{
    beginResetModel();
    Heights.clear();
    endResetModel();
}

void cTreeModel::SetRowHeight(int row, int height)
{
    if (row < 0 || row >= rowCount())
        return;
    Heights[static_cast<std::size_t>(row)] = height;
    // Only the size changed; a data-changed signal would repaint, which reads.
    View->RowHeightsChanged();
}

// ---- view

namespace {

// Paints cells as the default does, but without the focus frame of the current cell
// unless the view highlights: the trees show values, not a cursor.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(cTreeView *view) : QStyledItemDelegate(view), view_(view) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt(option);
        if (!view_->HighlightsSelection())
            opt.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, opt, index);
    }

private:
    cTreeView *view_;
};

}  // namespace

cTreeView::cTreeView(QWidget *parent) : QTreeView(parent), Model(new cTreeModel(this))
{
    setModel(Model);
    setItemDelegate(new CellDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(false);
    setAllColumnsShowFocus(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    // A zero-width third column is how the operator hides every control.
    header()->setMinimumSectionSize(0);
    Model->DefaultRowHeight = Scaled(20);
    SetHeaderHeight(20);
    connect(header(), &QHeaderView::sectionResized, this, [this] {
        if (!Fitting)
            OperatorResized = true;
        ScheduleAfterPaint();
    });
    // A column dragged to nothing has no handle left to drag it back with.
    connect(header(), &QHeaderView::sectionDoubleClicked, this, &cTreeView::ResetColumnWidths);
    ResetWidthsAction = new QAction(tr("Сбросить ширину столбцов"), this);
    connect(ResetWidthsAction, &QAction::triggered, this, &cTreeView::ResetColumnWidths);
    header()->addAction(ResetWidthsAction);
    header()->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void cTreeView::ResetColumnWidths()
{
    OperatorResized = false;
    FitColumns();
}

cTreeView::~cTreeView()
{
    if (Model->Controller != nullptr)
        Model->Controller->ViewDestroyed(this);
}

int cTreeView::Scaled(int pixels) const
{
    const double ratio = std::max(1.0, QFontMetricsF(font()).height() / 13.0);
    return static_cast<int>(std::lround(pixels * ratio));
}

void cTreeView::SetColumns(const QStringList &titles, const std::vector<int> &widths)
{
    Model->Titles = titles;
    emit Model->headerDataChanged(Qt::Horizontal, 0, 2);
    DesignWidths.clear();
    for (int c = 0; c < 3 && c < static_cast<int>(widths.size()); ++c)
        DesignWidths.push_back(Scaled(widths[static_cast<std::size_t>(c)]));
    FitColumns();
}

int cTreeView::TextWidth(const QStringList &texts, bool bold) const
{
    QFont f = font();
    f.setBold(bold);
    const QFontMetrics metrics(f);
    int widest = 0;
    for (const QString &text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest + 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 8;
}

void cTreeView::SetCaptionTexts(const QStringList &captions, bool bold)
{
    CaptionWidth = std::max(CaptionWidth, TextWidth(captions, bold) + (rootIsDecorated() ? indentation() : 0));
    FitColumns();
}

void cTreeView::SetValueTexts(const QStringList &texts)
{
    ValueWidth = std::max(ValueWidth, TextWidth(texts, false));
    FitColumns();
}

int cTreeView::TitleWidth(int column) const
{
    const QString title = column < Model->Titles.size() ? Model->Titles[column] : QString();
    return header()->fontMetrics().horizontalAdvance(title) + 16;
}

void cTreeView::FitColumns()
{
    if (OperatorResized || DesignWidths.size() != 3)
        return;
    int w0 = std::max(DesignWidths[0], CaptionWidth);
    int w1 = std::max(DesignWidths[1], ValueWidth);
    int w2 = DesignWidths[2];
    const int room = viewport()->width();
    int excess = w0 + w1 + w2 - room;
    // Before the first layout the viewport has no real width yet: nothing to shrink for.
    if (excess > 0 && room >= 100) {
        const int give1 = std::max(0, std::min(excess, w1 - std::max(TitleWidth(1), ValueWidth)));
        w1 -= give1;
        excess -= give1;
        // The controls need two square buttons and a short edit box.
        const int min2 = std::max(TitleWidth(2), 2 * Model->DefaultRowHeight + 48);
        const int give2 = std::max(0, std::min(excess, w2 - min2));
        w2 -= give2;
    } else if (excess < 0 && room >= 100) {
        // Room to spare goes to the captions, so the grid ends at the view's edge.
        w0 -= excess;
    }
    Fitting = true;
    header()->resizeSection(0, w0);
    header()->resizeSection(1, w1);
    header()->resizeSection(2, w2);
    Fitting = false;
}

void cTreeView::SetHeaderHeight(int pixels)
{
    // Never below what the header's font needs: a title must show whole.
    const int h = std::max(Scaled(pixels), header()->sizeHint().height());
    header()->setFixedHeight(h);
}

void cTreeView::SetDefaultRowHeight(int pixels)
{
    Model->DefaultRowHeight = Scaled(pixels);
    RowHeightsChanged();
}

void cTreeView::SetHighlightSelection(bool on)
{
    highlight_ = on;
    setSelectionMode(on ? QAbstractItemView::SingleSelection : QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setRootIsDecorated(on);
}

void cTreeView::SetController(cTreeController *controller)
{
    Model->Controller = controller;
}

int cTreeView::AddRow()
{
    return Model->AddRow(0);
}

void cTreeView::RemoveAllRows()
{
    Painted.clear();
    Placed.clear();
    Model->RemoveAllRows();
}

void cTreeView::SetRowHeight(int node, int pixels)
{
    Model->SetRowHeight(node, Scaled(pixels));
}

QRect cTreeView::CellRect(int node, int column) const
{
    const QModelIndex index = Model->index(node, column);
    if (!index.isValid() || isRowHidden(node, {}))
        return {};
    return visualRect(index);
}

void cTreeView::Refresh()
{
    viewport()->update(RefreshRect());
}

// Only the value column changes between two refreshes: names are fixed and the controls
// repaint themselves. Painting it still asks every row in view for its value, and so
// still reads them all; the other columns are drawn when the toolkit needs them.
QRect cTreeView::RefreshRect() const
{
    const int left = columnViewportPosition(1);
    const int width = columnWidth(1);
    if (width <= 0)
        return viewport()->rect();  // no value column to paint: paint all, so rows are still read
    return QRect(left, 0, width, viewport()->height());
}

void cTreeView::RowHeightsChanged()
{
    scheduleDelayedItemsLayout();
}

void cTreeView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    // Vertical grid lines over the whole height, also below the last row.
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Mid));
    const int height = viewport()->height();
    for (int c = 0; c < 3; ++c) {
        const int x = columnViewportPosition(c) + columnWidth(c) - 1;
        painter.drawLine(x, 0, x, height);
    }
    ScheduleAfterPaint();
}

void cTreeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QTreeView::drawRow(painter, option, index);
    painter->save();
    painter->setPen(palette().color(QPalette::Mid));
    const QRect r = option.rect;
    painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter->restore();
    Painted.push_back(index.row());
}

void cTreeView::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    QTreeView::drawBranches(painter, rect, index);
    if (!highlight_ || !rootIsDecorated() || rect.width() <= 0)
        return;
    // Dotted lines join the root rows, as a tree's lines do: down the branch column, and
    // across to each row.
    painter->save();
    QPen pen(palette().color(QPalette::Mid));
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    const int x = rect.left() + indentation() / 2;
    const int y = rect.center().y();
    const bool last = index.row() + 1 >= Model->rowCount();
    painter->drawLine(x, rect.top(), x, last ? y : rect.bottom());
    painter->drawLine(x, y, rect.left() + indentation() - 2, y);
    painter->restore();
}

void cTreeView::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    ScheduleAfterPaint();
}

void cTreeView::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    FitColumns();
    ScheduleAfterPaint();
}

void cTreeView::ScheduleAfterPaint()
{
    // Controls are moved after painting, never inside it: moving a child while painting
    // asks for yet another paint.
    if (AfterPaintQueued)
        return;
    AfterPaintQueued = true;
    QTimer::singleShot(0, this, [this] {
        if (AfterPaintQueued)
            AfterPaint();
    });
}

void cTreeView::AfterPaint()
{
    AfterPaintQueued = false;
    cTreeController *controller = Model->Controller;
    std::vector<int> rows;
    rows.swap(Painted);
    if (controller == nullptr)
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows) {
        if (row >= Model->rowCount())
            continue;
        controller->AfterItemPaint(row);
        Placed.insert(row);
    }
    // Rows that left the view (scrolled away, hidden by a filter) take their controls along.
    const int height = viewport()->height();
    for (auto it = Placed.begin(); it != Placed.end();) {
        const QModelIndex index = Model->index(*it, 0);
        const QRect r = index.isValid() && !isRowHidden(*it, {}) ? visualRect(index) : QRect();
        if (!r.isNull() && r.bottom() >= 0 && r.top() < height) {
            ++it;
            continue;
        }
        controller->HideRowControls(*it);
        it = Placed.erase(it);
    }
}
