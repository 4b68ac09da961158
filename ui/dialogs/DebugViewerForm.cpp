#include "ui/dialogs/DebugViewerForm.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "ui/dialogs/FormPlacement.h"
#include "ui/app/Language.h"
#include "ui/app/QtHooks.h"
#include "values/DebugDump.h"

TDebugViewerForm::TDebugViewerForm(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("DebugViewerForm"));
    setWindowTitle(QStringLiteral("View Debug Dump"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);

    LoadDumpButton = new QPushButton(tr("Открыть"), this);
    LoadDumpButton->setObjectName(QStringLiteral("LoadDumpButton"));
    // Enter opens a dump while the button has the focus; elsewhere it does nothing.
    LoadDumpButton->setAutoDefault(true);
    connect(LoadDumpButton, &QPushButton::clicked, this, &TDebugViewerForm::LoadDumpButtonClick);
    DumpMemo = new QPlainTextEdit(this);
    DumpMemo->setObjectName(QStringLiteral("DumpMemo"));
    DumpMemo->setReadOnly(true);
    DumpMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    DumpMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DumpMemo->setTabChangesFocus(true);  // Tab leaves the text for the button
    DumpMemo->setPlainText(tr(kHintLine));

    auto *top = new QHBoxLayout;
    top->addWidget(LoadDumpButton);
    top->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addWidget(DumpMemo, 1);
    resize(ScaledSize(648, 374));
}

void TDebugViewerForm::ShowCentredOn(QWidget *owner)
{
    if (!isVisible())
        CentreOn(this, owner);
    show();
    raise();
    activateWindow();
}

QFileDialog *TDebugViewerForm::CreateDebugOpenDialog()
{
    auto *dialog = new QFileDialog(this, tr("Загрузить отладочный дамп"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(QStringLiteral("Quintavolte Debug Dump (*.debug)"));
    dialog->setDefaultSuffix(QStringLiteral("debug"));
    return dialog;
}

void TDebugViewerForm::LoadDumpButtonClick()
{
    // The hint goes with the first click, even when the operator then cancels.
    DumpMemo->clear();
    QString path;
    if (DebugOpenDialogHook) {
        path = DebugOpenDialogHook();
    } else {
        path = RunFileDialog(CreateDebugOpenDialog());
    }
    if (path.isEmpty())
        return;
    QStringList lines;
    for (const MString &line : ReadDebugDump(FromQString(QFileInfo(path).absoluteFilePath())))
        lines << ToQString(line);
    // A damaged file comes back as one line of the dump reader's own text.
    DumpMemo->setPlainText(TranslateCoreText(lines.join(QLatin1Char('\n'))));
}
