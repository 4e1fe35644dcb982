#include "app/Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>
#include <QVBoxLayout>
#include <QWindow>
#include <clocale>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app/About.h"
#include "app/Compare.h"
#include "app/Journal.h"
#include "app/Monitor.h"
#include "app/Select.h"
#include "app/Suplfunc.h"
#include "app/Wait.h"
#include "config/Cnffile.h"
#include "config/Codepage.h"
#include "config/Config.h"
#include "config/Filestore.h"
#include "config/History.h"
#include "config/Ident.h"
#include "config/Identtext.h"
#include "config/Tableinfo.h"
#include "connection/Connectmodem.h"
#include "connection/Connpar.h"
#include "link/Folders.h"

namespace {

constexpr int StartDelayMs = 100;
constexpr int MessageClearMs = 3000;
constexpr int CallTickMs = 1000;
constexpr int SecondsPerDay = 24 * 60 * 60;
constexpr int MenuIconSize = 16;

// Top items of the menu bar carry a picture before their text.
class MenuBarStyle final : public QProxyStyle {
public:
    MenuBarStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuBarItem || !item || item->icon.isNull()) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionMenuItem background = *item;
        background.text.clear();
        background.icon = QIcon();
        QProxyStyle::drawControl(element, &background, painter, widget);
        const QRect area = item->rect.adjusted(6, 0, -4, 0);
        const QRect iconRect(area.left(), area.center().y() - MenuIconSize / 2 + 1, MenuIconSize,
                             MenuIconSize);
        item->icon.paint(painter, iconRect);
        const bool selected = item->state & State_Selected;
        proxy()->drawItemText(painter, area.adjusted(MenuIconSize + 4, 0, 0, 0),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                              item->palette, item->state & State_Enabled, item->text,
                              selected ? QPalette::HighlightedText : QPalette::ButtonText);
    }

    // The menu bar sizes an item with a picture by the picture alone; it needs the text too.
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type != CT_MenuBarItem || !item || item->icon.isNull()) {
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        }
        const QFontMetrics metrics(item->font);
        const QSize content(MenuIconSize + 4 + metrics.horizontalAdvance(item->text) + 4,
                            std::max(MenuIconSize, metrics.height()));
        return QProxyStyle::sizeFromContents(type, option, content, widget);
    }
};

QLabel* MakePanel(QWidget* parent, int width) {
    auto* panel = new QLabel(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedWidth(width);
    return panel;
}

// The wait dialog over an operation: its progress bar is the operation's. While the
// configuration is read the main window takes no input.
class WaitScope {
public:
    // The dialog is a window of its own, kept above the main window: as a child it would
    // be disabled with it.
    WaitScope(TFormMain& main, int mode) : main_(main), dialog_(nullptr) {
        dialog_.WaitMode = mode;
        // Прервать ends the operation at its next wait; the program goes on. A hang-up is
        // seen through: a call left up costs the operator money, and its pauses are fixed.
        if (mode != WaitHangingUp) {
            dialog_.OnAbort = [&main] { main.Device.AbortOperation(); };
        }
        reading_ = mode == WaitReading;
        if (reading_) {
            main_.setEnabled(false);
        }
        dialog_.winId();
        if (dialog_.windowHandle()) {
            dialog_.windowHandle()->setTransientParent(main_.windowHandle());
        }
        dialog_.show();
        dialog_.repaint();
        main_.Ui.SetProgressBar(dialog_.ProgressBar1);
        QCoreApplication::processEvents();
    }
    ~WaitScope() { Close(); }
    void Close() {
        if (closed_) {
            return;
        }
        closed_ = true;
        main_.Ui.SetProgressBar(nullptr);
        dialog_.hide();
        if (reading_) {
            main_.setEnabled(true);
            main_.raise();
            main_.activateWindow();
        }
    }

private:
    TFormMain& main_;
    TFormWait dialog_;
    bool reading_ = false;
    bool closed_ = false;
};

// The open and save dialogs show configuration files first.
QStringList ConfigFileFilters() {
    return {"Data Files (*.cnf)", "DataFiles(*.ala)", "DataFiles(*.aud)",
            "DataFiles(*.osc)",   "DataFiles(*.avr)", "DataFiles(*.*)"};
}

// Two lines of a message as one line of the journal.
std::string JoinedLines(const std::string& first, const std::string& second) {
    return second.empty() ? first : first + " " + second;
}

// "3, 5, 6"
std::string NumberList(const std::vector<int>& numbers) {
    std::string text;
    for (const int number : numbers) {
        text += (text.empty() ? "" : ", ") + std::to_string(number);
    }
    return text;
}

std::string ConnectedText(const ConnectionSettings& settings, const NetworkSettings& network,
                          const uint8_t* ident) {
    const int32_t rate = settings.BaudRate;
    QString link = QString::fromUtf8(LinkTypeName(settings.LinkType));
    link[0] = link[0].toLower();
    // A telephone link names the modem's port.
    const std::string place = settings.LinkType == LinkTypeNetwork
                                  ? NetworkAddressText(network)
                                  : "COM" + std::to_string(settings.PortNumber);
    const auto values = IdentValues(ident, true);
    return "Связь установлена: " + place + ", " + std::to_string(rate) + " бит/с, " +
           link.toStdString() + "; код типа " + values[IdentRowTypeCode] + ", версия ПО " +
           values[IdentRowSoftware];
}

// Made when missing; what a save killed in an earlier run left there goes.
void CreateProgramFolder(const std::string& folder) {
    std::error_code ignored;  // a folder that cannot be made fails its own file operations
    std::filesystem::create_directories(folder, ignored);
    RemoveStaleTemporaries(folder);
}

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Программа обслуживания устройства параллельного доступа ЗАНТИР (zrt16-mk)");
    Monitor = new ExchangeMonitor(Ui, this);
    Device.Trace = &Monitor->Trace();
    BuildMenus();
    BuildStatusBar();
    BuildModemPanel();
    TimerStart.setInterval(StartDelayMs);
    TimerMessage.setInterval(MessageClearMs);
    TimerMoney.setInterval(CallTickMs);
    // A start that meets a command under way waits for it to end.
    connect(&TimerStart, &QTimer::timeout, this, [this] {
        TimerStart.stop();
        if (!RunCommand([this] { TimerStartTimer(); }) && !closeRequested_ && !closed_) {
            TimerStart.start();
        }
    });
    connect(&TimerMessage, &QTimer::timeout, this, &TFormMain::TimerMessageTimer);
    connect(&TimerMoney, &QTimer::timeout, this, &TFormMain::TimerMoneyTimer);
    FormCreate();
}

TFormMain::~TFormMain() {
    FormClose();
}

void TFormMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto* style = new MenuBarStyle;
    style->setParent(bar);
    bar->setStyle(style);
    QStyle* icons = QApplication::style();

    NWorkPar = bar->addMenu(icons->standardIcon(QStyle::SP_FileDialogDetailedView), "Параметры");
    const auto command = [this](void (TFormMain::*handler)()) {
        return [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); };
    };
    Nident = NWorkPar->addAction("Параметры идентификации", this, command(&TFormMain::NidentClick));
    N2 = NWorkPar->addAction("Параметры конфигурации", this, command(&TFormMain::N2Click));
    N1 = NWorkPar->addAction("Состояние таблиц параметров конфигурации", this,
                             command(&TFormMain::N1Click));
    N3 = NWorkPar->addAction("Сохранение параметров конфигурации в файле", this,
                             command(&TFormMain::N3Click));

    Nconnect =
        bar->addAction(icons->standardIcon(QStyle::SP_DriveNetIcon), "Связь с другим устройством");
    connect(Nconnect, &QAction::triggered, this, command(&TFormMain::NconnectClick));

    NConfData = bar->addMenu(icons->standardIcon(QStyle::SP_DirIcon), "Файлы  конфигурации");
    NNewCnf = NConfData->addAction("Создание нового файла конфигурации", this,
                                   [this] { RunCommand([this] { NCnfClick(0); }); });
    NEditCnf = NConfData->addAction("Просмотр/Корректировка файла конфигурации", this,
                                    [this] { RunCommand([this] { NCnfClick(1); }); });
    NCompare = NConfData->addAction("Сравнить...", this, command(&TFormMain::NCompareClick));

    Nvers = bar->addMenu(icons->standardIcon(QStyle::SP_MessageBoxInformation), "Общее");
    Nabout = Nvers->addAction("О программе", this, command(&TFormMain::NaboutClick));
    // Not a device command: the monitor opens and closes while the device works.
    Nmonitor = Nvers->addAction("Монитор обмена", this, [this] {
        Monitor->show();
        Monitor->raise();
        Monitor->activateWindow();
    });

    // Выход is a close, which is taken even while a command runs.
    Nexit = bar->addAction(icons->standardIcon(QStyle::SP_DialogCloseButton), "Выход");
    connect(Nexit, &QAction::triggered, this, &TFormMain::NexitClick);
}

bool TFormMain::RunCommand(const std::function<void()>& handler) {
    if (Device.Busy() || closeRequested_ || closed_) {
        return false;
    }
    {
        DeviceConnection::Command command(Device);
        SetCommandsEnabled(false);
        handler();
        SetCommandsEnabled(true);
    }
    if (closeRequested_) {
        close();
    }
    return true;
}

// Shows the operator that the menus and the hang-up button wait for the command.
void TFormMain::SetCommandsEnabled(bool enabled) {
    menuBar()->setEnabled(enabled);
    BitBtn3->setEnabled(enabled);
}

void TFormMain::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    StatusBar1 = {MakePanel(bar, 150), MakePanel(bar, 557), MakePanel(bar, 80)};
    // Panel 1 takes what panels 0 and 2 leave, so panel 2 ends at the window's right edge
    // at any width.
    StatusBar1[1]->setMinimumWidth(100);
    StatusBar1[1]->setMaximumWidth(QWIDGETSIZE_MAX);
    for (QLabel* panel : StatusBar1) {
        bar->addWidget(panel, panel == StatusBar1[1] ? 1 : 0);
    }
    Ui.SetPanels(StatusBar1);
}

void TFormMain::BuildModemPanel() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(8, 8, 8, 8);
    pnmodem = new QFrame(central);
    pnmodem->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* row = new QHBoxLayout(pnmodem);
    Label1 = new QLabel("Продолжительность связи по телефону", pnmodem);
    pntime = new QLabel("00:00:00", pnmodem);
    pntime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pntime->setMinimumWidth(80);
    pntime->setAlignment(Qt::AlignCenter);
    BitBtn3 = new QPushButton("Отключить связь", pnmodem);
    connect(BitBtn3, &QPushButton::clicked, this,
            [this] { RunCommand([this] { BitBtn3Click(); }); });
    row->addWidget(Label1);
    row->addWidget(pntime);
    row->addWidget(BitBtn3);
    column->addWidget(pnmodem, 0, Qt::AlignLeft);
    Journal1 = new Journal(central);
    column->addWidget(Journal1, 1);
}

void TFormMain::FormCreate() {
    std::setlocale(LC_NUMERIC, "C");  // a point is the decimal separator everywhere
    QLocale::setDefault(QLocale::c());
    Engine.Ui = &Ui;
    Engine.StatusPanel = StatusExchangePanel;
    Ui.SetMessageSink([this](int kind, const std::string& first, const std::string& second) {
        JournalMessage(kind, first, second);
    });
    Device.OnLinkLost = [this] { Journal1->Add(LinkLostText); };
    // Every whole read and every write of changes keeps the device's configuration.
    Device.HistoryFolder = HistoryDirectory();
    Journal1->OnFileError = [this](const std::string& text) {
        Ui.SetPanelText(OperationPanel, text);
        TimerMessage.start();
    };
    CreateProgramFolder(Folders().Config);
    CreateProgramFolder(Folders().Settings);
    LoadLinkSettings(Settings, Network);
    HideMenus();
    pnmodem->hide();
    TimerStart.start();
}

void TFormMain::HideMenus() {
    for (QAction* item : menuBar()->actions()) {
        item->setVisible(false);
    }
}

void TFormMain::UpdateMenus() {
    for (QAction* item : menuBar()->actions()) {
        item->setVisible(true);
        if (QMenu* menu = item->menu()) {
            for (QAction* sub : menu->actions()) {
                sub->setVisible(true);
            }
        }
    }
    if (!DeviceAccepted) {
        NWorkPar->menuAction()->setVisible(false);
        Ui.SetPanelText(ConnectionPanel, "");
    }
}

void TFormMain::ShowConnection() {
    Ui.SetPanelText(ConnectionPanel, LinkConnectionText(Settings, Network));
}

void TFormMain::TimerStartTimer() {
    TimerStart.stop();
    DeviceAccepted = false;
    if (Device.CallUp()) {  // a call still up is hung up first
        WaitScope wait(*this, WaitHangingUp);
        Device.HangUp();
    }
    Device.Close();
    JournalCallEnd();
    pnmodem->hide();
    TimerMoney.stop();
    HideMenus();
    ShowConnection();

    TFormConnPar dialog(Settings, Network, Device, Ui, this);
    dialog.exec();
    if (!dialog.ConnectRequested) {
        UpdateMenus();
        return;
    }
    ConnectDevice();
    if (DeviceAccepted && Device.DestroyedTable() != 0) {
        N1Click();
    }
}

bool TFormMain::ConnectDevice() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        // A call takes its time: the operator sees it go and may end it.
        std::optional<WaitScope> wait;
        if (Settings.LinkType == 1) {
            wait.emplace(*this, WaitDialing);
        }
        DeviceAccepted = Device.Connect([this] { ShowCallPanel(); });
    }
    QApplication::restoreOverrideCursor();
    TimerMessage.start();
    if (!DeviceAccepted) {
        JournalCallEnd();
        JournalAborted("Установление связи");
        Journal1->Add("Связь с устройством не установлена");
        pnmodem->hide();
        TimerMoney.stop();
        UpdateMenus();
        return false;
    }
    // The rate in use: the dialog or its search may have changed it.
    ShowConnection();
    Journal1->Add(ConnectedText(Settings, Network, Image.Bytes.data() + IdentOffset));
    if (Device.DestroyedTable() != 0) {
        Journal1->Add(DestroyedTablePanelText(Device.DestroyedTable()));
    }
    UpdateMenus();
    return true;
}

bool TFormMain::EnsureLink() {
    if (!Device.LinkLost()) {
        return true;
    }
    if (!Ui.ShowMessage(MessageQuestion, ReconnectQuestionText, LinkLostText)) {
        return false;
    }
    Device.Network = Network;
    if (!Device.Open(Settings)) {
        return false;  // the port's own message has been shown; the line stays lost
    }
    return ConnectDevice();
}

void TFormMain::ShowCallPanel() {
    TimerMessage.start();
    CallStart = QDateTime::currentDateTime();
    Journal1->Add("Связь по телефону установлена");
    pntime->setText("00:00:00");
    TimerMoney.start();
    pnmodem->show();
    repaint();
}

void TFormMain::TimerMoneyTimer() {
    pntime->setText(CallDurationText());
}

QString TFormMain::CallDurationText() const {
    // The time of day of the elapsed time: hours start again after a day.
    const qint64 seconds = CallStart.secsTo(QDateTime::currentDateTime()) % SecondsPerDay;
    return QString::asprintf("%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

void TFormMain::BitBtn3Click() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        WaitScope wait(*this, WaitHangingUp);
        Device.HangUp();
    }
    TimerMoneyTimer();
    JournalCallEnd();
    DeviceAccepted = false;
    pnmodem->hide();
    repaint();
    TimerMoney.stop();
    Ui.SetPanelText(OperationPanel, "");
    Device.Close();
    UpdateMenus();
    QApplication::restoreOverrideCursor();
}

void TFormMain::TimerMessageTimer() {
    TimerMessage.stop();
    Ui.SetPanelText(OperationPanel, "");
}

void TFormMain::NconnectClick() {
    TimerStart.start();
}

void TFormMain::NidentClick() {
    if (!EnsureLink()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = Device.ReadIdent();
    QApplication::restoreOverrideCursor();
    TimerMessage.start();
    JournalRead(read, "Параметры идентификации", {IdentTable.Number});
    if (read) {
        TFormIdent view(Image.Bytes.data() + IdentOffset, true, this);
        view.exec();
    }
}

void TFormMain::NaboutClick() {
    TFormAbout about(this);
    about.exec();
}

void TFormMain::NexitClick() {
    close();
}

// A close while a command runs ends that command at its next wait; the window closes
// when it has ended.
void TFormMain::closeEvent(QCloseEvent* event) {
    if (Device.Busy()) {
        closeRequested_ = true;
        Device.RequestStop();
        event->ignore();
        return;
    }
    {
        DeviceConnection::Command command(Device);  // the hang-up lets messages run
        FormClose();
    }
    QMainWindow::closeEvent(event);
}

void TFormMain::FormClose() {
    if (closed_) {
        return;
    }
    closed_ = true;
    TimerStart.stop();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Device.Close();  // hangs up a call that is up
    // On every close, changed or not; a failure is not reported.
    SaveLinkSettings(Settings, Network);
    QApplication::restoreOverrideCursor();
}

// Reads the whole configuration under the wait dialog; a failure is said here.
bool TFormMain::ReadConfiguration() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    WaitScope wait(*this, WaitReading);
    const bool read = Device.ReadConfiguration();
    wait.Close();
    if (JournalAborted("Чтение параметров конфигурации")) {
        TimerMessage.start();
        QApplication::restoreOverrideCursor();
        return false;
    }
    // A failure names the tables that were not read; a success all of them.
    JournalRead(read, "Параметры конфигурации",
                read ? std::vector<int>{IdentTable.Number, LinkTable.Number, ModemTable.Number,
                                        FlowComputerTable.Number, RateMaskTable.Number}
                     : Device.UnreadTables());
    TimerMessage.start();
    QApplication::restoreOverrideCursor();
    return read;
}

void TFormMain::N2Click() {
    if (!EnsureLink() || !ReadConfiguration()) {
        return;
    }
    ConfigRecord record = NewConfigRecord(Image.SoftwareVersion());
    LoadEditorRecord(Image, record);
    TFormConfig editor(record, ConfigEditorMode::Device, true, RateMask(Image, 0),
                       RateMask(Image, 1), Settings.LinkType != 0, this);
    editor.WritesOnlyChanges = true;
    editor.exec();
    if (!editor.Accepted) {
        return;
    }
    const ConfigImage snapshot = Image;
    StoreEditorRecord(record, Image);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        // Nothing to write is told at once, without a wait.
        std::optional<WaitScope> wait;
        if (FindChangedTables(Image, snapshot).Any()) {
            wait.emplace(*this, WaitWriting);
        }
        Device.WriteChanges(snapshot);
    }
    JournalWritten(Device.LastWrite(), Device.LastCheck());
    QApplication::restoreOverrideCursor();
    TimerMessage.start();
}

void TFormMain::N1Click() {
    if (!EnsureLink()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TableStateSet set{};
    const bool read = Device.ReadTableState(set);
    QApplication::restoreOverrideCursor();
    TimerMessage.start();
    JournalRead(read, "Состояние таблиц", {RestoreTable.Number});
    if (!read) {
        return;
    }
    TFormTableInfo dialog(set, Settings.LinkType != 0, this);
    dialog.exec();
    if (dialog.Result == TFormTableInfo::WriteNothing) {
        return;
    }
    ConfigRecord record{};
    std::string path;
    if (!OpenConfigFile(record, &path)) {
        return;
    }
    // Told before the editor: the operator may still decline to write.
    Device.TellFileVersion(record.SoftwareVersion());
    if (!EditRecordForDevice(record, FileNameOf(path))) {
        return;
    }
    WriteTablesWithWait(set, RecordLinkFields(record));
}

bool TFormMain::EditRecordForDevice(ConfigRecord& record, const std::string& fileName) {
    if (!Device.ReadRateMask()) {
        return false;  // the program is closing
    }
    TFormConfig editor(record, ConfigEditorMode::Device, false, RateMask(Image, 0),
                       RateMask(Image, 1), Settings.LinkType != 0, this);
    editor.ChangesAgainst = QString::fromStdString("файла " + fileName);
    editor.exec();
    if (!editor.Accepted) {
        return false;
    }
    if (editor.Changed) {
        SaveConfigFile(record, false);
    }
    StoreRecordForDevice(record, Image);
    return true;
}

void TFormMain::WriteTablesWithWait(const TableStateSet& set, uint8_t linkFields) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Ui.SetPanelText(OperationPanel, "");
    WaitScope wait(*this, WaitWriting);
    const bool written = Device.WriteTables(set.WriteTables, linkFields);
    JournalWritten(Device.LastWrite(), Device.LastCheck());
    TimerMessage.start();
    Ui.SetPanelText(StatusExchangePanel, "");
    QApplication::restoreOverrideCursor();
    wait.Close();
    UpdateMenus();
    if (written) {
        Device.TellDestroyedTable();
    }
}

void TFormMain::N3Click() {
    if (!EnsureLink() || !ReadConfiguration()) {
        return;
    }
    ConfigRecord record{};
    LoadEditorRecord(Image, record);
    SaveConfigFile(record, true);
}

void TFormMain::NCnfClick(int tag) {
    ConfigRecord record{};
    if (tag == 0) {
        TFormSelect select(this);
        select.exec();
        if (select.Result == 0) {
            return;
        }
        record = NewConfigRecord(static_cast<uint8_t>(select.Result));
    } else if (!OpenConfigFile(record)) {
        return;
    }
    // Edits that were not saved go only when the operator says so; otherwise the editor
    // comes back with them, still measured against the file as it was opened.
    const ConfigRecord original = record;
    for (bool again = false;; again = true) {
        TFormConfig editor(record, ConfigEditorMode::File, false, ~0u, ~0u, Settings.LinkType != 0,
                           this);
        if (again) {
            editor.SetOriginal(original);
        }
        editor.exec();
        if (!editor.Accepted || !(editor.Changed || tag == 0) || SaveConfigFile(record, false)) {
            return;
        }
        MessageKind = MessageQuestion;
        ShowMessageDialog(QString(editor.Changed ? "Изменения не сохранены."
                                                 : "Новый файл конфигурации не сохранён."),
                          QString("Закрыть без сохранения?"));
        if (QuestionAnswer == 1) {
            return;
        }
    }
}

bool TFormMain::ReadForComparison(ConfigRecord& record, QString& name) {
    if (!EnsureLink() || !ReadConfiguration()) {
        return false;
    }
    record = NewConfigRecord(Image.SoftwareVersion());
    LoadEditorRecord(Image, record);
    const std::string place = Device.PlaceText();
    name = QString::fromStdString("устройство, " + place + ", прочитано ") +
           QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss");
    return true;
}

void TFormMain::NCompareClick() {
    TFormCompare::Source device;
    if (DeviceAccepted) {
        device = [this](ConfigRecord& record, QString& name) {
            return ReadForComparison(record, name);
        };
    }
    const auto file = [this](ConfigRecord& record, QString& name) {
        std::string path;
        if (!OpenConfigFile(record, &path)) {
            return false;
        }
        name = QString::fromStdString("файл " + path);
        return true;
    };
    TFormCompare dialog(device, file, HistoryDirectory(), this);
    dialog.exec();
}

bool TFormMain::OpenConfigFile(ConfigRecord& record, std::string* chosen) {
    QFileDialog pod(this, "Выбор файла с параметрами конфигурации",
                    QString::fromStdString(ConfigDirectory()));
    pod.setOption(QFileDialog::DontUseNativeDialog);
    pod.setFileMode(QFileDialog::ExistingFile);
    pod.setAcceptMode(QFileDialog::AcceptOpen);
    pod.setNameFilters(ConfigFileFilters());
    pod.selectNameFilter(ConfigFileFilters().front());
    if (pod.exec() != QDialog::Accepted || pod.selectedFiles().isEmpty()) {
        return false;
    }
    FileNotice notice;
    const std::string path = pod.selectedFiles().front().toStdString();
    if (!ReadConfigFile(path, record, notice)) {
        TellFile(notice);
        return false;
    }
    Journal1->Add("Открыт файл " + path);
    if (chosen) {
        *chosen = path;
    }
    return true;
}

bool TFormMain::SaveConfigFile(const ConfigRecord& record, bool noQuestion) {
    if (!noQuestion) {
        MessageKind = MessageQuestion;
        ShowMessageDialog(QString("Сохранить параметры конфигурации в файле?"), QString());
        if (QuestionAnswer == 0) {
            return false;
        }
    }
    // The name carries the version of the configuration it holds and the time: a name that
    // nothing has yet, so that a save never meets an earlier backup.
    std::string proposed =
        FreeConfigFileName(ConfigDirectory(), record.Ident[IdentSoftwareVersion]);
    QFileDialog SaveDialog1(this, "Выбор файла для записи параметров конфигурации",
                            QString::fromStdString(ConfigDirectory()));
    SaveDialog1.setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1.setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog1.setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1.setNameFilters(ConfigFileFilters());
    SaveDialog1.selectNameFilter(ConfigFileFilters().front());
    const auto replaceAgreed = [](const std::string& path) {
        MessageKind = MessageQuestion;
        ShowMessageDialog(QString::fromStdString("Файл " + FileNameOf(path) + " уже есть."),
                          QString("Вы хотите заменить существующий файл?"));
        return QuestionAnswer != 0;
    };
    for (;;) {
        SaveDialog1.selectFile(QString::fromStdString(proposed));
        if (SaveDialog1.exec() != QDialog::Accepted || SaveDialog1.selectedFiles().isEmpty()) {
            return false;
        }
        const std::string chosen = SaveDialog1.selectedFiles().front().toStdString();
        proposed = chosen;
        // A name typed without an extension is saved with ".cnf": that is the file asked about.
        const std::string path = NameTaken(chosen) ? chosen : WithConfigExtension(chosen);
        // Every file that is there is replaced only after the question, the proposed name's
        // too: another program may have made it meanwhile.
        bool replace = NameTaken(path);
        if (replace && !replaceAgreed(path)) {
            continue;
        }
        FileNotice notice;
        bool saved = false;
        if (!replace) {
            const SaveResult result = WriteNewConfigFile(path, record, notice);
            if (result == SaveResult::Exists) {
                if (!replaceAgreed(path)) {
                    continue;  // another program made it meanwhile
                }
                replace = true;
            }
            saved = result == SaveResult::Saved;
        }
        if (replace) {
            saved = WriteConfigFile(path, record, notice);
        }
        TellFile(notice);
        return saved;
    }
}

void TFormMain::JournalRead(bool read, const std::string& what, const std::vector<int>& tables) {
    if (Device.StopRequested()) {
        return;
    }
    const std::string list =
        " (" + std::string(tables.size() > 1 ? "таблицы " : "таблица ") + NumberList(tables) + ")";
    Journal1->Add(what + (read ? ": прочитано" : ": не прочитано") + list);
}

// A write that did not complete has been told, with what became of each request, and
// the journal took that message. A complete one is said with what the check found.
void TFormMain::JournalWritten(const WriteAccount& account, const WriteCheck& check) {
    if (!check.BackupFile.empty()) {
        Journal1->Add("Резервная копия конфигурации до записи: " +
                      (std::filesystem::path(HistoryDirectory()) / check.BackupFile).string());
    }
    if (JournalAborted("Запись в устройство") || Device.StopRequested() || account.Steps.empty() ||
        !account.Complete()) {
        return;
    }
    const std::vector<int> tables = account.Tables(RequestFate::Confirmed);
    std::string line =
        (tables.size() > 1 ? "Записаны таблицы " : "Записана таблица ") + NumberList(tables);
    switch (check.Result) {
        case WriteCheckResult::Verified:
            line += ": " + QString::fromUtf8(WrittenVerifiedText).toLower().toStdString();
            break;
        case WriteCheckResult::Mismatch: {
            line += "; проверка не пройдена, записано → прочитано: ";
            const std::vector<std::string> fields = DifferenceLines(check.Differences);
            for (size_t i = 0; i < fields.size(); ++i) {
                line += (i == 0 ? "" : "; ") + fields[i];
            }
            break;
        }
        case WriteCheckResult::NotRead:
            line += "; записанное не проверено: таблицы не прочитаны";
            break;
        case WriteCheckResult::NotChecked:
            break;
    }
    Journal1->Add(line);
}

bool TFormMain::JournalAborted(const char* what) {
    if (!Device.Aborted()) {
        return false;
    }
    Journal1->Add(std::string(what) + ": прервано оператором");
    return true;
}

void TFormMain::TellFile(const FileNotice& notice) {
    Ui.ShowMessage(notice.Error ? MessageError : MessageNotice, notice.Line1, notice.Line2);
}

void TFormMain::JournalMessage(int kind, const std::string& first, const std::string& second) {
    // Questions and input errors are the operator's own; every other message is an outcome.
    // The check after a write is said in the write's own line.
    if (kind == MessageQuestion || kind == MessageInputError || first == VerifyFailedText ||
        first == VerifyNotReadText) {
        return;
    }
    std::string line = JoinedLines(first, second);
    const QString summary = StatusBar1[OperationPanel]->text().trimmed();
    if (kind == MessageRetry && !summary.isEmpty()) {
        line += " (" + summary.toStdString() + ")";
    }
    Journal1->Add(line);
}

void TFormMain::JournalCallEnd() {
    if (!CallStart.isValid() || Device.CallUp()) {
        return;
    }
    Journal1->Add("Связь по телефону завершена, продолжительность " +
                  CallDurationText().toStdString());
    CallStart = QDateTime();
}
