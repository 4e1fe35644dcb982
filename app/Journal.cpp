#include "app/Journal.h"

#include <QScrollBar>
#include <QTime>

Journal::Journal(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setMaximumBlockCount(MaxLines);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFocusPolicy(Qt::ClickFocus);  // Tab and Enter stay with the window's commands
}

void Journal::Add(const QString& line) {
    appendPlainText(QTime::currentTime().toString("hh:mm:ss") + "  " + line);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
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
