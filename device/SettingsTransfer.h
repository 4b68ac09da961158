// Moves settings between the connected device and the settings file model: reads them
// all, and writes a list of changes one at a time, each acknowledged and read back. A
// restore that fails part way puts back what it had changed and is never saved.
// Blocks like every device command, ticking the scheduler.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "device/ActionManager.h"
#include "device/SettingsFile.h"

// The type text the connected device answered with ("Quintavolte 1.11").
std::string ConnectedDeviceType(cActionManager &manager);

// (name, C-locale value) of every setting of the identified device, in table order;
// floats as the shortest text of their register bits. A setting whose read failed is
// asked for once more. With chip, also the unit's chip identity (ChipIdentityText). False
// when some could not be read; their names are in *unread.
bool ReadDeviceSettings(cActionManager &manager, std::vector<std::pair<std::string, std::string>> *values,
                        std::vector<std::string> *unread, std::string *chip = nullptr);

struct RestoreOutcome {
    // "NAME: why" of the change that stopped the restore; empty when all arrived.
    std::vector<std::string> Failed;
    int Written = 0;              // changes the device took and holds (before a stop)
    bool ConnectionLost = false;  // the link went during the restore
    // After a stop, the settings already changed were written back to their old values,
    // last first, and read back: these hold their old value again ...
    std::vector<std::string> PutBack;
    // ... and these ("NAME: why") may not. Then the manager's HoldSave is set, so the
    // half-restored configuration is never saved.
    std::vector<std::string> NotPutBack;
    bool Saved = false;     // everything arrived and the device confirmed saving it
    bool SaveHeld = false;  // HoldSave is set (now or by an earlier restore): no save asked
};

// Writes each change in order; a change counts as done when the device holds it on
// reading back (also when its acknowledgement was lost). At the first change that does
// not arrive the restore stops and puts back the changes made before it. Only when all
// arrived is the device asked to save its configuration.
RestoreOutcome ApplySettingChanges(cActionManager &manager, const std::vector<SettingChange> &changes);
