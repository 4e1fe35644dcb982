#pragma once
// The main window's record of what happened: one line per event, newest at the bottom,
// each with its time of day. It is the screen's own record; nothing goes to a file.
#include <QPlainTextEdit>
#include <QStringList>
#include <string>

class Journal final : public QPlainTextEdit {
public:
    explicit Journal(QWidget* parent = nullptr);

    // Adds "hh:mm:ss  line" and brings it into view.
    void Add(const QString& line);
    void Add(const std::string& line);
    void Add(const char* line) { Add(QString::fromUtf8(line)); }
    // The lines as shown, oldest first.
    QStringList Lines() const;

    // Lines kept; older ones are dropped.
    static constexpr int MaxLines = 10000;
};
