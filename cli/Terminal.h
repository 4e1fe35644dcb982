#pragma once
// The Screen of a terminal: status texts and messages go to the error stream; the retry
// question is answered from a budget of "yes" answers, or asked on the terminal.
#include <cstdio>
#include <string>

#include "link/Screen.h"

class Terminal final : public Screen {
public:
    // retries: "yes" answers to give before "no"; below 0, ask when interactive, else "no".
    Terminal(int retries, bool interactive, std::FILE* out = stderr, std::FILE* in = stdin);

    void SetPanelText(int panel, const std::string& text) override;
    void ProcessMessages() override {}
    void SetProgressMaximum(int) override {}
    void StepProgress() override {}
    void FillProgress() override {}
    bool ShowMessage(int kind, const std::string& first, const std::string& second) override;
    bool EscapePressed() override { return false; }

    // Prints a line on the error stream.
    void Say(const std::string& text);

private:
    bool Answer();

    int retries_;
    bool interactive_;
    std::FILE* out_;
    std::FILE* in_;
};

// True when both the error stream and the input are a terminal: the operator can answer.
bool IsInteractive();
