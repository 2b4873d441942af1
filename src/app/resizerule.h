#pragma once

#include <QRect>
#include <QSize>

class TwipsScale;

// What the resize rule sees of the window, in pixels.
struct ResizeInput {
    QSize outer;   // frame included where a window manager draws one
    QSize client;  // the area below the menu bar that holds the controls
    QRect playAll; // cmdPlayAll, client coordinates
    QRect textBox; // txtSpeech as it stands
    bool minimised = false;
};

// The text box's place after a resize. A step that cannot be carried out
// (minimised window, negative size) leaves that part of the geometry as it
// was. The box never reaches past the client area, whatever the window chrome.
QRect FitTextBox(const TwipsScale &scale, const ResizeInput &in);

// The least outer height the window may take, in pixels.
int MinimumOuterHeight(const TwipsScale &scale);
