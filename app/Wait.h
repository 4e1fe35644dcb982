#pragma once
// The wait dialog: what is being done and a progress bar, while the configuration is
// read or written. The operator cannot close it.
#include <QDialog>

class QLabel;
class QProgressBar;

enum WaitModes : int {
    WaitWriting = 2,  // the configuration goes into the device
    WaitReading = 3,  // the configuration tables are read
};

class TFormWait : public QDialog {
    Q_OBJECT
public:
    explicit TFormWait(QWidget* owner);

    int WaitMode = 0;  // set before the dialog is shown
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QProgressBar* ProgressBar1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}  // Escape does not close it either
};
