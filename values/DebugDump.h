// The debug dump: every device variable's name and value text saved as a sorted tree in a
// "*.debug" file, and the lines the viewer shows for such a file.
#pragma once

#include <utility>
#include <vector>

#include "values/MString.h"
#include "values/MVarArray.h"

// An Empty root with one child per name (later duplicates win), each value typed by
// MVariant::Assign from its text.
MVarArray BuildDumpTree(const std::vector<std::pair<MString, MString>> &nameValuePairs);

// Builds the tree and saves it compressed. False when the file cannot be written.
bool SaveDebugDump(const MString &path, const std::vector<std::pair<MString, MString>> &entries);

// The viewer's lines: "name = value" per variable in key order, or the single line
// "Файл <path> поврежден!" when the file cannot be loaded.
std::vector<MString> ReadDebugDump(const MString &path);
