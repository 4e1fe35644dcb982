#include "connection/Connpar.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>

#include "app/Formsize.h"
#include "app/Suplfunc.h"
#include "config/Baudrates.h"
#include "config/Codepage.h"
#include "config/Devicetables.h"
#include "connection/Deviceconnection.h"
#include "link/Conffun.h"
#include "link/Plcbox.h"
#include "link/Screen.h"

namespace {

constexpr QSize FormSize(580, 404 + 92);  // the network panel below the other two
constexpr int FontPixels = 12;
constexpr int TelephoneLink = 1;  // ComboBox4's entry and the LinkType value
const QColor EnabledEditColour(254, 254, 254);
const QColor PanelColour(211, 211, 211);  // also the telephone edits while disabled

constexpr char NotAllEntered[] = "Введены не все параметры";
constexpr char EnterValues[] = "Вводите значения";
constexpr char WithinRange[] = "согласно допустимого диапазона";
// A paste can put any text into a digit-only edit; it is refused, never guessed at.
constexpr char NotANumber[] = "Значение должно быть целым числом";
constexpr char OnlyCp1251[] = "Допустимы только символы кодировки Windows-1251";
constexpr char NoHost[] = "Не задан адрес узла";
constexpr char TcpPortOutOfRange[] = "Порт TCP вне диапазона (1...65535)";
constexpr char RtsNote[] = "Линией RS-485 управляет преобразователь: пауза RTS не применяется";
constexpr int HostLength = 253;  // the longest DNS name
constexpr int LowestTcpPort = 1;
constexpr int HighestTcpPort = 65535;

void Tell(int kind, const QString& first, const QString& second = QString()) {
    MessageKind = kind;
    ShowMessageDialog(first, second);
}

// Digits only, with the blanks a paste may bring around them; anything else is no number.
bool EditValue(const QLineEdit* edit, int& value) {
    constexpr qsizetype MaxDigits = 9;  // stays within int
    const QString text = edit->text().trimmed();
    if (text.isEmpty() || text.size() > MaxDigits) {
        return false;
    }
    int number = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        number = number * 10 + (c.unicode() - u'0');
    }
    value = number;
    return true;
}

// The first character of text that a Windows-1251 field cannot hold; empty if none.
QString UnstorableCharacter(const QString& text) {
    for (const uint code : text.toUcs4()) {
        const char32_t point = code;
        const QString one = QString::fromUcs4(&point, 1);
        std::string stored;
        if (!ToCp1251(one.toStdString(), stored) || stored.find('\0') != std::string::npos) {
            return one;
        }
    }
    return {};
}

int IndexOrNone(int index, const QComboBox* list) {
    return index >= 0 && index < list->count() ? index : -1;
}

QString Number(int32_t value) {
    return QString::number(value);
}

QLabel* Caption(QWidget* parent, const char* text) {
    return new QLabel(QString::fromUtf8(text), parent);
}

QComboBox* List(QWidget* parent, std::initializer_list<const char*> items) {
    auto* list = new QComboBox(parent);
    for (const char* item : items) {
        list->addItem(QString::fromUtf8(item));
    }
    return list;
}

QLineEdit* Edit(QWidget* parent, int maxLength, int widthInDigits) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(widthInDigits, u'0')) + 14);
    return edit;
}

QLineEdit* NumberEdit(QWidget* parent, int maxLength) {
    QLineEdit* edit = Edit(parent, maxLength, maxLength + 1);
    edit->setInputMethodHints(Qt::ImhDigitsOnly);
    return edit;
}

void SetEditColour(QLineEdit* edit, const QColor& colour) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, colour);  // every colour group, disabled too
    edit->setPalette(palette);
}

QFrame* Panel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    return panel;
}

// The port list looks at the machine again each time it opens: an adapter plugged in
// while the dialog is up is there.
class PortList final : public QComboBox {
public:
    PortList(QWidget* parent, std::function<void()> refresh)
        : QComboBox(parent), refresh_(std::move(refresh)) {}
    void showPopup() override {
        refresh_();
        view()->setMinimumWidth(view()->sizeHintForColumn(0) + 8);
        QComboBox::showPopup();
    }

private:
    std::function<void()> refresh_;
};

QPushButton* Button(QWidget* parent, const char* text, QStyle::StandardPixmap glyph) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setAutoDefault(false);  // Enter in an edit connects nothing by itself
    return button;
}

}  // namespace

TFormConnPar::TFormConnPar(ConnectionSettings& settings, NetworkSettings& network,
                           DeviceConnection& device, Screen& mainScreen, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      network_(network),
      device_(device),
      mainScreen_(mainScreen),
      work_(settings),
      workNetwork_(network) {
    setWindowTitle(QString::fromUtf8("Параметры связи с ЗАНТИРом"));
    setModal(true);
    QFont font = this->font();
    font.setPixelSize(FontPixels);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, PanelColour);
    palette.setColor(QPalette::Button, PanelColour);
    setPalette(palette);
    setAutoFillBackground(true);

    // Created in the order the operator tabs through them.
    ComboBox4 = List(this, {LinkTypeNames[0], LinkTypeNames[1], NetworkLinkName});
    QFrame* common = Panel(this);
    ComboBox1 = new PortList(this, [this] { FillPortList(); });
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboBox1->setMinimumContentsLength(12);
    ComboBox2 = new QComboBox(common);
    for (const int32_t rate : BaudRates) {
        ComboBox2->addItem(Number(rate));
    }
    Edit1 = NumberEdit(common, 3);
    Edit2 = NumberEdit(common, 4);
    Edit3 = NumberEdit(common, 3);
    ComboBox3 = new QComboBox(common);
    for (int n = LimitOf(LinkValue::ExchangeAttempts).Lowest;
         n <= LimitOf(LinkValue::ExchangeAttempts).Highest; ++n) {
        ComboBox3->addItem(QString(" %1").arg(n));
    }
    Edit4 = NumberEdit(common, 4);

    QFrame* phone = Panel(this);
    Label9 = Caption(phone, "Команда модему");
    Edit5 = new QLineEdit(phone);
    Edit5->setMaxLength(ModemCommandLength);
    Label11 = Caption(phone, "Ожидание соединения");
    Edit6 = NumberEdit(phone, 3);
    Label12 = new QLabel(QString::fromStdString(RangeCaption(LinkValue::ConnectWait)), phone);
    Label13 = Caption(phone, "c");
    Label20 = Caption(phone, "Кол. попыток соединения");
    Edit10 = NumberEdit(phone, 3);
    Label21 = new QLabel(QString::fromStdString(RangeCaption(LinkValue::ConnectAttempts)), phone);
    Label24 = Caption(phone, "Код страны");
    Edit7 = Edit(phone, CountryCodeLength, CountryCodeLength + 1);
    Label25 = Caption(phone, "Код города");
    Edit8 = Edit(phone, CityCodeLength, CityCodeLength + 1);
    Label26 = Caption(phone, "N телефона");
    Edit9 = new QLineEdit(phone);
    Edit9->setMaxLength(PhoneNumberLength);

    QFrame* net = Panel(this);
    Label27 = Caption(net, "Адрес");
    Edit11 = new QLineEdit(net);
    Edit11->setMaxLength(HostLength);
    Label28 = Caption(net, "Порт TCP");
    Edit12 = NumberEdit(net, 5);
    Label29 = new QLabel(QString("(%1...%2)").arg(LowestTcpPort).arg(HighestTcpPort), net);
    CheckBox1 = new QCheckBox(QString::fromUtf8("RFC 2217"), net);
    CheckBox2 = new QCheckBox(QString::fromUtf8("Ждать вызова терминала"), net);
    Label30 = Caption(net, RtsNote);
    // The panel keeps its height when the note is hidden.
    QSizePolicy notePolicy = Label30->sizePolicy();
    notePolicy.setRetainSizeWhenHidden(true);
    Label30->setSizePolicy(notePolicy);

    BitBtn1 = Button(this, "Связаться", QStyle::SP_DialogOkButton);
    BitBtn4 = Button(this, "Определение скорости обмена", QStyle::SP_BrowserReload);
    BitBtn2 = Button(this, "Отменить", QStyle::SP_DialogCancelButton);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);

    auto* commonGrid = new QGridLayout(common);
    commonGrid->setVerticalSpacing(5);
    auto addRow = [commonGrid](const char* caption, QWidget* field, const char* unit) {
        const int row = commonGrid->rowCount();
        QLabel* label = Caption(field->parentWidget(), caption);
        commonGrid->addWidget(label, row, 0);
        commonGrid->addWidget(field, row, 1, Qt::AlignLeft);
        if (unit) {
            commonGrid->addWidget(Caption(field->parentWidget(), unit), row, 2);
        }
        return label;
    };
    addRow("Скорость обмена", ComboBox2, "бит/с");
    addRow("Время ожидания первого\nбайта ответа (1...120)", Edit1, "c");
    addRow("Время ожидания следующих\nбайтов ответа (55...5000)", Edit2, "мс");
    addRow("Количество преамбул\nв запросе (0...255)", Edit3, nullptr);
    addRow("Количество попыток обмена", ComboBox3, nullptr);
    Label8 = addRow("Пауза после\nустановки RTS (2...1000)", Edit4, "мс");
    rtsUnit_ = commonGrid->itemAtPosition(commonGrid->rowCount() - 1, 2)->widget();
    commonGrid->setRowStretch(commonGrid->rowCount(), 1);

    // Captions above their fields: two columns of captions beside fields would not fit.
    auto* phoneColumn = new QVBoxLayout(phone);
    phoneColumn->setSpacing(3);
    auto* connectWait = new QHBoxLayout;
    connectWait->addWidget(Edit6);
    connectWait->addWidget(Label12);
    connectWait->addWidget(Label13);
    connectWait->addStretch(1);
    auto* connectAttempts = new QHBoxLayout;
    connectAttempts->addWidget(Edit10);
    connectAttempts->addWidget(Label21);
    connectAttempts->addStretch(1);
    auto* number = new QGridLayout;
    number->setVerticalSpacing(5);
    number->addWidget(Label24, 0, 0);
    number->addWidget(Edit7, 0, 1, Qt::AlignLeft);
    number->addWidget(Label25, 1, 0);
    number->addWidget(Edit8, 1, 1, Qt::AlignLeft);
    number->addWidget(Label26, 2, 0);
    number->addWidget(Edit9, 2, 1);
    phoneColumn->addWidget(Label9);
    phoneColumn->addWidget(Edit5);
    phoneColumn->addSpacing(6);
    phoneColumn->addWidget(Label11);
    phoneColumn->addLayout(connectWait);
    phoneColumn->addSpacing(6);
    phoneColumn->addWidget(Label20);
    phoneColumn->addLayout(connectAttempts);
    phoneColumn->addSpacing(6);
    phoneColumn->addLayout(number);
    phoneColumn->addStretch(1);

    auto* networkGrid = new QGridLayout(net);
    networkGrid->setVerticalSpacing(5);
    networkGrid->addWidget(Label27, 0, 0);
    networkGrid->addWidget(Edit11, 0, 1);
    networkGrid->addWidget(Label28, 0, 2);
    networkGrid->addWidget(Edit12, 0, 3);
    networkGrid->addWidget(Label29, 0, 4);
    auto* options = new QHBoxLayout;
    options->setSpacing(24);
    options->addWidget(CheckBox1);
    options->addWidget(CheckBox2);
    options->addStretch(1);
    networkGrid->addLayout(options, 1, 0, 1, 5);
    networkGrid->addWidget(Label30, 2, 0, 1, 5);
    networkGrid->setColumnStretch(1, 1);

    auto* linkType = new QHBoxLayout;
    linkType->addWidget(Caption(this, "Тип связи"));
    linkType->addWidget(ComboBox4);
    linkType->addStretch(1);
    // The port's row spans the dialog: it says where the port leads.
    auto* port = new QHBoxLayout;
    Label1 = Caption(this, "Порт подключения");
    port->addWidget(Label1);
    port->addWidget(ComboBox1, 1);
    auto* panels = new QHBoxLayout;
    panels->addWidget(common);
    panels->addWidget(phone, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn4);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2);
    auto* body = new QVBoxLayout;
    body->addLayout(linkType);
    body->addLayout(port);
    body->addLayout(panels, 1);
    body->addWidget(net);
    body->addLayout(buttons);
    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(0);
    auto* content = new QWidget(this);  // keeps the margins off the status bar
    content->setLayout(body);
    form->addWidget(content, 1);
    form->addWidget(StatusBar1);

    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit6, Edit10, Edit12}) {
        edit->installEventFilter(this);
    }
    for (QLineEdit* edit : {Edit1, Edit2, Edit3}) {
        SetEditColour(edit, EnabledEditColour);
    }
    connect(ComboBox4, &QComboBox::activated, this, &TFormConnPar::ComboBox4Click);
    connect(ComboBox1, &QComboBox::activated, this, &TFormConnPar::ComboBox1Click);
    connect(ComboBox2, &QComboBox::activated, this, &TFormConnPar::ComboBox2Click);
    // The working copy follows every change the operator makes to a telephone edit.
    connect(Edit5, &QLineEdit::textEdited, this,
            [this] { StoreText(Edit5, work_.ModemCommand, sizeof(work_.ModemCommand)); });
    connect(Edit7, &QLineEdit::textEdited, this,
            [this] { StoreText(Edit7, work_.CountryCode, sizeof(work_.CountryCode)); });
    connect(Edit8, &QLineEdit::textEdited, this,
            [this] { StoreText(Edit8, work_.CityCode, sizeof(work_.CityCode)); });
    connect(Edit9, &QLineEdit::textEdited, this,
            [this] { StoreText(Edit9, work_.PhoneNumber, sizeof(work_.PhoneNumber)); });
    // An empty edit or one that holds no number leaves the field as it was.
    connect(Edit6, &QLineEdit::textEdited, this, [this] {
        if (int value = 0; EditValue(Edit6, value)) {
            work_.ConnectWait = value;
        }
    });
    connect(Edit10, &QLineEdit::textEdited, this, [this] {
        if (int value = 0; EditValue(Edit10, value)) {
            work_.ConnectAttempts = value;
        }
    });
    // The network copy follows its edits as the telephone one does.
    connect(Edit11, &QLineEdit::textEdited, this,
            [this] { workNetwork_.Host = Edit11->text().trimmed().toStdString(); });
    connect(Edit12, &QLineEdit::textEdited, this, [this] {
        if (int value = 0;
            EditValue(Edit12, value) && value >= LowestTcpPort && value <= HighestTcpPort) {
            workNetwork_.Port = static_cast<uint16_t>(value);
        }
    });
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool checked) {
        workNetwork_.Rfc2217 = checked;
        ApplyLinkType();
    });
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool checked) {
        workNetwork_.CallIn = checked;
        ApplyLinkType();
    });
    connect(BitBtn1, &QPushButton::clicked, this, &TFormConnPar::BitBtn1Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TFormConnPar::BaudSearch);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormConnPar::BitBtn2Click);
}

// A restore after a minimise is a spontaneous show: what the operator set stays.
void TFormConnPar::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
    QDialog::showEvent(event);
}

void TFormConnPar::FormShow() {
    SetOuterSize(this, FormSize);
    work_ = settings_;
    const int32_t rate = work_.BaudRate;
    const int32_t firstByte = work_.FirstByteTimeout;
    const int32_t nextByte = work_.NextByteTimeout;
    const int32_t rtsPause = work_.RtsPause;
    FillPortList();
    ComboBox2->setCurrentIndex(BaudCodeOf(rate));
    Edit1->setText(Number(firstByte));
    Edit2->setText(Number(nextByte));
    Edit4->setText(Number(rtsPause));
    Edit3->setText(Number(work_.RequestPreambles));
    ComboBox3->setCurrentIndex(IndexOrNone(work_.ExchangeAttempts - 1, ComboBox3));
    ComboBox4->setCurrentIndex(IndexOrNone(work_.LinkType, ComboBox4));
    workNetwork_ = network_;
    Edit11->setText(QString::fromStdString(workNetwork_.Host));
    Edit11->setCursorPosition(0);
    Edit12->setText(Number(workNetwork_.Port));
    CheckBox1->setChecked(workNetwork_.Rfc2217);
    CheckBox2->setChecked(workNetwork_.CallIn);
    ApplyLinkType();
}

void TFormConnPar::ComboBox4Click() {
    ApplyLinkType();
}

bool TFormConnPar::SearchAllowed() const {
    const int linkType = ComboBox4->currentIndex();
    return linkType != TelephoneLink && (linkType != LinkTypeNetwork || CheckBox1->isChecked());
}

void TFormConnPar::ApplyLinkType() {
    const bool telephone = ComboBox4->currentIndex() == TelephoneLink;
    const bool network = ComboBox4->currentIndex() == LinkTypeNetwork;
    BitBtn4->setEnabled(SearchAllowed() && !searching_);
    // A network link needs no COM port, and its converter switches the line itself.
    Label1->setEnabled(!network);
    ComboBox1->setEnabled(!network);
    Label8->setEnabled(!network);
    rtsUnit_->setEnabled(!network);
    Edit4->setEnabled(!network);
    SetEditColour(Edit4, network ? PanelColour : EnabledEditColour);
    Label30->setVisible(network);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{Label28, Label29, Edit12, CheckBox1, CheckBox2}) {
        widget->setEnabled(network);
    }
    const bool host = network && !CheckBox2->isChecked();  // a call-in needs no address
    Label27->setEnabled(host);
    Edit11->setEnabled(host);
    SetEditColour(Edit11, host ? EnabledEditColour : PanelColour);
    SetEditColour(Edit12, network ? EnabledEditColour : PanelColour);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             Label9, Label11, Label12, Label13, Label20, Label21, Label24, Label25, Label26}) {
        widget->setEnabled(telephone);
    }
    for (QLineEdit* edit : {Edit5, Edit6, Edit10, Edit7, Edit8, Edit9}) {
        edit->setEnabled(telephone);
        SetEditColour(edit, telephone ? EnabledEditColour : PanelColour);
    }
    if (!telephone) {
        return;  // the edits keep their texts
    }
    const int32_t connectWait = work_.ConnectWait;
    const int32_t connectAttempts = work_.ConnectAttempts;
    Edit5->setText(QString::fromStdString(FieldText(work_.ModemCommand, ModemCommandLength)));
    Edit5->setCursorPosition(0);  // the command begins with its AT
    Edit6->setText(Number(connectWait));
    Edit10->setText(Number(connectAttempts));
    Edit7->setText(QString::fromStdString(FieldText(work_.CountryCode, CountryCodeLength)));
    Edit8->setText(QString::fromStdString(FieldText(work_.CityCode, CityCodeLength)));
    Edit9->setText(QString::fromStdString(FieldText(work_.PhoneNumber, sizeof(work_.PhoneNumber))));
}

void TFormConnPar::FillPortList() {
    found_ = FindSerialPorts(Roots, User);
    const std::vector<ComBinding> bindings = ComBindings(found_, PortsDirectory(), Roots.Dev);
    unbound_ = UnboundPorts(found_, bindings);
    const int free = FreeComNumber(bindings);
    ComboBox1->clear();
    for (const ComBinding& binding : bindings) {
        ComboBox1->addItem(QString::fromStdString(ComBindingText(binding)));
    }
    if (!unbound_.empty()) {
        ComboBox1->insertSeparator(ComPortCount);
    }
    for (const FoundPort* port : unbound_) {
        std::string text = FoundPortText(*port);
        if (free) {
            text += " — назначить COM" + std::to_string(free);
        }
        ComboBox1->addItem(QString::fromStdString(text));
    }
    const int selected =
        work_.PortNumber >= 1 && work_.PortNumber <= ComPortCount ? work_.PortNumber - 1 : -1;
    ComboBox1->setCurrentIndex(selected);
}

void TFormConnPar::BindFoundPort(int index) {
    const size_t entry = static_cast<size_t>(index - ComPortCount - 1);
    const FoundPort port = *unbound_[entry];
    const int number = FreeComNumber(ComBindings(found_, PortsDirectory(), Roots.Dev));
    std::string failure;
    if (number == 0) {
        Tell(MessageError, QString::fromUtf8("Свободного порта COM1...COM8 нет"),
             QString::fromStdString("Удалите ненужную ссылку COMn из папки " + PortsDirectory()));
    } else if (!BindComPort(PortsDirectory(), number, port, failure)) {
        Tell(MessageError,
             QString::fromStdString("Порт " + port.Device + " не назначен COM" +
                                    std::to_string(number)),
             QString::fromStdString(failure));
    } else {
        work_.PortNumber = static_cast<uint8_t>(number);
    }
    FillPortList();  // back to the COM entry stored, whatever happened
}

void TFormConnPar::ComboBox1Click() {
    const int index = ComboBox1->currentIndex();
    if (index > ComPortCount && static_cast<size_t>(index - ComPortCount - 1) < unbound_.size()) {
        BindFoundPort(index);
    } else if (index >= 0 && index < ComPortCount) {
        work_.PortNumber = static_cast<uint8_t>(index + 1);
    }
    ShowConnectionText();
}

void TFormConnPar::ComboBox2Click() {
    if (ComboBox2->currentIndex() >= 0) {
        work_.BaudRate = BaudRateOf(ComboBox2->currentIndex());
    }
    ShowConnectionText();
}

void TFormConnPar::ShowConnectionText() {
    ConnectionSettings shown = work_;
    if (ComboBox4->currentIndex() >= 0) {
        shown.LinkType = static_cast<uint8_t>(ComboBox4->currentIndex());
    }
    mainScreen_.SetPanelText(ConnectionPanel, LinkConnectionText(shown, workNetwork_));
}

// A text that Windows-1251 cannot hold never reaches the field: the edit goes back to
// what the field holds and the operator is told which character was refused.
bool TFormConnPar::StoreText(QLineEdit* edit, char* field, size_t width) {
    const QString text = edit->text();
    if (SetFieldText(field, width, text.toStdString())) {
        return true;
    }
    const QString kept = QString::fromStdString(FieldText(field, width));
    const int cursor = edit->cursorPosition() - static_cast<int>(text.size() - kept.size());
    edit->setText(kept);
    edit->setCursorPosition(std::max(0, cursor));
    const QString refused = UnstorableCharacter(text);
    Tell(MessageInputError,
         refused.isEmpty() ? QString::fromUtf8("Текст не может быть сохранён")
                           : QString::fromUtf8("Символ «%1» не может быть сохранён").arg(refused),
         QString::fromUtf8(OnlyCp1251));
    return false;
}

bool TFormConnPar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (const QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit6, Edit10, Edit12}) {
            if (watched == edit) {
                return !EditIntKeyPress(*static_cast<QKeyEvent*>(event));
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Of the characters typed, a number edit takes digits and Backspace. Keys that type no
// character (arrows, Delete, Tab, Enter) and shortcuts such as Ctrl+V pass: a paste is
// checked when the value is used.
bool TFormConnPar::EditIntKeyPress(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers();
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)) {
        return true;
    }
    for (const QChar c : key.text()) {
        if (c.isPrint() && (c < u'0' || c > u'9')) {
            return false;
        }
    }
    return true;
}

void TFormConnPar::BitBtn1Click() {
    if (searching_) {
        return;
    }
    if (ComboBox4->currentIndex() == TelephoneLink && !ValidateModemFields()) {
        return;
    }
    if (ComboBox4->currentIndex() == LinkTypeNetwork && !ValidateNetworkFields()) {
        return;
    }
    if (!ValidateLinkFields()) {
        return;
    }
    settings_ = work_;
    network_ = workNetwork_;
    ConnectRequested = true;
    accept();
}

void TFormConnPar::BitBtn2Click() {
    reject();
}

void TFormConnPar::reject() {
    if (searching_) {
        return;  // Escape does nothing while Отменить is disabled
    }
    QDialog::reject();
}

void TFormConnPar::closeEvent(QCloseEvent* event) {
    if (searching_) {
        closePending_ = true;  // the search closes the dialog when it ends
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool TFormConnPar::CheckedNumber(const QLineEdit* edit, LinkValue field, const char* rangeFirst,
                                 const char* rangeSecond) {
    const char* name = LimitOf(field).Caption;
    int value = 0;
    if (!EditValue(edit, value)) {
        Tell(MessageInputError, QString::fromUtf8(name), QString::fromUtf8(NotANumber));
        return false;
    }
    if (!WithinLimit(field, value)) {
        Tell(MessageInputError, QString::fromUtf8(rangeFirst ? rangeFirst : name),
             QString::fromUtf8(rangeSecond));
        return false;
    }
    SetLinkValue(work_, field, value);
    return true;
}

bool TFormConnPar::ValidateModemFields() {
    if (Edit6->text().isEmpty() || Edit9->text().isEmpty() || Edit10->text().isEmpty()) {
        Tell(MessageInputError, QString::fromUtf8(NotAllEntered));
        return false;
    }
    if (!StoreText(Edit5, work_.ModemCommand, sizeof(work_.ModemCommand))) {
        return false;
    }
    if (!CheckedNumber(Edit6, LinkValue::ConnectWait, EnterValues, WithinRange)) {
        return false;
    }
    if (!StoreText(Edit7, work_.CountryCode, sizeof(work_.CountryCode)) ||
        !StoreText(Edit8, work_.CityCode, sizeof(work_.CityCode)) ||
        !StoreText(Edit9, work_.PhoneNumber, sizeof(work_.PhoneNumber))) {
        return false;
    }
    return CheckedNumber(Edit10, LinkValue::ConnectAttempts, EnterValues, WithinRange);
}

bool TFormConnPar::ValidateNetworkFields() {
    const bool callIn = CheckBox2->isChecked();
    const QString host = Edit11->text().trimmed();
    if (host.isEmpty() && !callIn) {
        Tell(MessageInputError, QString::fromUtf8(NoHost));
        return false;
    }
    int port = 0;
    if (!EditValue(Edit12, port) || port < LowestTcpPort || port > HighestTcpPort) {
        Tell(MessageInputError, QString::fromUtf8(TcpPortOutOfRange));
        return false;
    }
    workNetwork_.Host = host.toStdString();
    workNetwork_.Port = static_cast<uint16_t>(port);
    workNetwork_.Rfc2217 = CheckBox1->isChecked();
    workNetwork_.CallIn = callIn;
    return true;
}

bool TFormConnPar::ValidateLinkFields() {
    const bool network = ComboBox4->currentIndex() == LinkTypeNetwork;
    for (const QComboBox* list : {ComboBox1, ComboBox2, ComboBox3, ComboBox4}) {
        if (list == ComboBox1 && network) {
            continue;  // no COM port for a network link
        }
        if (list->currentIndex() < 0) {
            Tell(MessageInputError, QString::fromUtf8(NotAllEntered));
            return false;
        }
    }
    for (const QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4}) {
        if (edit->text().isEmpty()) {
            Tell(MessageInputError, QString::fromUtf8(NotAllEntered));
            return false;
        }
    }
    StatusBar1->clearMessage();
    QCoreApplication::processEvents();
    if (!isVisible()) {
        return false;  // cancelled while the messages ran
    }
    work_.LinkType = static_cast<uint8_t>(ComboBox4->currentIndex());
    work_.ExchangeAttempts = static_cast<uint8_t>(ComboBox3->currentIndex() + 1);

    if (!CheckedNumber(Edit1, LinkValue::FirstByteTimeout, nullptr, OutOfRangeText) ||
        !CheckedNumber(Edit2, LinkValue::NextByteTimeout, nullptr, OutOfRangeText) ||
        !CheckedNumber(Edit3, LinkValue::RequestPreambles, nullptr, OutOfRangeText) ||
        !CheckedNumber(Edit4, LinkValue::RtsPause, nullptr, OutOfRangeText)) {
        return false;
    }
    device_.Network = workNetwork_;
    return device_.Open(work_);
}

void TFormConnPar::BaudSearch() {
    if (searching_ || !SearchAllowed()) {
        return;
    }
    StatusBar1->clearMessage();
    if (ComboBox4->currentIndex() == LinkTypeNetwork && !ValidateNetworkFields()) {
        return;
    }
    if (!ValidateLinkFields()) {
        return;
    }
    searching_ = true;
    SetButtonsEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // A close of the dialog ends the search when the rate under way has had its try.
    const int32_t found = device_.SearchRate([this](int32_t rate) {
        if (closePending_) {
            return false;
        }
        StatusBar1->showMessage(QString::fromStdString(SearchStatusText(rate)));
        QCoreApplication::processEvents();
        return !closePending_;
    });
    StatusBar1->clearMessage();
    QApplication::restoreOverrideCursor();
    if (found) {
        work_.BaudRate = found;
        ComboBox2->setCurrentIndex(BaudCodeOf(found));
    }
    device_.Close();
    searching_ = false;
    SetButtonsEnabled(true);
    // The program is closing: the dialog goes with it.
    if (closePending_ || device_.StopRequested()) {
        closePending_ = false;
        reject();
    }
}

void TFormConnPar::SetButtonsEnabled(bool enabled) {
    BitBtn1->setEnabled(enabled);
    BitBtn2->setEnabled(enabled);
    BitBtn4->setEnabled(enabled && SearchAllowed());
}
