// File-name helpers: the long-path form of a path and the two ways the program opens files.
#pragma once

#include "values/MString.h"

// The prefixed form that lets a Windows-style path exceed 259 units. Pure string function;
// the POSIX open functions below do not apply it.
MString LongPath(const MString &path);

// Creates or truncates the file for reading and writing (mode 0644). Returns the file
// descriptor, or -1 when it cannot be created. The caller closes it.
int CreateForWriting(const MString &path);

// Opens an existing file read-only. Returns the file descriptor, or -1. The caller closes it.
int OpenForReading(const MString &path);
