#include "ui/dialogs/JournalForm.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "device/WriteJournal.h"

namespace {

constexpr int kColumns = 6;

QString Q(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The cell shows what the journal holds: a value with a line end keeps its "\n", so each
// line stays one row.
QTableWidgetItem *Cell(const std::string &text)
{
    auto *item = new QTableWidgetItem(Q(EscapeJournalField(text)));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

}  // namespace

TJournalForm::TJournalForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("JournalForm"));
    setWindowTitle(tr("Журнал записей"));
    PathLabel = new QLabel(this);
    PathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PathLabel->setWordWrap(true);
    JournalTable = new QTableWidget(0, kColumns, this);
    JournalTable->setObjectName(QStringLiteral("JournalTable"));
    JournalTable->setHorizontalHeaderLabels(
        {tr("Время"), tr("Откуда"), tr("Переменная"), tr("Было"), tr("Стало"), tr("Итог")});
    JournalTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    JournalTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    JournalTable->verticalHeader()->setVisible(false);
    JournalTable->setTabKeyNavigation(false);  // Tab goes on to the buttons, not cell by cell
    JournalTable->horizontalHeader()->setStretchLastSection(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *reload = buttons->addButton(tr("Обновить"), QDialogButtonBox::ActionRole);
    connect(reload, &QPushButton::clicked, this, &TJournalForm::Reload);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PathLabel);
    layout->addWidget(JournalTable, 1);
    layout->addWidget(buttons);
    resize(900, 400);
}

void TJournalForm::Reload()
{
    const std::string path = JournalPath();
    std::vector<std::string> lines;
    std::string error;
    JournalTable->setRowCount(0);
    if (path.empty()) {
        PathLabel->setText(tr("Журнал записей не ведется: не задана папка (XDG_STATE_HOME, HOME)."));
        return;
    }
    if (!ReadJournal(path, &lines, &error)) {
        PathLabel->setText(tr("Журнал записей не прочитан: %1").arg(Q(error)));
        return;
    }
    PathLabel->setText(tr("Файл: %1 (новые записи сверху)").arg(Q(path)));
    JournalTable->setRowCount(static_cast<int>(lines.size()));
    // Newest first: the change being looked for is usually a recent one.
    int row = 0;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it, ++row) {
        JournalLine line;
        if (!ParseJournalLine(*it, &line)) {
            JournalTable->setItem(row, 0, Cell(*it));  // kept whole rather than hidden
            continue;
        }
        const std::string *fields[kColumns] = {&line.Time,     &line.Origin,   &line.Name,
                                               &line.OldValue, &line.NewValue, &line.Outcome};
        for (int c = 0; c < kColumns; ++c)
            JournalTable->setItem(row, c, Cell(*fields[c]));
    }
    JournalTable->resizeColumnsToContents();
}

void TJournalForm::showEvent(QShowEvent *event)
{
    Reload();
    QDialog::showEvent(event);
}

TJournalForm *ShowJournalForm(QWidget *parent)
{
    auto *form = parent->findChild<TJournalForm *>(QStringLiteral("JournalForm"), Qt::FindDirectChildrenOnly);
    if (form == nullptr)
        form = new TJournalForm(parent);
    form->Reload();
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}
