#include "cli/Terminal.h"

#include "link/Plcbox.h"
#include "link/System.h"

Terminal::Terminal(int retries, bool interactive, std::FILE* out, std::FILE* in)
    : retries_(retries), interactive_(interactive), out_(out), in_(in) {}

void Terminal::SetPanelText(int panel, const std::string& text) {
    // "Обмен..." comes and goes with every command; it says nothing on a terminal.
    if (panel == StatusExchangePanel || text.empty()) {
        return;
    }
    Say(text);
}

void Terminal::Say(const std::string& text) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

bool Terminal::ShowMessage(int kind, const std::string& first, const std::string& second) {
    std::string text = first;
    if (!second.empty()) {
        text += (text.empty() ? "" : " ") + second;
    }
    if (kind != MessageRetry && kind != MessageQuestion) {
        Say(text);
        return false;
    }
    if (kind == MessageRetry) {
        text += " Повторить попытку?";
    }
    std::fprintf(out_, "%s ", text.c_str());
    return Answer();
}

bool Terminal::Answer() {
    if (retries_ >= 0 || !interactive_) {
        const bool yes = retries_ > 0;
        if (yes) {
            --retries_;
        }
        std::fprintf(out_, "%s\n", yes ? "Да" : "Нет");
        std::fflush(out_);
        return yes;
    }
    std::fprintf(out_, "[д/н] ");
    std::fflush(out_);
    char line[64];
    if (!std::fgets(line, sizeof line, in_)) {
        return false;
    }
    const std::string answer = line;
    // "д" in UTF-8, or y for a keyboard without the Russian layout.
    return answer.rfind("д", 0) == 0 || answer.rfind("Д", 0) == 0 || answer[0] == 'y' ||
           answer[0] == 'Y';
}

bool IsInteractive() {
    return StandardStreamsInteractive();
}
