#pragma once
// What the core may do to the screen. The Qt shell implements it over its widgets;
// tests implement it with a double that records every text and answers as scripted.
#include <string>

class Screen {
public:
    virtual ~Screen() = default;
    // Puts a text into a panel of the main status bar (0, 1 or 2) and redraws it at once.
    virtual void SetPanelText(int panel, const std::string& text) = 0;
    // Lets pending GUI messages run (repaints, timers, clicks) inside a long operation.
    virtual void ProcessMessages() = 0;
    // The progress bar of the operation under way; without one these do nothing.
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void StepProgress() = 0;
    // Moves a bar that is short of its maximum to it.
    virtual void FillProgress() = 0;
    // The message dialog of the given kind with two lines; true when the operator
    // answered Да to a question.
    virtual bool ShowMessage(int kind, const std::string& first, const std::string& second) = 0;
    // True once the operator has pressed Escape since the last call.
    virtual bool EscapePressed() = 0;
};

// Kinds of the message dialog.
enum MessageKinds : int {
    MessageError = 1,
    MessageInputError = 2,
    MessageQuestion = 3,
    MessageExchangeResult = 5,
    MessageNotice = 6,
    MessageRetry = 7,
};
