// The debug dump: every device variable's name and value text saved as a sorted tree in a
// "*.debug" file, and the lines the viewer shows for such a file.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "values/MString.h"
#include "values/MVarArray.h"

// An Empty root with one child per name (later duplicates win), each value typed by
// MVariant::Assign from its text.
MVarArray BuildDumpTree(const std::vector<std::pair<MString, MString>> &nameValuePairs);

// Builds the tree and saves it compressed. False when the file cannot be written.
bool SaveDebugDump(const MString &path, const std::vector<std::pair<MString, MString>> &entries);

// The same, for a path given as the system's own bytes (any encoding), written as
// WriteFileWhole writes: whole or not at all beside a regular file, through a symbolic
// link, straight into a special file, "-" to the standard output. False with the
// system's reason in *error.
bool SaveDebugDumpAt(const std::string &path, const std::vector<std::pair<MString, MString>> &entries,
                     std::string *error);

// Opens a dump for reading by the system's bytes: only a regular file, never waiting on a
// FIFO or a device. -1 with the reason in *error ("No such file or directory", "is a
// directory", "is not a regular file", "is empty").
int OpenDumpForReading(const std::string &path, std::string *error);
// The viewer's lines for an open descriptor (left open); shownPath names the file in the
// damaged line.
std::vector<MString> ReadDebugDumpFrom(int fd, const MString &shownPath);

// The viewer's lines: "name = value" per variable in key order, or the single line
// "Файл <path> поврежден!" when the file cannot be loaded.
std::vector<MString> ReadDebugDump(const MString &path);
