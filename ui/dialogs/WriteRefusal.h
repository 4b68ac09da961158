// How the window tells the operator that a write was refused by the write gate: one
// Russian message naming the variable, the refused text and what the variable allows,
// with numbers in the locale's form. Every window path that writes shows it.
#pragma once

#include <QCoreApplication>
#include <QString>

#include "device/WriteGate.h"

class cActionManager;
class ModbusShell;

class WriteRefusal {
    Q_DECLARE_TR_FUNCTIONS(WriteRefusal)
public:
    // The message for a refused check; empty for one that passed.
    static QString Text(const WriteCheck &check);
    // What the variable allows: "от 0 до 100 В", "0 или 1", "1200, 2400, ...".
    static QString Allowed(const WriteLimits &limits);
    // Shows the message through the core's message path; false (nothing shown) when the
    // check passed.
    static bool Show(const WriteCheck &check);
};

// A queued write through the gate; a refusal is shown and nothing is queued.
bool RequestWriteOrExplain(ModbusShell &shell, ModbusAction *variable, const MString &text);
// A blocking write through the gate; a refusal is shown. The write's result: false when
// refused, failed or unanswered.
bool WriteNumberOrExplain(cActionManager &device, const MString &name, float value);
