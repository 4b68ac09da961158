// quintavolte-cli journal: prints the journal of writes, oldest first.
#pragma once
#include <ostream>
#include <string>

// Every line of the journal at `path` (the rotated part first), one a line, as the journal
// holds it. 0 done (an empty or absent journal prints nothing), 1 when it cannot be read.
int CmdJournal(const std::string &path, std::ostream &out, std::ostream &err);
