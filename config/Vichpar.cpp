#include "config/Vichpar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

#include "app/Formsize.h"
#include "app/Suplfunc.h"
#include "config/Baudrates.h"
#include "config/Configimage.h"
#include "link/Screen.h"

namespace {

constexpr QSize OuterSize(310, 262);

}  // namespace

TFormVichPar::TFormVichPar(FlowComputerRecord& entry, int address, uint32_t rateMask,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Entry(entry),
      Working(entry),
      Address(address),
      RateMask(rateMask) {
    setWindowTitle("Параметры связи с вычислителем");
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);

    Label2 = new QLabel("Адрес", this);
    Label3 = new QLabel(this);
    Label3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label3->setAlignment(Qt::AlignCenter);
    Label6 = new QLabel("Подключение", this);
    CheckBox1 = new QCheckBox(this);
    Label1 = new QLabel("Порт подключения", this);
    ComboBox1 = new QComboBox(this);
    ComboBox1->addItems({"  A", "  B", "  C"});
    Label4 = new QLabel("Скорость обмена", this);
    ComboBox2 = new QComboBox(this);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), "Принять", this);
    BitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Отменить", this);
    for (QPushButton* button : {BitBtn1, BitBtn2}) {
        button->setAutoDefault(false);
        button->setMinimumSize(100, 27);
    }
    for (QWidget* field : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(ComboBox1),
                           static_cast<QWidget*>(ComboBox2)}) {
        field->setFixedWidth(110);
    }

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(12);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(Label3, 0, 1);
    grid->addWidget(Label6, 1, 0);
    grid->addWidget(CheckBox1, 1, 1);
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(ComboBox1, 2, 1);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(ComboBox2, 3, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addSpacing(16);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(24, 18, 24, 16);
    form->addLayout(grid);
    form->addStretch(1);
    form->addLayout(buttons);

    connect(CheckBox1, &QCheckBox::clicked, this, &TFormVichPar::CheckBox1Click);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TFormVichPar::ComboBox1Change);
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, &TFormVichPar::ComboBox2Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormVichPar::BitBtn1Click);
    // Cancel, Escape and the close box all reject, which leaves the entry alone.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

// A window restored after being minimised is shown again by the system; that must not
// start the editing afresh and lose what was done.
void TFormVichPar::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
    QDialog::showEvent(event);
}

void TFormVichPar::FormShow() {
    SetOuterSize(this, OuterSize);
    Working = Entry;
    RatePosition = -1;
    ComboBox2->clear();
    for (int code = 0; code < static_cast<int>(BaudRates.size()); ++code) {
        if (!IsRateAvailable(RateMask, code)) {
            continue;
        }
        if (code == Working.BaudCode) {
            RatePosition = ComboBox2->count();
        }
        ComboBox2->addItem(QString::number(BaudRateOf(code)));
    }
    Label3->setText(QString::number(Address));
    CheckBox1->setChecked(Working.Connected != 0);
    CheckBox1Click();
}

void TFormVichPar::CheckBox1Click() {
    const bool connected = CheckBox1->isChecked();
    Working.Connected = connected ? 1 : 0;
    // Clearing the lists of a disconnected computer keeps its port and code: they come
    // back when it is connected again.
    const int port = Working.Port >= 1 && Working.Port <= LastPort ? Working.Port - 1 : -1;
    const int position = RatePosition;
    ComboBox1->setCurrentIndex(connected ? port : -1);
    ComboBox2->setCurrentIndex(connected ? position : -1);
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label4),
                       static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(ComboBox2)}) {
        w->setEnabled(connected);
    }
}

void TFormVichPar::ComboBox1Change(int index) {
    if (index >= 0 && CheckBox1->isChecked()) {
        Working.Port = static_cast<uint8_t>(index + 1);
    }
}

void TFormVichPar::ComboBox2Change(int index) {
    if (index < 0 || !CheckBox1->isChecked()) {
        return;
    }
    const int code = BaudCodeOf(ComboBox2->itemText(index).toInt());
    if (code >= 0) {
        Working.BaudCode = static_cast<uint8_t>(code);
        RatePosition = index;
    }
}

void TFormVichPar::BitBtn1Click() {
    if (Working.Connected != 0 &&
        (ComboBox1->currentIndex() < 0 || ComboBox2->currentIndex() < 0)) {
        MessageKind = MessageInputError;
        ShowMessageDialog(QString("Введены не все параметры"), QString());
        return;
    }
    Entry = Working;
    accept();
}
