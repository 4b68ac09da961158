// TDebugViewerForm: lists a saved debug dump, one "name = value" line per variable.
// Modeless; keeps its lines between showings.
#pragma once

#include <QDialog>
#include <functional>

class QFileDialog;
class QPlainTextEdit;
class QPushButton;

class TDebugViewerForm : public QDialog {
    Q_OBJECT
public:
    explicit TDebugViewerForm(QWidget *owner = nullptr);

    void ShowCentredOn(QWidget *owner);
    void LoadDumpButtonClick();
    QFileDialog *CreateDebugOpenDialog();
    // Tests answer the open dialog with a path (empty = cancelled) instead of showing it.
    std::function<QString()> DebugOpenDialogHook;

    QPushButton *LoadDumpButton = nullptr;
    QPlainTextEdit *DumpMemo = nullptr;

    static constexpr const char *kHintLine =
        QT_TRANSLATE_NOOP("TDebugViewerForm", "Откройте дамп для просмотра его содержимого");
};
