// The tree grid itself, without a device: column widths the operator can have back, no
// focus frame on the value trees, and tree lines at the calibration tree's root.
#include <QAction>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QtTest>

#include "ui/trees/TreeView.h"

namespace {

class TextController : public cTreeController {
public:
    MString GetText(int row, int column) override { return MString::FromInt(row * 10 + column); }
    void AfterItemPaint(int) override {}
    void HideRowControls(int) override {}
    void ViewDestroyed(cTreeView *) override {}
};

// One cell painted by the delegate, with or without the focus state.
QImage PaintCell(QAbstractItemDelegate *delegate, const QModelIndex &index, bool focus)
{
    QImage image(120, 24, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled | (focus ? QStyle::State_HasFocus : QStyle::State_None);
    option.palette = QApplication::palette();
    delegate->paint(&painter, option, index);
    return image;
}

}  // namespace

class TreeViewTest : public QObject {
    Q_OBJECT
private slots:
    void aColumnDraggedToNothingComesBack()
    {
        TextController controller;
        cTreeView view;
        view.SetController(&controller);
        view.resize(500, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.SetColumns({"A", "B", "C"}, {150, 100, 120});
        const int design2 = view.columnWidth(2);
        QVERIFY(design2 > 0);
        // Both ways back: the header's context menu entry and a double-click on the header.
        for (const bool byMenu : {true, false}) {
            view.header()->resizeSection(2, 0);
            QCOMPARE(view.columnWidth(2), 0);
            if (byMenu) {
                QVERIFY(view.header()->actions().contains(view.ResetWidthsAction));
                QCOMPARE(view.ResetWidthsAction->text(), QStringLiteral("Сбросить ширину столбцов"));
                view.ResetWidthsAction->trigger();
            } else {
                QTest::mouseDClick(view.header()->viewport(), Qt::LeftButton, {},
                                   QPoint(view.header()->sectionViewportPosition(0) + 10, view.header()->height() / 2));
            }
            QCOMPARE(view.columnWidth(2), design2);
        }
    }

    // The value trees show no frame on the current cell; the calibration tree, which
    // highlights its selected row, keeps the usual look.
    void onlyTheHighlightingTreeMarksTheCurrentCell()
    {
        TextController controller;
        cTreeView view;
        view.SetController(&controller);
        view.AddRow();
        const QModelIndex cell = view.model()->index(0, 0);
        QStyledItemDelegate plain;
        // Without this, the check below could not fail: the style must draw a focus frame.
        QVERIFY(PaintCell(&plain, cell, true) != PaintCell(&plain, cell, false));
        QCOMPARE(PaintCell(view.itemDelegate(), cell, true), PaintCell(view.itemDelegate(), cell, false));
        view.SetHighlightSelection(true);
        QVERIFY(PaintCell(view.itemDelegate(), cell, true) != PaintCell(view.itemDelegate(), cell, false));
    }

    void theCalibrationTreeDrawsLinesAtItsRoot()
    {
        TextController controller;
        for (const bool calibration : {false, true}) {
            cTreeView view;
            view.SetController(&controller);
            view.SetHighlightSelection(calibration);
            for (int i = 0; i < 3; ++i)
                view.AddRow();
            view.resize(400, 200);
            view.SetColumns({"A", "B", "C"}, {150, 100, 120});
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            const QImage shot = view.viewport()->grab().toImage();
            // Down the branch column between the first two rows, where only a line can be.
            const QRect first = view.visualRect(view.model()->index(0, 0));
            const int x = view.indentation() / 2;
            const QColor base = shot.pixelColor(x, 1);
            int marked = 0;
            for (int y = first.center().y() + 2; y < first.bottom(); ++y)
                marked += shot.pixelColor(x, y) != base;
            QCOMPARE(marked > 0, calibration);
        }
    }
};

QTEST_MAIN(TreeViewTest)
#include "TreeView_test.moc"
