// The command line's question before a write that may cut the program off the device.
#pragma once
#include <ostream>
#include <string>

enum class CliConsent {
    Yes,       // --yes given, or the operator answered yes
    Declined,  // the operator answered no (or nothing)
    Refused,   // no terminal to ask on and no --yes: a wrong command line
};

// With --yes, Yes. Else, when the standard input is a terminal, puts the question on err
// followed by " [y/N] " and reads one line: "y" or "yes" (any case) is Yes, anything else,
// an empty line or the end of input Declined. Without a terminal, Refused.
CliConsent AskLinkChange(const std::string &question, bool yesGiven, std::ostream &err);
