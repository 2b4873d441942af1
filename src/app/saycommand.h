#pragma once

#include <memory>

class QCommandLineParser;
class ReaderService;
class frmMain;

// --say TEXT, --say-selection and --stop: the running editor's voice does the
// work when there is one; otherwise this process speaks by itself, without a
// window, with the voice, pitch and speed last used, and offers its own voice
// to the next such command until it has finished. Returns the exit code.
int RunSayCommand(const QCommandLineParser &parser);

// Before the application object exists: reading the selection goes through
// X11 where the desktop offers it.
void PrepareForSelection();

// The window's voice offered to other programs; null when it cannot be.
std::unique_ptr<ReaderService> OfferEditorVoice(frmMain &window);
