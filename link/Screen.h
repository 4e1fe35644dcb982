#pragma once
// What the core may do to the screen. The Qt shell implements it over its widgets;
// tests implement it with a double that records every text.
#include <string>

class Screen {
public:
    virtual ~Screen() = default;
    // Puts a text into a panel of the main status bar (0, 1 or 2).
    virtual void SetPanelText(int panel, const std::string& text) = 0;
    // Lets pending GUI messages run (repaints, timers, clicks) inside a long operation.
    virtual void ProcessMessages() = 0;
};
