#include "app/Journal.h"

#include <QDateTime>
#include <QScrollBar>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

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
// and another copy of the program may append to the same file between two lines.
void Journal::AppendToFile(const QDate& date, const QString& line) {
    std::error_code madeError;
    std::filesystem::create_directories(folder_, madeError);
    const std::string path = FileOf(date);
    const QByteArray text = (line + '\n').toUtf8();
    std::FILE* file = std::fopen(path.c_str(), "ab");
    bool written = false;
    int error = errno;
    if (file) {
        // One write a line: lines of two programs never interleave within a line.
        written = std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), file) ==
                      static_cast<size_t>(text.size()) &&
                  std::fflush(file) == 0;
        error = errno;
        written = std::fclose(file) == 0 && written;
        error = written ? 0 : (error != 0 ? error : errno);
    }
    if (written || fileErrorTold_) {
        return;
    }
    fileErrorTold_ = true;
    if (OnFileError) {
        OnFileError(JournalFileErrorText + path + ": " + std::strerror(error));
    }
}
