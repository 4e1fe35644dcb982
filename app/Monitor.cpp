#include "app/Monitor.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTime>
#include <QVBoxLayout>
#include <QWindow>

#include "config/Filestore.h"

ExchangeMonitor::ExchangeMonitor(Screen& ui, QWidget* parent)
    // A dialog's window: it stays above the main window, which a click on the main
    // window's menu would otherwise raise over it.
    : QWidget(parent, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      ui_(ui),
      trace_([this](const TraceEvent& event) { Add(event); }) {
    setWindowTitle("Монитор обмена");
    resize(900, 420);
    trace_.SetEnabled(false);
    View = new QPlainTextEdit(this);
    View->setReadOnly(true);
    View->setLineWrapMode(QPlainTextEdit::NoWrap);
    View->setMaximumBlockCount(MaxLines);
    View->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    PauseButton = new QPushButton("Пауза", this);
    PauseButton->setCheckable(true);
    ClearButton = new QPushButton("Очистить", this);
    CopyButton = new QPushButton("Копировать", this);
    SaveButton = new QPushButton("Сохранить...", this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {PauseButton, ClearButton, CopyButton, SaveButton}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(View);
    layout->addLayout(buttons);
    connect(PauseButton, &QPushButton::toggled, this, [this](bool down) { SetPaused(down); });
    connect(ClearButton, &QPushButton::clicked, this, [this] {
        View->clear();
        waiting_.clear();
    });
    connect(CopyButton, &QPushButton::clicked, this, [this] {
        QString selected = View->textCursor().selectedText();
        QApplication::clipboard()->setText(
            selected.isEmpty() ? Lines().join('\n') + '\n' : selected.replace(QChar(0x2029), '\n'));
    });
    connect(SaveButton, &QPushButton::clicked, this, [this] { Save(); });
}

QStringList ExchangeMonitor::Lines() const {
    QStringList lines = View->toPlainText().split('\n');
    if (lines.size() == 1 && lines[0].isEmpty()) {
        lines.clear();
    }
    return lines;
}

bool ExchangeMonitor::SaveTo(const std::string& path) const {
    const QByteArray text = Lines().isEmpty() ? QByteArray() : (Lines().join('\n') + '\n').toUtf8();
    return ReplaceFile(path, reinterpret_cast<const uint8_t*>(text.constData()),
                       static_cast<size_t>(text.size())) == ReplaceResult::Replaced;
}

void ExchangeMonitor::showEvent(QShowEvent* event) {
    // Made with the main window, before that had a window of its own: the window system
    // learns here whose it is, and keeps it above.
    if (parentWidget() && windowHandle()) {
        windowHandle()->setTransientParent(parentWidget()->window()->windowHandle());
    }
    trace_.SetEnabled(true);
    QWidget::showEvent(event);
}

void ExchangeMonitor::hideEvent(QHideEvent* event) {
    trace_.SetEnabled(false);
    QWidget::hideEvent(event);
}

void ExchangeMonitor::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();  // as a dialog's Escape; the exchange goes on
        return;
    }
    QWidget::keyPressEvent(event);
}

// The clock time beside the offset within the command: a line of the monitor can be
// matched with the journal and with a trace taken at the far end.
QString ExchangeMonitor::LineOf(const QTime& clock, const TraceEvent& event) {
    return clock.toString("hh:mm:ss.zzz") + " " + QString::fromStdString(TraceText(event));
}

void ExchangeMonitor::Add(const TraceEvent& event) {
    const QString line = LineOf(QTime::currentTime(), event);
    if (PauseButton->isChecked()) {
        waiting_ << line;
        if (waiting_.size() > MaxLines) {
            waiting_.removeFirst();
        }
        return;
    }
    View->appendPlainText(line);  // drawn when the exchange next lets messages run
}

void ExchangeMonitor::SetPaused(bool paused) {
    PauseButton->setText(paused ? "Продолжить" : "Пауза");
    if (!paused) {
        for (const QString& line : waiting_) {
            View->appendPlainText(line);
        }
        waiting_.clear();
    }
}

void ExchangeMonitor::Save() {
    QFileDialog dialog(this, "Сохранение протокола обмена", QString(), "Текст (*.txt)");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().first();
    if (!SaveTo(path.toStdString())) {
        ui_.ShowMessage(MessageError, "Протокол обмена не сохранён в файле", path.toStdString());
    }
}
