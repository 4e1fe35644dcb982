#include "app/Qtscreen.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

#include "app/Suplfunc.h"

QtScreen::QtScreen() {
    qApp->installEventFilter(this);
}

QtScreen::~QtScreen() {
    qApp->removeEventFilter(this);
}

void QtScreen::SetPanelText(int panel, const std::string& text) {
    if (panel < 0 || panel >= static_cast<int>(panels_.size()) || !panels_[panel]) {
        return;
    }
    panels_[panel]->setText(QString::fromStdString(text));
    panels_[panel]->repaint();  // shown at once, before the operation goes on
}

void QtScreen::ProcessMessages() {
    QCoreApplication::processEvents();
}

void QtScreen::SetProgressMaximum(int maximum) {
    if (progress_) {
        progress_->setRange(0, maximum);
        progress_->setValue(0);
    }
}

void QtScreen::StepProgress() {
    if (progress_) {
        progress_->setValue(std::min(progress_->value() + 1, progress_->maximum()));
        progress_->repaint();
    }
}

void QtScreen::FillProgress() {
    if (progress_ && progress_->value() < progress_->maximum()) {
        progress_->setValue(progress_->maximum());
        progress_->repaint();
    }
}

// A message is answered with the ordinary cursor, whatever the operation set.
bool QtScreen::ShowMessage(int kind, const std::string& first, const std::string& second) {
    int overrides = 0;
    while (QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
        ++overrides;
    }
    if (sink_) {
        sink_(kind, first, second);
    }
    MessageKind = kind;
    ShowMessageDialog(first, second);
    for (int i = 0; i < overrides; ++i) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    return QuestionAnswer == 1;
}

bool QtScreen::EscapePressed() {
    const bool pressed = escape_;
    escape_ = false;
    return pressed;
}

bool QtScreen::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        escape_ = true;
    }
    return QObject::eventFilter(watched, event);
}
