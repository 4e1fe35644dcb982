#include "app/Wait.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include "app/Formsize.h"

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
        default:
            break;
    }
    SetOuterSize(this, QSize(322, 127));
    QDialog::showEvent(event);
}

void TFormWait::closeEvent(QCloseEvent* event) {
    event->ignore();
}
