#pragma once
// Dialog sizes are given for the whole window, frame included.
#include <QSize>

class QWidget;

// Gives the window the outer size (never narrower than its layout needs) and centres it
// on its screen.
void SetOuterSize(QWidget* window, QSize outer);
