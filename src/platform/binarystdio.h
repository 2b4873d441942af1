#pragma once

// Standard input and output carry bytes exactly as written: no newline
// translation on systems that would make one.
void UseBinaryStdio();
