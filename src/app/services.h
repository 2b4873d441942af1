#pragma once

class FileDialog;
class KeystrokeInjector;
class MessageBoxes;
class ProcessStarter;
class Registry;

// The operating-system services the speech window and the windows it opens
// use, made once at start-up (SystemServices); tests hand in doubles.
struct Services {
    MessageBoxes &messageBoxes;
    FileDialog &fileDialog;        // File > Open
    KeystrokeInjector &keystrokes; // Edit > Undo, Cut, Copy, Paste, Delete
    Registry &registry;            // the About window's System Info
    ProcessStarter &processes;     // ditto
};
