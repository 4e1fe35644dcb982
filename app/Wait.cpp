#include "app/Wait.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Formsize.h"

namespace {

constexpr int ClockTickMs = 1000;
constexpr char StoppingText[] = "Прерывается...";

}  // namespace

TFormWait::TFormWait(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("...");
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel("Ожидайте...", this);
    Label2 = new QLabel(this);
    Label3 = new QLabel(this);
    for (QLabel* label : {Label1, Label2, Label3}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 0);
    ProgressBar1->setTextVisible(false);
    layout->addWidget(ProgressBar1);
    LabelTime = new QLabel(ElapsedText(0), this);
    BitBtnStop = new QPushButton("Прервать", this);
    BitBtnStop->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(LabelTime);
    row->addStretch(1);
    row->addWidget(BitBtnStop);
    layout->addLayout(row);
    connect(BitBtnStop, &QPushButton::clicked, this, &TFormWait::BitBtnStopClick);
    TimerClock.setInterval(ClockTickMs);
    connect(&TimerClock, &QTimer::timeout, this, &TFormWait::TimerClockTimer);
}

QString TFormWait::ElapsedText(qint64 ms) {
    const qint64 seconds = ms / 1000;
    if (seconds < 3600) {
        return QString::asprintf("Прошло %02d:%02d", static_cast<int>(seconds / 60),
                                 static_cast<int>(seconds % 60));
    }
    return QString::asprintf("Прошло %d:%02d:%02d", static_cast<int>(seconds / 3600),
                             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

void TFormWait::showEvent(QShowEvent* event) {
    switch (WaitMode) {
        case WaitWriting:
            Label2->setText("Выполняется запись параметров");
            Label3->setText("конфигурации в зантир");
            break;
        case WaitReading:
            Label2->setText("Выполняется чтение");
            Label3->setText("таблиц параметров конфигурации");
            break;
        case WaitDialing:
            Label2->setText("Выполняется соединение");
            Label3->setText("с зантиром по телефону");
            break;
        case WaitHangingUp:
            Label2->setText("Выполняется отключение");
            Label3->setText("телефонной связи");
            break;
        default:
            break;
    }
    BitBtnStop->setVisible(static_cast<bool>(OnAbort));
    if (!event->spontaneous()) {
        elapsed_.start();
        LabelTime->setText(ElapsedText(0));
        TimerClock.start();
    }
    SetOuterSize(this, QSize(322, 160));
    QDialog::showEvent(event);
}

void TFormWait::closeEvent(QCloseEvent* event) {
    event->ignore();
}

// The operation ends at its next wait, which may be a second away: the button says that
// the request was taken.
void TFormWait::BitBtnStopClick() {
    if (!OnAbort) {
        return;
    }
    BitBtnStop->setEnabled(false);
    Label1->setText(StoppingText);
    OnAbort();
}

void TFormWait::TimerClockTimer() {
    LabelTime->setText(ElapsedText(elapsed_.elapsed()));
}
