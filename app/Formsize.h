#pragma once
// Dialog sizes are given for the whole window, frame included.
#include <QSize>

class QWidget;

// Gives the window the outer size (its client area never smaller than its layout or
// leastClient needs, so that no text is cut off) and centres it
// on its screen. A window manager tells the frame only once the window is on screen, so
// the size is given again, and the window centred again, whenever the frame it learns
// differs from the one used.
void SetOuterSize(QWidget* window, QSize outer, QSize leastClient = {});
