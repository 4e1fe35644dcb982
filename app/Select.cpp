#include "app/Select.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/Formsize.h"

TFormSelect::TFormSelect(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle("Создать новый файл параметров конфигурации");
    auto* layout = new QVBoxLayout(this);
    RadioButton1 =
        new QRadioButton("Для версии ПО 3  (чтение и запись)  или 4  (только чтение)", this);
    RadioButton2 =
        new QRadioButton("Для версии ПО 5  (чтение и запись)  или 6  (только чтение)", this);
    RadioButton1->setChecked(true);
    layout->addWidget(RadioButton1);
    layout->addWidget(RadioButton2);
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    BitBtn1 = new QPushButton("Принять", this);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Отменить", this);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormSelect::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);  // Escape does the same
}

void TFormSelect::showEvent(QShowEvent* event) {
    SetOuterSize(this, QSize(470, 180));
    QDialog::showEvent(event);
}

void TFormSelect::BitBtn1Click() {
    Result = RadioButton1->isChecked() ? 3 : 5;
    accept();
}
