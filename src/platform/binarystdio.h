#pragma once

// Standard input and output carry bytes exactly as written: no newline
// translation on systems that would make one.
void UseBinaryStdio();

#include <cstdio>

// A stream on what standard output was, for the protocol alone: standard
// output itself then goes to standard error, so that a library printing
// there cannot break a message. Null if it cannot be had.
std::FILE *TakeStdoutForMessages();
