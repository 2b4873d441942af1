#pragma once

#include <QIcon>

// The information windows' own icons, drawn in code: a question mark for the
// how-to-use window, a letter i for the About window.
QIcon HelpWindowIcon();
QIcon AboutWindowIcon();
