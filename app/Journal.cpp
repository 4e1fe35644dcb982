#include "app/Journal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <filesystem>

#include "link/Folders.h"

namespace {
constexpr char JournalFileErrorText[] = "Журнал не записывается в файл ";
}  // namespace

Journal::Journal(QWidget* parent, std::string folder)
    : QPlainTextEdit(parent), folder_(folder.empty() ? JournalDirectory() : std::move(folder)) {
    setReadOnly(true);
    setMaximumBlockCount(MaxLines);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFocusPolicy(Qt::ClickFocus);  // Tab and Enter stay with the window's commands
}

void Journal::Add(const QString& line) {
    const QDateTime now = QDateTime::currentDateTime();
    const QString timed = now.time().toString("hh:mm:ss") + "  " + line;
    appendPlainText(timed);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    AppendToFile(now.date(), timed);
}

void Journal::Add(const std::string& line) {
    Add(QString::fromStdString(line));
}

QStringList Journal::Lines() const {
    QStringList lines = toPlainText().split('\n');
    if (lines.size() == 1 && lines.front().isEmpty()) {
        lines.clear();
    }
    return lines;
}

std::string Journal::FileOf(const QDate& date) const {
    return (std::filesystem::path(folder_) /
            ("zantir-" + date.toString("yyyy-MM-dd").toStdString() + ".log"))
        .string();
}

// Opened for each line: a session that runs past midnight goes on in the next day's file,
// and another copy of the program may append to the same file between two lines. QFile
// takes the path as the system spells it, on Windows too.
void Journal::AppendToFile(const QDate& date, const QString& line) {
    const QString path = QString::fromStdString(FileOf(date));
    QDir().mkpath(QString::fromStdString(folder_));
    QFile file(path);
    const QByteArray text = (line + '\n').toUtf8();
    // One write a line: lines of two programs never interleave within a line.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Append) &&
                         file.write(text) == text.size() && file.flush();
    if (written || fileErrorTold_) {
        return;
    }
    fileErrorTold_ = true;
    if (OnFileError) {
        OnFileError(JournalFileErrorText + path.toStdString() + ": " +
                    file.errorString().toStdString());
    }
}
