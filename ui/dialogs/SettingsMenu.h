// The service menu's settings items: the device's settings saved to a text file, and a
// file's settings loaded into the device after the operator has confirmed the changes.
#pragma once

#include <QString>

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
