#pragma once

class QAbstractButton;

// Makes Enter and keypad Enter press `button` while it holds the focus, as
// the space bar does, without making it a default button: Enter pressed
// anywhere else still leaves it alone.
void PressOnEnter(QAbstractButton *button);
