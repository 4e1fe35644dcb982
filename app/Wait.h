#pragma once
// The wait dialog: what is being done, a progress bar and the time it has taken, while
// the device is read, written, called or hung up. The operator cannot close it; with an
// abort handler given, its Прервать ends the operation at its next wait.
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

enum WaitModes : int {
    WaitWriting = 2,    // the configuration goes into the device
    WaitReading = 3,    // the configuration tables are read
    WaitDialing = 4,    // the modem calls the device
    WaitHangingUp = 5,  // the modem ends the call
};

class TFormWait : public QDialog {
    Q_OBJECT
public:
    explicit TFormWait(QWidget* owner);

    int WaitMode = 0;  // set before the dialog is shown
    // What Прервать does; none: the button is not shown.
    std::function<void()> OnAbort;

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QProgressBar* ProgressBar1;
    QLabel* LabelTime;        // "Прошло 00:07"
    QPushButton* BitBtnStop;  // Прервать

    // "Прошло mm:ss", from an hour on "Прошло h:mm:ss".
    static QString ElapsedText(qint64 ms);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}  // Escape does not close it either

private:
    void BitBtnStopClick();
    void TimerClockTimer();

    QElapsedTimer elapsed_;
    QTimer TimerClock;
};
