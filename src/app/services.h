#pragma once

class MessageBoxes;

// The operating-system services the speech window and the windows it opens
// use. main() hands in the real ones; tests hand in doubles.
struct Services {
    MessageBoxes *messageBoxes = nullptr;
};
