#include "config/Tableinfo.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <initializer_list>

#include "app/Formsize.h"
#include "app/Suplfunc.h"
#include "config/Stringi.h"
#include "link/Screen.h"

namespace {

constexpr QSize OuterSize(590, 210);
constexpr int ColumnGap = 6;
constexpr int RowHeight = 22;
constexpr int RowMargin = 4;    // inside the scroll box
constexpr int TextPadding = 8;  // between a text and its field's frame

QLabel* MakeHeader(QWidget* parent, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* MakeField(QWidget* parent, Qt::Alignment alignment) {
    auto* field = new QLabel(parent);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setAlignment(alignment | Qt::AlignVCenter);
    field->setFixedHeight(RowHeight);
    return field;
}

int WidestText(const QFontMetrics& metrics, std::initializer_list<QString> texts) {
    int widest = 0;
    for (const QString& text : texts) {
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    return widest + TextPadding;
}

QPushButton* MakeButton(QWidget* parent, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setMinimumHeight(25);
    // Enter must not start a write.
    button->setAutoDefault(false);
    return button;
}

// The header grid and the row grid share their columns, so that the headers outside the
// scroll box stay over their rows; the name column takes what the other two leave.
void SetColumns(QGridLayout* grid, int stateWidth, int writeWidth) {
    grid->setHorizontalSpacing(ColumnGap);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, stateWidth);
    grid->setColumnMinimumWidth(2, writeWidth);
}

}  // namespace

TFormTableInfo::TFormTableInfo(TableStateSet& set, bool telephoneLink, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Set(set),
      TelephoneLink(telephoneLink) {
    setWindowTitle("Состояние таблиц параметров конфигурации");
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);

    Label1 = MakeHeader(this, "Наименование таблицы");
    Label2 = MakeHeader(this, "Разру-");
    Label3 = MakeHeader(this, "шена");
    Label4 = MakeHeader(this, "Записать");
    Label5 = MakeHeader(this, "таблицу");

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The scroll bar is always there, so that the columns never move under the headers.
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ScrollBox1->setWidgetResizable(true);
    const QFontMetrics metrics = fontMetrics();
    const int stateWidth = WidestText(metrics, {Label2->text(), Label3->text(), "Нет", "Да"});
    const int writeWidth = WidestText(metrics, {Label4->text(), Label5->text()});
    auto* box = new QWidget;
    auto* rows = new QGridLayout(box);
    rows->setContentsMargins(RowMargin, RowMargin, RowMargin, RowMargin);
    rows->setVerticalSpacing(3);
    SetColumns(rows, stateWidth, writeWidth);
    for (int n = 0; n < RowSlots; ++n) {
        RowSlot& row = Rows[static_cast<size_t>(n)];
        row.Name = MakeField(box, Qt::AlignLeft);
        row.State = MakeField(box, Qt::AlignHCenter);
        row.State->setFixedWidth(stateWidth);
        row.Write = new QCheckBox(box);
        row.Table = -1;
        rows->addWidget(row.Name, n, 0);
        rows->addWidget(row.State, n, 1);
        rows->addWidget(row.Write, n, 2, Qt::AlignCenter);
    }
    rows->setRowStretch(RowSlots, 1);
    ScrollBox1->setWidget(box);
    pn1 = Rows[0].Name, pn2 = Rows[1].Name, pn3 = Rows[2].Name, pn4 = Rows[3].Name;
    pn5 = Rows[4].Name;
    pw1 = Rows[0].State, pw2 = Rows[1].State, pw3 = Rows[2].State, pw4 = Rows[3].State;
    pw5 = Rows[4].State;
    cb1 = Rows[0].Write, cb2 = Rows[1].Write, cb3 = Rows[2].Write, cb4 = Rows[3].Write;
    cb5 = Rows[4].Write;

    auto* headers = new QGridLayout;
    const int inset = RowMargin + ScrollBox1->frameWidth();
    headers->setContentsMargins(inset, 0,
                                inset + ScrollBox1->verticalScrollBar()->sizeHint().width(), 0);
    headers->setVerticalSpacing(0);
    SetColumns(headers, stateWidth, writeWidth);
    headers->addWidget(Label1, 0, 0, 2, 1);
    headers->addWidget(Label2, 0, 1);
    headers->addWidget(Label3, 1, 1);
    headers->addWidget(Label4, 0, 2);
    headers->addWidget(Label5, 1, 2);

    BitBtn1 = MakeButton(this, "Записать все таблицы");
    BitBtn3 = MakeButton(this, "Записать избранные таблицы");
    BitBtn2 = MakeButton(this, "Выход");
    connect(BitBtn1, &QPushButton::clicked, this, &TFormTableInfo::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormTableInfo::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TFormTableInfo::BitBtn3Click);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn3);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(8, 6, 8, 8);
    form->setSpacing(4);
    form->addLayout(headers);
    form->addWidget(ScrollBox1, 1);
    form->addSpacing(4);
    form->addLayout(buttons);
}

// A restore after a minimise is a spontaneous show: what the operator set stays.
void TFormTableInfo::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
    QDialog::showEvent(event);
}

void TFormTableInfo::FormShow() {
    size_t used = 0;
    for (int table = 0; table < static_cast<int>(TableCount); ++table) {
        // The device has fewer configuration tables than slots; any beyond are not listed.
        if (Set.ConfigTables[static_cast<size_t>(table)] != 0 && used < Rows.size()) {
            ShowRow(Rows[used++], table);
        }
    }
    for (size_t n = used; n < Rows.size(); ++n) {
        ClearRow(Rows[n]);
    }
    int nameWidth = 0;
    for (const RowSlot& row : Rows) {
        nameWidth = std::max(nameWidth, WidestText(row.Name->fontMetrics(), {row.Name->text()}) +
                                            2 * row.Name->frameWidth());
    }
    // The rows share the column, so its first field sets it for all.
    pn1->setMinimumWidth(nameWidth);
    // The scroll box does not grow with what it holds on its own.
    ScrollBox1->setMinimumWidth(ScrollBox1->widget()->minimumSizeHint().width() +
                                2 * ScrollBox1->frameWidth() +
                                ScrollBox1->verticalScrollBar()->sizeHint().width());
    SetOuterSize(this, OuterSize);
    BitBtn1->setEnabled(!TelephoneLink);
    BitBtn3->setEnabled(!TelephoneLink);
}

void TFormTableInfo::ShowRow(RowSlot& row, int table) {
    row.Table = table;
    row.Name->setText(QString::asprintf(" Табл. %2d.  %s", table, TableName(table)));
    const bool destroyed = Set.RestoreRequired[static_cast<size_t>(table)] != 0;
    row.State->setText(destroyed ? "Да" : "Нет");
    QPalette palette = row.State->palette();
    palette.setColor(QPalette::WindowText,
                     destroyed ? QColor(Qt::red) : this->palette().color(QPalette::WindowText));
    row.State->setPalette(palette);
    row.Write->show();
    row.Write->setChecked(destroyed && !TelephoneLink);
    row.Write->setEnabled(!TelephoneLink);
}

void TFormTableInfo::ClearRow(RowSlot& row) {
    row.Table = -1;
    row.Name->clear();
    row.State->clear();
    row.Write->setChecked(false);
    row.Write->hide();
}

void TFormTableInfo::BitBtn1Click() {
    for (size_t table = 0; table < TableCount; ++table) {
        if (Set.ConfigTables[table] != 0) {
            Set.WriteTables[table] = 1;
        }
    }
    Result = WriteAll;
    accept();
}

void TFormTableInfo::BitBtn2Click() {
    Result = WriteNothing;
    reject();
}

void TFormTableInfo::BitBtn3Click() {
    bool any = false;
    for (const RowSlot& row : Rows) {
        if (row.Table >= 0) {
            const bool chosen = row.Write->isChecked();
            Set.WriteTables[static_cast<size_t>(row.Table)] = chosen ? 1 : 0;
            any = any || chosen;
        }
    }
    if (!any) {
        MessageKind = MessageNotice;
        ShowMessageDialog(QString("Не заданы таблицы для записи"), QString());
        return;
    }
    Result = WriteSelected;
    accept();
}
