#include "config/Ident.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <initializer_list>

#include "app/Formsize.h"
#include "config/Configimage.h"
#include "config/Identtext.h"

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

QLabel* Caption(QWidget* parent, int row, size_t line) {
    return MakeCaption(parent, IdentCaptions[static_cast<size_t>(row)][line]);
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

    Label9 = Caption(this, IdentRowTypeCode, 0);
    Label4 = Caption(this, IdentRowHardware, 0);
    Label1 = Caption(this, IdentRowSoftware, 0);
    Label6 = Caption(this, IdentRowBuildDate, 0);
    Label2 = Caption(this, IdentRowByteOrder, 0);
    Label3 = Caption(this, IdentRowDestroyed, 0);
    Label8 = Caption(this, IdentRowMultiRate, 0);
    Label5 = Caption(this, IdentRowMultiRate, 1);
    Label7 = Caption(this, IdentRowAddress, 0);
    Label10 = Caption(this, IdentRowAddress, 1);
    Label11 = Caption(this, IdentRowProtocol, 0);
    Label12 = Caption(this, IdentRowProtocol, 1);
    Label13 = Caption(this, IdentRowProtocol, 2);
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

// A restore after a minimise is a spontaneous show: what the operator set stays.
void TFormIdent::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
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
        Panel13->setText(
            QString::fromStdString(IdentValues(Ident.data(), FullMode)[IdentRowTypeCode]));
        FullMode ? ShowFull() : ShowReduced();
    }
    BitBtn2->setFocus();
}

void TFormIdent::ShowFull() {
    const auto values = IdentValues(Ident.data(), true);
    const auto text = [&values](int row) { return QString::fromStdString(values[row]); };
    Panel8->setText(text(IdentRowSoftware));
    Panel7->setText(text(IdentRowHardware));
    Panel11->setText(text(IdentRowBuildDate));
    Panel9->setText(text(IdentRowByteOrder));

    QPalette palette = Panel10->palette();
    palette.setColor(QPalette::WindowText, Ident[IdentDestroyedTable] != 0
                                               ? QColor(Qt::red)
                                               : this->palette().color(QPalette::WindowText));
    Panel10->setPalette(palette);
    Panel10->setText(text(IdentRowDestroyed));

    Panel15->setText(text(IdentRowMultiRate));
    Panel16->setText(text(IdentRowAddress));
    Panel18->setText(text(IdentRowProtocol));
}

void TFormIdent::ShowReduced() {
    for (QLabel* caption : {Label4, Label6, Label2, Label3, Label8, Label5, Label7, Label10,
                            Label11, Label12, Label13}) {
        caption->setEnabled(false);
    }
    for (QLabel* panel : {Panel7, Panel11, Panel9, Panel10, Panel15, Panel16, Panel18}) {
        panel->clear();
    }
    Panel8->setText(QString::fromStdString(IdentValues(Ident.data(), false)[IdentRowSoftware]));
}

void TFormIdent::BitBtn2Click() {
    accept();
}
