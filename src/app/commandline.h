#pragma once

#include <QString>

class frmMain;

// The program from its arguments: the speech window (optionally opening a
// text file), or, for --speak-to, --list-voices, --help and --version, work
// done without a window, which needs no display. Returns the exit code.
int RunZavrenSpeech(int argc, char *argv[]);

// Whether the arguments ask for work without a window. Decided from the raw
// arguments, before any application object exists.
bool WantsNoWindow(int argc, char *argv[]);

// Opens the file named on the command line in the window, through the same
// read, decode and refusals as File > Open.
void OpenAtStart(frmMain &window, const QString &path);
