// Text from outside (a set's payload, a value refused by the write gate) as it may stand
// in a message, a log line or a result: one line, nothing a terminal would act on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Untrusted text as it may stand in a log line or a result: control characters (C0, DEL,
// C1), line and direction marks, bytes that are not UTF-8 and the backslash written as
// escapes, cut after maxChars characters with "..." added. One line, whatever came in.
std::string Printable(std::string_view text, size_t maxChars = 32);
