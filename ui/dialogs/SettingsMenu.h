// The service menu's settings items: the device's settings saved to a text file, and a
// file's settings loaded into the device after the operator has confirmed the changes.
#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;
class cActionManager;

// Reads every setting and writes the file; a failure is shown in a message box.
// True when the file was written.
bool SaveSettingsToFile(QWidget *owner, cActionManager &manager, const QString &path);
// Checks the whole file against the device, lists the changes for confirmation, then
// writes them, reads them back and has the device save them. Every outcome but a
// declined confirmation is shown in a message box. True when the device holds the file's
// settings and saved them (or held them already).
bool LoadSettingsFromFile(QWidget *owner, cActionManager &manager, const QString &path);

// The restore question as built, with No as its default button and, for another unit's
// file, the check box "with calibration" (off); true for Yes. Tests answer it here, and may
// tick the box, instead of running its modal loop. Returns the previous hook.
using RestoreQuestionHook = std::function<bool(QMessageBox &question)>;
RestoreQuestionHook SetRestoreQuestionHook(RestoreQuestionHook hook);
