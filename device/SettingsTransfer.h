// Moves settings between the connected device and the settings file model: reads them
// all, and writes a list of changes with acknowledgement, read-back and a save request
// only when everything arrived. Blocks like every device command, ticking the scheduler.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "device/ActionManager.h"
#include "device/SettingsFile.h"

// The type text the connected device answered with ("Quintavolte 1.11").
std::string ConnectedDeviceType(cActionManager &manager);

// (name, C-locale value) of every setting of the identified device, in table order.
// False when some could not be read; their names are in *unread.
bool ReadDeviceSettings(cActionManager &manager, std::vector<std::pair<std::string, std::string>> *values,
                        std::vector<std::string> *unread);

struct RestoreOutcome {
    std::vector<std::string> Failed;  // "NAME: why", one per setting that did not arrive
    bool Saved = false;               // the device confirmed saving its configuration
};

// Writes each change in order and waits for its acknowledgement, then reads every
// written setting back and compares. Only when all of them match is the device asked to
// save its configuration.
RestoreOutcome ApplySettingChanges(cActionManager &manager, const std::vector<SettingChange> &changes);
