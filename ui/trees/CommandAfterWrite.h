// A command that acts on a value written just before it (calibrate on the true value, start
// a training with its load setting) goes out only when that write ended done. Otherwise
// the operator is told why, and the command is not sent.
#pragma once

#include <QCoreApplication>
#include <QString>

#include "values/MString.h"

struct ModbusAction;

class CommandAfterWrite {
    Q_DECLARE_TR_FUNCTIONS(CommandAfterWrite)

public:
    // Why the command did not follow the write of text to the variable, which did not end
    // done: the device refused it, or did not confirm it.
    static QString NotSentText(const ModbusAction &write, const MString &text, const QString &command);
    // Shows NotSentText through the core's message path.
    static void ShowNotSent(const ModbusAction &write, const MString &text, const QString &command);
};
