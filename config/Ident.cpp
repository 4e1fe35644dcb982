#include "config/Ident.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <initializer_list>

#include "app/Formsize.h"
#include "config/Configimage.h"

namespace {

constexpr QSize OuterSize(482, 406);
constexpr int PanelHeight = 22;

QLabel* MakeCaption(QWidget* parent, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel* MakePanel(QWidget* parent) {
    auto* panel = new QLabel(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignCenter);
    panel->setMinimumHeight(PanelHeight);
    return panel;
}

// One row: its caption lines stacked on the left, the value field beside them.
void AddRow(QGridLayout* grid, std::initializer_list<QLabel*> captions, QLabel* panel) {
    auto* lines = new QVBoxLayout;
    lines->setSpacing(0);
    for (QLabel* caption : captions) {
        lines->addWidget(caption);
    }
    const int row = grid->rowCount();
    grid->addLayout(lines, row, 0);
    grid->addWidget(panel, row, 1, Qt::AlignVCenter);
}

QString Number(uint8_t value) {
    return QString::asprintf("%d", value);
}

// A date or time part: two digits, or "**" when the device reports a value out of range.
QString DatePart(uint8_t value, int lowest, int highest) {
    return value >= lowest && value <= highest ? QString::asprintf("%02d", value) : "**";
}

QString SoftwareVersionText(uint8_t version) {
    switch (version) {
        case 3:
            return "3 (Чтение и запись)";
        case 4:
            return "4 (Только чтение)";
        case 5:
            return "5 (Чтение и запись)";
        case 6:
            return "6 (Только чтение)";
        default:
            return Number(version);
    }
}

// Without the device's own block only the class is known: read-write or read-only
// variant of the same generation.
QString SoftwareVersionClassText(uint8_t version) {
    switch (version) {
        case 3:
            return "3 или 4";
        case 5:
            return "5 или 6";
        default:
            return Number(version);
    }
}

QString ByteOrderText(uint8_t order) {
    switch (order) {
        case 0:
            return "Мл. адрес - ст. байт";
        case 1:
            return "Мл. адрес - мл. байт";
        default:
            return " ? ";
    }
}

}  // namespace

TFormIdent::TFormIdent(const uint8_t* ident, bool fullMode, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      IdentGiven(ident != nullptr),
      FullMode(fullMode) {
    if (ident) {
        std::copy_n(ident, Ident.size(), Ident.begin());
    }
    setWindowTitle("Параметры идентификации");
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);

    Label9 = MakeCaption(this, "Код типа контроллера");
    Label4 = MakeCaption(this, "Версия аппаратного обеспечения");
    Label1 = MakeCaption(this, "Версия программного обеспечения");
    Label6 = MakeCaption(this, "Дата создания ПО");
    Label2 = MakeCaption(this, "Порядок расположения байтов");
    Label3 = MakeCaption(this, "Наличие разрушенных таблиц");
    Label8 = MakeCaption(this, "Возможность работы на разных");
    Label5 = MakeCaption(this, "скоростях обмена");
    Label7 = MakeCaption(this, "Возможность изменения адреса");
    Label10 = MakeCaption(this, "контроллера");
    Label11 = MakeCaption(this, "Номер последней версии протокола");
    Label12 = MakeCaption(this, "KRV-DM71-S, которая поддерживается");
    Label13 = MakeCaption(this, "контроллером");
    Panel13 = MakePanel(this);
    Panel7 = MakePanel(this);
    Panel8 = MakePanel(this);
    Panel11 = MakePanel(this);
    Panel9 = MakePanel(this);
    Panel10 = MakePanel(this);
    Panel15 = MakePanel(this);
    Panel16 = MakePanel(this);
    Panel18 = MakePanel(this);
    BitBtn2 = new QPushButton("Выход", this);
    BitBtn2->setMinimumSize(90, 25);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormIdent::BitBtn2Click);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    grid->setColumnStretch(1, 1);
    AddRow(grid, {Label9}, Panel13);
    AddRow(grid, {Label4}, Panel7);
    AddRow(grid, {Label1}, Panel8);
    AddRow(grid, {Label6}, Panel11);
    AddRow(grid, {Label2}, Panel9);
    AddRow(grid, {Label3}, Panel10);
    AddRow(grid, {Label8, Label5}, Panel15);
    AddRow(grid, {Label7, Label10}, Panel16);
    AddRow(grid, {Label11, Label12, Label13}, Panel18);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(12, 12, 12, 12);
    form->addLayout(grid);
    form->addStretch(1);
    form->addWidget(BitBtn2, 0, Qt::AlignHCenter);
}

void TFormIdent::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFormIdent::FormShow() {
    SetOuterSize(this, OuterSize);
    if (!IdentGiven) {
        for (QLabel* panel :
             {Panel13, Panel7, Panel8, Panel11, Panel9, Panel10, Panel15, Panel16, Panel18}) {
            panel->clear();
        }
    } else {
        Panel13->setText(Number(Ident[IdentTypeCode]));
        FullMode ? ShowFull() : ShowReduced();
    }
    BitBtn2->setFocus();
}

void TFormIdent::ShowFull() {
    Panel8->setText(SoftwareVersionText(Ident[IdentSoftwareVersion]));
    Panel7->setText(Number(Ident[IdentHardwareVersion]));
    Panel11->setText(QString("%1.%2.%3  %4:%5:%6")
                         .arg(DatePart(Ident[IdentDay], 1, 31), DatePart(Ident[IdentMonth], 1, 12),
                              DatePart(Ident[IdentYear], 0, 99), DatePart(Ident[IdentHour], 0, 23),
                              DatePart(Ident[IdentMinute], 0, 59),
                              DatePart(Ident[IdentSecond], 0, 59)));
    Panel9->setText(ByteOrderText(Ident[IdentByteOrder]));

    const uint8_t destroyed = Ident[IdentDestroyedTable];
    QPalette palette = Panel10->palette();
    palette.setColor(QPalette::WindowText, destroyed != 0
                                               ? QColor(Qt::red)
                                               : this->palette().color(QPalette::WindowText));
    Panel10->setPalette(palette);
    Panel10->setText(destroyed != 0 ? QString::asprintf("Разрушена таблица %d", destroyed)
                                    : QString("Разрушенных таблиц нет"));

    Panel15->setText(Ident[IdentMultiRate] != 0 ? "Есть" : "Нет");
    const uint8_t fixedAddress = Ident[IdentFixedAddress];
    Panel16->setText(fixedAddress != 0 ? QString::asprintf("Нет. Адрес = %d", fixedAddress)
                                       : QString("Есть"));
    Panel18->setText(QString::asprintf("%d.%d.%d", Ident[IdentProtocolMajor],
                                       Ident[IdentProtocolMinor], Ident[IdentProtocolRelease]));
}

void TFormIdent::ShowReduced() {
    for (QLabel* caption : {Label4, Label6, Label2, Label3, Label8, Label5, Label7, Label10,
                            Label11, Label12, Label13}) {
        caption->setEnabled(false);
    }
    for (QLabel* panel : {Panel7, Panel11, Panel9, Panel10, Panel15, Panel16, Panel18}) {
        panel->clear();
    }
    Panel8->setText(SoftwareVersionClassText(Ident[IdentSoftwareVersion]));
}

void TFormIdent::BitBtn2Click() {
    accept();
}
