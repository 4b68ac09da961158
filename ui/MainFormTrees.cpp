// The main window's side of the parameter trees: the views on their pages, binding,
// building, clearing and the refresh of the tree in front.
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QTabWidget>

#include "ui/MainForm.h"
#include "ui/MainUnit.h"
#include "ui/trees/AccuTree.h"
#include "ui/trees/CalibrateTree.h"
#include "ui/trees/PerifTree.h"
#include "ui/trees/ServiceTree.h"

namespace {

cTreeView *AddTreeView(QWidget *page, const char *name)
{
    auto *view = new cTreeView(page);
    view->setObjectName(QString::fromLatin1(name));
    page->layout()->addWidget(view);
    return view;
}

}  // namespace

void TMainForm::CreateTreeViews()
{
    auto *notice = new QLabel(tr("Внимание!\nВсе значения напряжений следует указывать для температуры "
                                 "окружающей среды +25 °С."),
                              FineTuneTS);
    notice->setWordWrap(true);
    AccuTreeView = AddTreeView(FineTuneTS, "AccuTreeView");
    FineTuneTS->layout()->addWidget(notice);
    CalibTreeView = AddTreeView(CalibrateTS, "CalibTreeView");
    PerifTreeView = AddTreeView(PerifTS, "PerifTreeView");

    auto *filterRow = new QHBoxLayout;
    filterRow->setContentsMargins(4, 4, 4, 0);
    auto *filterLabel = new QLabel(tr("Фильтр"), ExpertTS);
    ServiceFilterEdit = new QLineEdit(ExpertTS);
    ServiceFilterEdit->setObjectName(QStringLiteral("ServiceFilterEdit"));
    ServiceFilterEdit->setClearButtonEnabled(true);
    filterLabel->setBuddy(ServiceFilterEdit);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(ServiceFilterEdit);
    static_cast<QBoxLayout *>(ExpertTS->layout())->addLayout(filterRow);
    ServiceTreeView = AddTreeView(ExpertTS, "ServiceTreeView");

    cAccuTree::SetupView(AccuTreeView);
    cCalibrateTree::SetupView(CalibTreeView);
    cPerifTree::SetupView(PerifTreeView);
    cServiceTree::SetupView(ServiceTreeView);

    if (ServiceTree) {
        ServiceTree->Bind(ServiceTreeView);
        connect(ServiceFilterEdit, &QLineEdit::textChanged, this, [](const QString &text) {
            if (ServiceTree)
                ServiceTree->SetFilter(text);
        });
    }
    if (CalibrateTree)
        CalibrateTree->Bind(CalibTreeView);
    if (PerifTree)
        PerifTree->Bind(PerifTreeView);
    if (AccuTree)
        AccuTree->Bind(AccuTreeView);
}

void TMainForm::BuildTrees()
{
    if (ServiceTree)
        ServiceTree->Build();
    if (CalibrateTree)
        CalibrateTree->Build();
    if (PerifTree)
        PerifTree->Build();
    if (AccuTree)
        AccuTree->Build();
}

void TMainForm::ClearTrees()
{
    if (ServiceTree)
        ServiceTree->Clear();
    if (CalibrateTree)
        CalibrateTree->Clear();
    if (PerifTree)
        PerifTree->Clear();
    if (AccuTree)
        AccuTree->Clear();
}

// The cells fetch their values while they are painted.
void TMainForm::RefreshPerifTree()
{
    PerifTreeView->Refresh();
}
void TMainForm::RefreshServiceTree()
{
    ServiceTreeView->Refresh();
}
void TMainForm::RefreshCalibTree()
{
    CalibTreeView->Refresh();
}

void TMainForm::RefreshAccuTree()
{
    if (BatConfigPC->currentWidget() == FineTuneTS)
        AccuTreeView->Refresh();
}
