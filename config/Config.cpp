#include "config/Config.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "app/Changes.h"
#include "app/Formsize.h"
#include "app/Suplfunc.h"
#include "config/Baudrates.h"
#include "config/Codepage.h"
#include "config/Ident.h"
#include "config/Vichpar.h"
#include "link/Screen.h"

namespace {

constexpr QSize OuterSize(800, 534);
const QColor BackgroundColour(210, 210, 210);  // 13816530
constexpr uint32_t AllRates = 0xFFFFFFFF;      // a file is not tied to one device's rates

// The modem string leaves room for its carriage return and at least one zero.
constexpr int ModemTextLength = static_cast<int>(ModemTable.Bytes()) - 2;
constexpr char ModemTerminator = '\r';

constexpr int GridRows = static_cast<int>(FlowComputerCount) - 1;  // address 0 is not shown
constexpr int GridRowHeight = 16;
constexpr int ColumnWidths[] = {48, 88, 69, 108};
constexpr int GridColumns = 4;

constexpr int ComboWidth = 130;
constexpr int NumberWidth = 44;

QLabel* MakeCaption(const char* text, QWidget* parent) {
    return new QLabel(QString::fromUtf8(text), parent);
}

QComboBox* MakeList(QWidget* parent, const QStringList& items) {
    auto* list = new QComboBox(parent);
    list->addItems(items);
    list->setFixedWidth(ComboWidth);
    return list;
}

// The grid's texts of one flow computer: address, connected, port, rate.
std::array<QString, GridColumns> RowTexts(int address, const FlowComputerRecord& computer) {
    std::array<QString, GridColumns> texts{QString::asprintf("      %d", address), "         Нет",
                                           QString(), QString()};
    if (computer.Connected != 0) {
        texts[1] = "         Да";
        static constexpr char16_t Ports[] = u"ABC";
        const bool known = computer.Port >= 1 && computer.Port <= LastPort;
        texts[2] = QString("         %1").arg(QChar(known ? Ports[computer.Port - 1] : u'?'));
        texts[3] = QString::asprintf("        %d", BaudRateOf(computer.BaudCode));
    }
    return texts;
}

// A column is as wide as the form gives it, or as its widest text needs at the grid's font.
std::array<int, GridColumns> GridColumnWidths(const QTableWidget* grid) {
    const QFontMetrics metrics(grid->font());
    const int margin =
        2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
    const FlowComputerRecord widest{1, 1, static_cast<uint8_t>(BaudRates.size() - 1)};
    const auto texts = RowTexts(static_cast<int>(FlowComputerCount) - 1, widest);
    std::array<int, GridColumns> widths{};
    for (int column = 0; column < GridColumns; ++column) {
        widths[column] =
            std::max(ColumnWidths[column], metrics.horizontalAdvance(texts[column]) + margin);
    }
    widths[1] = std::max(widths[1], metrics.horizontalAdvance("         Нет") + margin);
    return widths;
}

QLineEdit* MakeNumber(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(3);
    edit->setFixedWidth(NumberWidth);
    return edit;
}

QLabel* MakeHeader(const char* text, int width, QWidget* parent) {
    auto* header = new QLabel(QString::fromUtf8(text), parent);
    header->setFrameStyle(QFrame::Panel | QFrame::Raised);
    header->setAlignment(Qt::AlignCenter);
    header->setFixedSize(width, 34);
    // Fonts differ between systems; a header text must not be cut by its column.
    QFont font = header->font();
    const int room = header->contentsRect().width() - 2;
    while (font.pixelSize() > 8 &&
           QFontMetrics(font).boundingRect(QRect(), 0, header->text()).width() > room) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    header->setFont(font);
    return header;
}

QPushButton* MakeButton(QStyle::StandardPixmap icon, const char* text, QWidget* parent) {
    auto* button =
        new QPushButton(parent->style()->standardIcon(icon), QString::fromUtf8(text), parent);
    // Enter in a field must not confirm or leave the editor.
    button->setAutoDefault(false);
    button->setMinimumHeight(27);
    return button;
}

// A caption of one or two lines beside its control in the parameter grid.
void AddRow(QGridLayout* grid, QLabel* first, QLabel* second, QWidget* control) {
    auto* lines = new QVBoxLayout;
    lines->setSpacing(0);
    lines->addWidget(first);
    if (second) {
        lines->addWidget(second);
    }
    const int row = grid->rowCount();
    grid->addLayout(lines, row, 0);
    grid->addWidget(control, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
}

void AddRow(QGridLayout* grid, QLabel* first, QLabel* second, QLayout* control) {
    auto* holder = new QWidget;
    control->setContentsMargins(0, 0, 0, 0);
    holder->setLayout(control);
    AddRow(grid, first, second, holder);
}

// The item of a stored choice; no selection for a value the list does not have.
int ItemOf(const QComboBox* list, uint8_t value) {
    return value < list->count() ? value : -1;
}

// Blanks and control characters go from both ends, so the stored carriage return is not
// shown.
QString ModemText(const ConfigRecord& record) {
    const QString text = QString::fromStdString(
        FieldText(reinterpret_cast<const char*>(record.ModemInit.data()), record.ModemInit.size()));
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= u' ') {
        ++first;
    }
    while (last > first && text[last - 1].unicode() <= u' ') {
        --last;
    }
    return text.mid(first, last - first);
}

// The first character of the text that Windows-1251 cannot store; empty when none.
QString FirstCharacterWithoutCp1251(const QString& text) {
    std::string unused;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (!ToCp1251(character.toStdString(), unused)) {
            return character;
        }
        i += length - 1;
    }
    return QString();
}

// An empty field counts as 0; a text that is no number at all can only have been pasted.
std::optional<int> NumberIn(const QLineEdit* edit) {
    if (edit->text().isEmpty()) {
        return 0;
    }
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

bool IsByte(int value) {
    return value >= 0 && value <= 255;
}

bool RefuseInput(const QString& first, const QString& second) {
    MessageKind = MessageInputError;
    ShowMessageDialog(first, second);
    return false;
}

QString NotANumber(const QLineEdit* edit) {
    return QString("\"%1\" не является целым числом").arg(edit->text());
}

// A field that the edit changed: bold on a warm tint, and what it was in its tooltip.
const QColor ChangedColour(255, 226, 150);
constexpr char ChangedStyle[] = "background-color: rgb(255, 226, 150); font-weight: bold;";
constexpr char WasText[] = "Было: ";

// The modem string as the record stores it: its characters, a carriage return, zeros.
// False when it has no Windows-1251 form or does not fit.
bool ModemBytes(const QString& text, std::array<uint8_t, ModemTable.Bytes()>& modem) {
    std::string stored;
    if (!ToCp1251(text.toStdString(), stored) ||
        stored.size() > static_cast<size_t>(ModemTextLength)) {
        return false;
    }
    modem.fill(0);
    if (!stored.empty()) {
        std::memcpy(modem.data(), stored.data(), stored.size());
        modem[stored.size()] = ModemTerminator;
    }
    return true;
}

}  // namespace

TFormConfig::TFormConfig(ConfigRecord& record, ConfigEditorMode mode, bool hideIdent,
                         uint32_t upperLevelMask, uint32_t flowComputerMask, bool telephoneLink,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      Record(record),
      Shown(record),
      Snapshot(record),
      Mode(mode),
      HideIdent(hideIdent),
      UpperLevelMask(upperLevelMask),
      FlowComputerMask(flowComputerMask),
      TelephoneLink(telephoneLink) {
    setWindowTitle("Параметры конфигурации ЗАНТИРа");
    // A size smaller than the other dialogs': the grid's column widths are fixed and its
    // headers must fit them.
    QFont font = this->font();
    font.setPixelSize(12);
    setFont(font);

    Panel1 = new QWidget(this);
    Panel1->setAutoFillBackground(true);
    SetBackground(false);

    BuildFlowComputerList();
    BuildLinkParameters();
    BuildLayout();
    // Without the identification row the parameter group rises to the top margin.
    BitBtn24->setVisible(!HideIdent);
    Label34->setVisible(!HideIdent);

    for (QLineEdit* edit : {Edit2, Edit3, Edit4}) {
        edit->installEventFilter(this);
    }
    connect(BitBtn3, &QPushButton::clicked, this, &TFormConfig::BitBtn3Click);
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, &TFormConfig::StringGrid1DblClick);
    connect(BitBtn4, &QPushButton::clicked, this, &TFormConfig::BitBtn4Click);
    connect(BitBtn24, &QPushButton::clicked, this, &TFormConfig::BitBtn24Click);
    connect(BitBtn14, &QPushButton::clicked, this, &TFormConfig::BitBtn14Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TFormConfig::BitBtn14Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormConfig::BitBtn2Click);
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) {
        connect(edit, &QLineEdit::textChanged, this, &TFormConfig::UpdateMarks);
    }
    for (QComboBox* list : {ComboBox1, ComboBox2, ComboBox3, ComboBox4, ComboBox5}) {
        connect(list, &QComboBox::currentIndexChanged, this, &TFormConfig::UpdateMarks);
    }
    if (mode == ConfigEditorMode::Device) {
        ChangesAgainst = "прочитанной из устройства конфигурации";
    }
}

void TFormConfig::SetOriginal(const ConfigRecord& original) {
    Snapshot = original;
    hasOriginal_ = true;
}

void TFormConfig::BuildFlowComputerList() {
    Label1 = MakeCaption(" Параметры связи  с отдельным вычислителем", Panel1);

    StringGrid1 = new QTableWidget(GridRows, GridColumns, Panel1);
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setMinimumSectionSize(GridRowHeight);
    StringGrid1->verticalHeader()->setDefaultSectionSize(GridRowHeight);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setWordWrap(false);
    StringGrid1->setTextElideMode(Qt::ElideNone);
    const auto widths = GridColumnWidths(StringGrid1);
    int columnsWidth = 0;
    for (int column = 0; column < GridColumns; ++column) {
        StringGrid1->setColumnWidth(column, widths[column]);
        columnsWidth += widths[column];
    }
    for (int row = 0; row < GridRows; ++row) {
        for (int column = 0; column < GridColumns; ++column) {
            StringGrid1->setItem(row, column, new QTableWidgetItem);
        }
    }
    const int frame = StringGrid1->frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, StringGrid1);
    StringGrid1->setFixedWidth(columnsWidth + scrollBar + 2 * frame);

    Panel2 = MakeHeader("Адрес", widths[0] + frame, Panel1);
    Panel3 = MakeHeader("Подключение", widths[1], Panel1);
    Panel4 = MakeHeader("Порт", widths[2], Panel1);
    Panel5 = MakeHeader("Скорость обмена\n( бит/с )", widths[3] + scrollBar + frame, Panel1);

    BitBtn3 = MakeButton(QStyle::SP_FileDialogDetailedView, "Изменить", Panel1);
    BitBtn4 = MakeButton(QStyle::SP_DialogResetButton, "Отключить все вычислители", Panel1);
}

void TFormConfig::BuildLinkParameters() {
    BitBtn24 = new QPushButton(Panel1);
    BitBtn24->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    BitBtn24->setIconSize(QSize(24, 24));
    BitBtn24->setFixedSize(36, 36);
    BitBtn24->setAutoDefault(false);
    Label34 = MakeCaption("Параметры идентификации", Panel1);

    GroupBox1 = new QGroupBox(" Параметры связи ", Panel1);
    Label4 = MakeCaption("Скорость обмена с ВУ", GroupBox1);
    ComboBox1 = MakeList(GroupBox1, {});
    Label2 = MakeCaption("Количество преамбул", GroupBox1);
    Label3 = MakeCaption("при ответе ВУ (0...255)", GroupBox1);
    Edit2 = MakeNumber(GroupBox1);
    Label5 = MakeCaption("Количество преамбул", GroupBox1);
    Label6 = MakeCaption("в запросе к вычислителю (0...255)", GroupBox1);
    Edit3 = MakeNumber(GroupBox1);
    Label7 = MakeCaption("Длительность ожидания ответа", GroupBox1);
    Label8 = MakeCaption("от вычислителя (0...255)", GroupBox1);
    Edit4 = MakeNumber(GroupBox1);
    Label11 = MakeCaption("* 20 мс + 1000 мс", GroupBox1);
    Label9 = MakeCaption("Преамбулы от вычислителя", GroupBox1);
    ComboBox3 = MakeList(GroupBox1, {" Не ожидать", " Ожидать"});
    Label10 = MakeCaption("Приоритет", GroupBox1);
    ComboBox2 = MakeList(GroupBox1, {" Высокий", " Низкий"});
    Label14 = MakeCaption("Задержка перед повторной", GroupBox1);
    Label15 = MakeCaption("попыткой занять порт", GroupBox1);
    ComboBox4 = MakeList(GroupBox1, {" Меньшая", " Большая"});
    Label12 = MakeCaption("Необходимость управления", GroupBox1);
    Label13 = MakeCaption("сигналом RTS в канале связи с ВУ", GroupBox1);
    ComboBox5 = MakeList(GroupBox1, {" Не требуется", " Требуется"});

    GroupBox2 = new QGroupBox(" Строка инициализации модема ", Panel1);
    Edit1 = new QLineEdit(GroupBox2);
    Edit1->setMaxLength(ModemTextLength);

    BitBtn14 = MakeButton(QStyle::SP_DialogApplyButton, "Записать в устройство", Panel1);
    BitBtn5 = MakeButton(QStyle::SP_DialogApplyButton, "Принять", Panel1);
    BitBtn2 = MakeButton(QStyle::SP_DialogCloseButton, "Выход", Panel1);
    for (QPushButton* button : {BitBtn14, BitBtn5, BitBtn2}) {
        button->setMinimumWidth(110);
    }
}

void TFormConfig::BuildLayout() {
    auto* headers = new QHBoxLayout;
    headers->setSpacing(0);
    for (QLabel* header : {Panel2, Panel3, Panel4, Panel5}) {
        headers->addWidget(header);
    }
    headers->addStretch(1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(BitBtn3);
    listButtons->addWidget(BitBtn4);
    listButtons->addStretch(1);
    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(Label1);
    auto* list = new QVBoxLayout;
    list->setSpacing(0);  // the headers sit on the grid like its own
    list->addLayout(headers);
    list->addWidget(StringGrid1, 1);
    left->addLayout(list, 1);
    left->addSpacing(4);
    left->addLayout(listButtons);

    auto* wait = new QHBoxLayout;
    wait->setSpacing(8);
    wait->addWidget(Edit4);
    wait->addWidget(Label11);
    auto* parameters = new QGridLayout(GroupBox1);
    parameters->setContentsMargins(10, 8, 10, 10);
    parameters->setHorizontalSpacing(10);
    parameters->setVerticalSpacing(5);
    parameters->setColumnStretch(1, 1);
    AddRow(parameters, Label4, nullptr, ComboBox1);
    AddRow(parameters, Label2, Label3, Edit2);
    AddRow(parameters, Label5, Label6, Edit3);
    AddRow(parameters, Label7, Label8, wait);
    AddRow(parameters, Label9, nullptr, ComboBox3);
    AddRow(parameters, Label10, nullptr, ComboBox2);
    AddRow(parameters, Label14, Label15, ComboBox4);
    AddRow(parameters, Label12, Label13, ComboBox5);

    auto* modem = new QVBoxLayout(GroupBox2);
    modem->setContentsMargins(12, 8, 12, 10);
    modem->addWidget(Edit1);

    auto* ident = new QHBoxLayout;
    ident->setSpacing(10);
    ident->addWidget(BitBtn24);
    ident->addWidget(Label34);
    ident->addStretch(1);
    auto* confirm = new QHBoxLayout;
    confirm->addStretch(1);
    confirm->addWidget(BitBtn14);
    confirm->addWidget(BitBtn5);
    confirm->addSpacing(12);
    confirm->addWidget(BitBtn2);
    auto* right = new QVBoxLayout;
    right->setSpacing(8);
    right->addLayout(ident);
    right->addWidget(GroupBox1);
    right->addWidget(GroupBox2);
    right->addStretch(1);
    right->addLayout(confirm);

    auto* halves = new QHBoxLayout(Panel1);
    halves->setContentsMargins(10, 12, 10, 10);
    halves->setSpacing(12);
    halves->addLayout(left);
    halves->addLayout(right, 1);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addWidget(Panel1);
}

// A window restored after being minimised is shown again by the system; that must not
// start the editing afresh and lose what was done.
void TFormConfig::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
    QDialog::showEvent(event);
}

void TFormConfig::FormShow() {
    SetOuterSize(this, OuterSize);
    Accepted = 0;
    Changed = 0;
    showing_ = true;
    Shown = Record;
    if (!hasOriginal_) {
        Snapshot = Record;
    }

    FillRateList();
    Edit1->setText(ModemText(Record));
    Edit1->setCursorPosition(0);  // the string begins with its AT command
    const auto& link = Record.LinkParams;
    Edit2->setText(QString::number(link[UpperLevelReplyPreambles]));
    Edit3->setText(QString::number(link[FlowComputerRequestPreambles]));
    Edit4->setText(QString::number(link[FlowComputerReplyWait]));
    ComboBox2->setCurrentIndex(ItemOf(ComboBox2, link[AccessPriority]));
    ComboBox3->setCurrentIndex(ItemOf(ComboBox3, link[WaitFlowComputerPreambles]));
    ComboBox4->setCurrentIndex(ItemOf(ComboBox4, link[PortRetryDelay]));
    const bool rts = HasRtsControl();
    for (QWidget* w : {static_cast<QWidget*>(ComboBox5), static_cast<QWidget*>(Label12),
                       static_cast<QWidget*>(Label13)}) {
        w->setEnabled(rts);
    }
    ComboBox5->setCurrentIndex(rts ? ItemOf(ComboBox5, link[UpperLevelRtsControl]) : -1);

    for (int address = 1; address <= GridRows; ++address) {
        FillRow(address);
    }
    if (StringGrid1->currentRow() < 0) {
        StringGrid1->setCurrentCell(0, 0);
    }
    showing_ = false;
    UpdateMarks();
}

void TFormConfig::FillRateList() {
    const bool device = Mode == ConfigEditorMode::Device;
    const uint32_t mask = device ? UpperLevelMask : AllRates;
    const int current = Record.LinkParams[UpperLevelBaudCode];
    int position = -1;
    ComboBox1->clear();
    for (int code = 0; code < static_cast<int>(BaudRates.size()); ++code) {
        if (!IsRateAvailable(mask, code)) {
            continue;
        }
        if (code == current) {
            position = ComboBox1->count();
        }
        ComboBox1->addItem(QString::number(BaudRateOf(code)));
    }
    ComboBox1->setCurrentIndex(position);
    // Over a telephone link the device's rate towards its own modem is not to be touched
    // from afar.
    ComboBox1->setEnabled(!(device && TelephoneLink));
    BitBtn14->setVisible(device);
    BitBtn5->setVisible(!device);
}

void TFormConfig::FillRow(int address) {
    const auto texts = RowTexts(address, Record.FlowComputers[address]);
    for (int column = 0; column < GridColumns; ++column) {
        StringGrid1->item(address - 1, column)->setText(texts[column]);
    }
}

// Table 3 has the RTS field only where its software version gives it all eight fields.
bool TFormConfig::HasRtsControl() const {
    return LinkTableFieldCount(Record.SoftwareVersion()) > static_cast<int>(UpperLevelRtsControl);
}

bool TFormConfig::CheckInput(std::array<uint8_t, ModemTable.Bytes()>& modem) {
    if (ComboBox1->currentIndex() < 0 || ComboBox2->currentIndex() < 0 ||
        ComboBox3->currentIndex() < 0 || ComboBox4->currentIndex() < 0 || Edit4->text().isEmpty() ||
        (HasRtsControl() && ComboBox5->currentIndex() < 0)) {
        return RefuseInput("Введены не все параметры", QString());
    }
    const QString preambles = "Количество преамбул";
    const QString outOfRange = "вне допустимого диапазона";
    for (const QLineEdit* edit : {Edit2, Edit3}) {
        if (!NumberIn(edit)) {
            return RefuseInput(preambles, NotANumber(edit));
        }
    }
    if (!IsByte(*NumberIn(Edit2)) || !IsByte(*NumberIn(Edit3))) {
        return RefuseInput(preambles, outOfRange);
    }
    const QString wait = "Длительность ожидания ответа от вычислителя";
    const std::optional<int> waitValue = NumberIn(Edit4);
    if (!waitValue) {
        return RefuseInput(wait, NotANumber(Edit4));
    }
    if (!IsByte(*waitValue)) {
        return RefuseInput(wait, outOfRange);
    }

    const QString modemCaption = "Строка инициализации модема";
    const QString text = Edit1->text();
    std::string stored;
    if (!ToCp1251(text.toStdString(), stored)) {
        const QString bad = FirstCharacterWithoutCp1251(text);
        return RefuseInput(modemCaption,
                           QString("содержит символ \"%1\", которого нет в Windows-1251").arg(bad));
    }
    if (!ModemBytes(text, modem)) {
        return RefuseInput(modemCaption, QString("длиннее %1 символов").arg(ModemTextLength));
    }
    return true;
}

void TFormConfig::StoreInput(ConfigRecord& record,
                             const std::array<uint8_t, ModemTable.Bytes()>& modem) {
    auto& link = record.LinkParams;
    link[UpperLevelBaudCode] = static_cast<uint8_t>(BaudCodeOf(ComboBox1->currentText().toInt()));
    link[UpperLevelReplyPreambles] = static_cast<uint8_t>(*NumberIn(Edit2));
    link[FlowComputerRequestPreambles] = static_cast<uint8_t>(*NumberIn(Edit3));
    link[FlowComputerReplyWait] = static_cast<uint8_t>(*NumberIn(Edit4));
    link[AccessPriority] = static_cast<uint8_t>(ComboBox2->currentIndex());
    link[WaitFlowComputerPreambles] = static_cast<uint8_t>(ComboBox3->currentIndex());
    link[PortRetryDelay] = static_cast<uint8_t>(ComboBox4->currentIndex());
    if (HasRtsControl()) {
        link[UpperLevelRtsControl] = static_cast<uint8_t>(ComboBox5->currentIndex());
    }
    record.ModemInit = modem;
}

void TFormConfig::BitBtn14Click() {
    std::array<uint8_t, ModemTable.Bytes()> modem{};
    if (!CheckInput(modem)) {
        return;
    }
    ConfigRecord edited = Record;
    StoreInput(edited, modem);
    if (!ConfirmWrite(edited)) {
        return;  // back to the editor, every edit as it was
    }
    Record = edited;
    Changed = std::memcmp(&Record, &Snapshot, sizeof(ConfigRecord)) != 0 ? 1 : 0;
    Accepted = 1;
    accept();
}

// Before a write to the device the operator sees what changes, field by field.
bool TFormConfig::ConfirmWrite(const ConfigRecord& edited) {
    if (Mode != ConfigEditorMode::Device) {
        return true;
    }
    if (WritesOnlyChanges && std::memcmp(&edited, &Snapshot, sizeof(ConfigRecord)) == 0) {
        return true;  // the caller tells that nothing is written
    }
    SetBackground(true);
    const std::vector<ConfigDifference> differences = CompareConfigs(Snapshot, edited);
    const bool storedFormDiffers =
        differences.empty() && std::memcmp(&edited, &Snapshot, sizeof(ConfigRecord)) != 0;
    TFormChanges changes(differences, ChangesAgainst, this, storedFormDiffers);
    changes.exec();
    SetBackground(false);
    return changes.Confirmed == 1;
}

void TFormConfig::BitBtn2Click() {
    reject();
}

// Выход, Escape and the close box alike. Leaving without confirming gives the caller back
// the record as it was shown, grid changes included; edits are dropped only when the
// operator says so.
void TFormConfig::reject() {
    if (Unsaved() && !LeaveAgreed()) {
        return;
    }
    Record = Shown;
    Accepted = 0;
    Changed = 0;
    QDialog::reject();
}

bool TFormConfig::LeaveAgreed() {
    SetBackground(true);
    MessageKind = MessageQuestion;
    ShowMessageDialog(QString("Изменения не сохранены."), QString("Закрыть без сохранения?"));
    SetBackground(false);
    return QuestionAnswer == 1;
}

ConfigRecord TFormConfig::EditedRecord() const {
    ConfigRecord edited = Record;
    auto& link = edited.LinkParams;
    if (ComboBox1->currentIndex() >= 0) {
        link[UpperLevelBaudCode] =
            static_cast<uint8_t>(BaudCodeOf(ComboBox1->currentText().toInt()));
    }
    const std::pair<const QLineEdit*, size_t> numbers[] = {{Edit2, UpperLevelReplyPreambles},
                                                           {Edit3, FlowComputerRequestPreambles},
                                                           {Edit4, FlowComputerReplyWait}};
    for (const auto& [edit, field] : numbers) {
        if (!InvalidInput(edit)) {
            link[field] = static_cast<uint8_t>(*NumberIn(edit));
        }
    }
    const std::pair<const QComboBox*, size_t> choices[] = {{ComboBox2, AccessPriority},
                                                           {ComboBox3, WaitFlowComputerPreambles},
                                                           {ComboBox4, PortRetryDelay},
                                                           {ComboBox5, UpperLevelRtsControl}};
    for (const auto& [list, field] : choices) {
        if (list->currentIndex() >= 0 && (list != ComboBox5 || HasRtsControl())) {
            link[field] = static_cast<uint8_t>(list->currentIndex());
        }
    }
    std::array<uint8_t, ModemTable.Bytes()> modem{};
    if (ModemBytes(Edit1->text(), modem)) {
        edited.ModemInit = modem;
    }
    return edited;
}

bool TFormConfig::InvalidInput(const QWidget* control) const {
    if (control == Edit1) {
        std::array<uint8_t, ModemTable.Bytes()> modem{};
        return !ModemBytes(Edit1->text(), modem);
    }
    const auto* edit = qobject_cast<const QLineEdit*>(control);
    if (!edit) {
        return false;
    }
    const std::optional<int> value = NumberIn(edit);
    return !value || !IsByte(*value) || (edit == Edit4 && edit->text().isEmpty());
}

std::vector<ConfigDifference> TFormConfig::Edits() const {
    return CompareConfigs(Snapshot, EditedRecord());
}

// The lines of the configuration come in a fixed order: the link parameters (RTS control
// only where the version has it), the modem string, then flow computers 1 to 254.
void TFormConfig::UpdateMarks() {
    if (showing_) {
        return;
    }
    const bool rts = HasRtsControl();
    const std::vector<ConfigLine> was = DescribeConfig(Snapshot, rts);
    const std::vector<ConfigLine> now = DescribeConfig(EditedRecord(), rts);
    std::vector<QWidget*> controls = {ComboBox1, Edit2,     Edit3,    Edit4,
                                      ComboBox3, ComboBox2, ComboBox4};
    if (rts) {
        controls.push_back(ComboBox5);
    }
    controls.push_back(Edit1);
    marked_ = 0;
    size_t line = 0;
    for (QWidget* control : controls) {
        MarkControl(control, was[line].Value != now[line].Value || InvalidInput(control),
                    was[line].Value);
        ++line;
    }
    for (int address = 1; address <= GridRows; ++address, ++line) {
        MarkRow(address, was[line].Value != now[line].Value, was[line].Value);
    }
}

void TFormConfig::MarkControl(QWidget* control, bool changed, const std::string& was) {
    marked_ += changed ? 1 : 0;
    if (control->property("changed").toBool() == changed) {
        return;
    }
    control->setProperty("changed", changed);
    control->setStyleSheet(changed ? ChangedStyle : "");
    control->setToolTip(changed ? WasText + QString::fromStdString(was) : QString());
}

void TFormConfig::MarkRow(int address, bool changed, const std::string& was) {
    marked_ += changed ? 1 : 0;
    QTableWidgetItem* first = StringGrid1->item(address - 1, 0);
    if (first->data(Qt::UserRole).toBool() == changed) {
        return;
    }
    first->setData(Qt::UserRole, changed);
    QFont font = StringGrid1->font();
    font.setBold(changed);
    for (int column = 0; column < GridColumns; ++column) {
        QTableWidgetItem* item = StringGrid1->item(address - 1, column);
        item->setFont(font);
        item->setData(Qt::BackgroundRole, changed ? QVariant(ChangedColour) : QVariant());
        item->setToolTip(changed ? WasText + QString::fromStdString(was) : QString());
    }
}

void TFormConfig::BitBtn3Click() {
    const int row = StringGrid1->currentRow();
    if (row < 0) {
        return;
    }
    const int address = row + 1;
    SetBackground(true);
    {
        const uint32_t mask = Mode == ConfigEditorMode::Device ? FlowComputerMask : AllRates;
        TFormVichPar dialog(Record.FlowComputers[address], address, mask, this);
        dialog.exec();
    }
    SetBackground(false);
    FillRow(address);
    UpdateMarks();
}

void TFormConfig::StringGrid1DblClick() {
    BitBtn3Click();
}

void TFormConfig::BitBtn4Click() {
    SetBackground(true);
    MessageKind = MessageQuestion;
    ShowMessageDialog(QString("Вы действительно хотите удалить"),
                      QString("все вычислители из списка подключенных?"));
    SetBackground(false);
    if (QuestionAnswer != 1) {
        return;
    }
    // Port and rate stay, so a computer connected again comes back as it was.
    for (int address = 1; address <= GridRows; ++address) {
        Record.FlowComputers[address].Connected = 0;
        FillRow(address);
    }
    UpdateMarks();
}

void TFormConfig::BitBtn24Click() {
    TFormIdent view(Record.Ident.data(), Record.IdentPresent != 0, this);
    view.exec();
}

// True for a typed character other than a digit or Backspace. Keys that type nothing
// (arrows, Delete, Tab) and shortcuts keep their meaning; pasted text is checked on
// confirm.
bool TFormConfig::EditIntKeyPress(const QKeyEvent* key) const {
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) {
        return false;
    }
    for (const QChar c : key->text()) {
        if (c.isPrint() && !(c >= u'0' && c <= u'9')) {
            return true;
        }
    }
    return false;
}

bool TFormConfig::eventFilter(QObject* watched, QEvent* event) {
    const bool numberField = watched == Edit2 || watched == Edit3 || watched == Edit4;
    if (numberField && event->type() == QEvent::KeyPress &&
        EditIntKeyPress(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// The editor goes to the button face while a dialog over it asks for attention.
void TFormConfig::SetBackground(bool nested) {
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::Window,
                     nested ? QApplication::palette().color(QPalette::Button) : BackgroundColour);
    Panel1->setPalette(palette);
}
