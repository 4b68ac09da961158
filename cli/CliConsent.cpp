#include "cli/CliConsent.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>

CliConsent AskLinkChange(const std::string &question, bool yesGiven, std::ostream &err)
{
    if (yesGiven)
        return CliConsent::Yes;
    // A script or a pipe cannot answer; it must say --yes on its command line.
    if (!isatty(STDIN_FILENO))
        return CliConsent::Refused;
    err << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return CliConsent::Declined;
    answer.erase(std::remove_if(answer.begin(), answer.end(), [](unsigned char c) { return std::isspace(c); }),
                 answer.end());
    std::transform(answer.begin(), answer.end(), answer.begin(), [](unsigned char c) { return std::tolower(c); });
    return answer == "y" || answer == "yes" ? CliConsent::Yes : CliConsent::Declined;
}
