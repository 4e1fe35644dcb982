#pragma once
// The main window's record of what happened: one line per event, newest at the bottom,
// each with its time of day. Every line is also appended to the day's file in the journal
// folder, so that the record outlives the session; a file that cannot be written is told
// once and never stops the program.
#include <QPlainTextEdit>
#include <QStringList>
#include <functional>
#include <string>

class Journal final : public QPlainTextEdit {
public:
    // folder: where the day files go; empty: the program's journal folder.
    explicit Journal(QWidget* parent = nullptr, std::string folder = {});

    // Adds "hh:mm:ss  line" and brings it into view.
    void Add(const QString& line);
    void Add(const std::string& line);
    void Add(const char* line) { Add(QString::fromUtf8(line)); }
    // The lines as shown, oldest first.
    QStringList Lines() const;

    // The day file of a date: "<folder>/zantir-YYYY-MM-DD.log".
    std::string FileOf(const QDate& date) const;
    // Hears, once, that the day file could not be written: the text says which and why.
    std::function<void(const std::string&)> OnFileError;

    // Lines kept; older ones are dropped.
    static constexpr int MaxLines = 10000;

private:
    void AppendToFile(const QDate& date, const QString& line);

    std::string folder_;
    bool fileErrorTold_ = false;
};
