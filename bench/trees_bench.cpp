// One refresh of the service page: the repaint of the value column of the rows in view,
// each asking its controller for its value (which marks the variable for reading), then
// the layout pass over the painted rows. Offscreen, without a device: the values are set
// once.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "device/ActionManager.h"
#include "ui/trees/ServiceTree.h"

namespace {

QApplication &App()
{
    static int argc = 1;
    static char name[] = "trees_bench";
    static char *argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never destroyed: at exit the toolkit's own statics may already be gone.
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

struct ServicePage {
    ServicePage()
    {
        manager.BuildRegisterMap();
        // Every kind of value text the tree formats: decimals, integers, hexadecimal, text.
        const char16_t *values[] = {u"12.3456", u"14", u"0x1F", u"Quintavolte 1.11", u"-0.004"};
        for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i)
            v->Value = MString(values[i % 5]);
        host.resize(640, 420);
        auto *layout = new QVBoxLayout(&host);
        view = new cTreeView(&host);
        layout->addWidget(view);
        cServiceTree::SetupView(view);
        tree = std::make_unique<cServiceTree>(&manager);
        tree->Bind(view);
        tree->Build();
        host.show();
        QApplication::processEvents();
        view->AfterPaint();
    }
    ~ServicePage() { tree.reset(); }

    QApplication &app = App();  // before any widget
    cActionManager manager;
    QWidget host;
    cTreeView *view = nullptr;
    std::unique_ptr<cServiceTree> tree;
};

void BM_ServicePageRefresh(benchmark::State &state)
{
    ServicePage page;
    int rowsInView = 0;
    for (auto _ : state) {
        page.view->viewport()->repaint(page.view->RefreshRect());  // now, as Refresh() asks
        page.view->AfterPaint();                                   // AfterItemPaint of every painted row
    }
    for (int i = 0; i < page.view->RowCount(); ++i) {
        const QRect r = page.view->CellRect(i, 0);
        rowsInView += (r.bottom() >= 0 && r.top() < page.view->viewport()->height()) ? 1 : 0;
    }
    state.counters["rows_in_view"] = rowsInView;
    state.counters["rows"] = page.view->RowCount();
}
BENCHMARK(BM_ServicePageRefresh)->Unit(benchmark::kMicrosecond);

// The same with the layout cache missed on every row (the page scrolled by one pixel each
// time), the worst case of the layout pass.
void BM_ServicePageRefreshScrolling(benchmark::State &state)
{
    ServicePage page;
    QScrollBar *bar = page.view->verticalScrollBar();
    int step = 1;
    for (auto _ : state) {
        bar->setValue(bar->value() + step);
        if (bar->value() == bar->maximum() || bar->value() == bar->minimum())
            step = -step;
        page.view->viewport()->repaint();  // scrolled: the whole view
        page.view->AfterPaint();
    }
}
BENCHMARK(BM_ServicePageRefreshScrolling)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// The trees' own share of a refresh: the texts and fonts of every cell in view and the
// layout pass, without the toolkit's drawing.
void BM_ServicePageTextsAndLayout(benchmark::State &state)
{
    ServicePage page;
    QAbstractItemModel *model = page.view->model();
    std::vector<int> rows;
    for (int i = 0; i < page.view->RowCount(); ++i) {
        const QRect r = page.view->CellRect(i, 0);
        if (r.bottom() >= 0 && r.top() < page.view->viewport()->height())
            rows.push_back(i);
    }
    for (auto _ : state) {
        for (int row : rows)
            for (int column = 0; column < 3; ++column) {
                const QModelIndex index = model->index(row, column);
                for (int role :
                     {int(Qt::DisplayRole), int(Qt::FontRole), int(Qt::ForegroundRole), int(Qt::SizeHintRole)})
                    benchmark::DoNotOptimize(model->data(index, role));
            }
        for (int row : rows)
            page.tree->AfterItemPaint(row);
    }
}
BENCHMARK(BM_ServicePageTextsAndLayout)->Unit(benchmark::kMicrosecond);

}  // namespace
