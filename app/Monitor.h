#pragma once
// The exchange monitor: a window of its own beside the main window that shows, line by line,
// every frame, byte run and line change of the exchange as it happens, decoded. It is
// filled while it is shown (its lines are drawn when the exchange lets messages run) and
// costs nothing while it is closed.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTime>
#include <QWidget>
#include <string>

#include "link/Exchangetrace.h"
#include "link/Screen.h"

class ExchangeMonitor final : public QWidget {
public:
    // ui: where a failed save is told.
    ExchangeMonitor(Screen& ui, QWidget* parent = nullptr);

    // What the device connection tells; on only while the window is shown.
    ExchangeTrace& Trace() { return trace_; }
    // The lines as shown, oldest first.
    QStringList Lines() const;
    // The lines shown into a text file (UTF-8), replacing it in one step; false when it
    // could not be written.
    bool SaveTo(const std::string& path) const;

    static constexpr int MaxLines = 10000;
    // One line: "hh:mm:ss.mmm" of clock, then the event with its offset in µs.
    static QString LineOf(const QTime& clock, const TraceEvent& event);

    QPlainTextEdit* View;
    QPushButton* PauseButton;  // checkable: while down, new lines wait
    QPushButton* ClearButton;
    QPushButton* CopyButton;
    QPushButton* SaveButton;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Add(const TraceEvent& event);
    void SetPaused(bool paused);
    void Save();

    Screen& ui_;
    CallbackTrace trace_;
    QStringList waiting_;  // lines that came while paused
};
