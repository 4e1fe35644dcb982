#pragma once
// The core's Screen over the real widgets: the main status bar's panels, the progress
// bar of the dialog that runs an operation, the message dialog, the message pump and
// the Escape key.
#include <QObject>
#include <array>
#include <functional>
#include <string>

#include "link/Screen.h"

class QLabel;
class QProgressBar;

class QtScreen final : public QObject, public Screen {
public:
    QtScreen();
    ~QtScreen() override;

    // The panels of the main status bar, in order.
    void SetPanels(const std::array<QLabel*, 3>& panels) { panels_ = panels; }
    // The progress bar of the operation under way; null when there is none.
    void SetProgressBar(QProgressBar* bar) { progress_ = bar; }
    // Hears of every message just before it is shown: its kind and two lines.
    using MessageSink = std::function<void(int kind, const std::string&, const std::string&)>;
    void SetMessageSink(MessageSink sink) { sink_ = std::move(sink); }

    void SetPanelText(int panel, const std::string& text) override;
    void ProcessMessages() override;
    void SetProgressMaximum(int maximum) override;
    void StepProgress() override;
    void FillProgress() override;
    bool ShowMessage(int kind, const std::string& first, const std::string& second) override;
    bool EscapePressed() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLabel*, 3> panels_{};
    QProgressBar* progress_ = nullptr;
    MessageSink sink_;
    bool escape_ = false;
};
