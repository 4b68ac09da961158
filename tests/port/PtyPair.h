// The port tests' pseudo-terminal and bounded wait, shared with the other test folders.
#pragma once

#include "testkit/Pty.h"
#include "testkit/Wait.h"

using PtyPair = testkit::Pty;
using testkit::WaitUntil;
