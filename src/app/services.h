#pragma once

class FileDialog;
class KeystrokeInjector;
class MessageBoxes;
class ProcessStarter;
class Registry;

// The operating-system services the speech window and the windows it opens
// use. main() hands in the real ones; tests hand in doubles.
struct Services {
    MessageBoxes *messageBoxes = nullptr;
    FileDialog *fileDialog = nullptr;        // File > Open
    KeystrokeInjector *keystrokes = nullptr; // Edit > Undo, Cut, Copy, Paste, Delete
    Registry *registry = nullptr;        // the About window's System Info
    ProcessStarter *processes = nullptr; // ditto
};
