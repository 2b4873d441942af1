#pragma once

class QCommandLineParser;

// --speak-to OUT: the text of FILE (or of each FILE, into the folder OUT), or
// of the standard input, written as speech with no window; the exit code.
int SpeakTo(const QCommandLineParser &parser, int argc, char *argv[]);
