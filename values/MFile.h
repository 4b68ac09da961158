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

#include <cstddef>
#include <functional>
#include <string>

// Reads a whole regular file by the system's bytes of its path: never waits on a FIFO nor
// reads a device (/dev/zero would never end), and refuses a file of more than maxSize
// bytes, also one that grows while it is read. False with the reason in *error.
bool ReadRegularFile(const std::string &path, size_t maxSize, std::string *text, std::string *error);

// Writes all bytes to the descriptor, going on after interruptions and short writes.
bool WriteAllBytes(int fd, const void *data, size_t size);

// Whether the path stands for the standard output: "-", or the file, terminal or pipe
// the standard output is (/dev/stdout, or a file name the shell redirected it to).
bool IsStandardOutput(const std::string &path);

// Writes a document through `write`, which gets a descriptor to write it to:
// - the standard output (IsStandardOutput): its descriptor;
// - a symbolic link: the file it names (in turn), so the link stays a link;
// - a special file (a terminal, /dev/stdout, a FIFO): opened and written into as it is;
// - a regular file or a new name: a temporary file beside it, flushed to disk and renamed
//   over it, so a failure never leaves half a file nor spoils the old one.
// False with the system's reason in *error (also a directory, a link loop).
bool WriteFileWhole(const std::string &path, const std::function<bool(int fd)> &write, std::string *error);
