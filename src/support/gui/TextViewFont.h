#pragma once
// The face of the program's text views (the options dialog's Before/After, the error pane).

#include <QFont>

// 10-point "Courier New" (a metric-compatible face that fontconfig maps to that name), or the
// system's fixed font at 10 points where no fixed-pitch face answers to it.
QFont TextViewFont();
