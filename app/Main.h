#pragma once
// The main window: owner of the link engine, the configuration image, the port and the
// connection settings for the whole run; the start and connection sequence, the
// telephone call and the menus.
#include <QDateTime>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/Qtscreen.h"
#include "config/Configimage.h"
#include "config/Configrecord.h"
#include "config/Tablestate.h"
#include "connection/Deviceconnection.h"
#include "connection/Netsettings.h"
#include "connection/Settings.h"
#include "link/Plcbox.h"

class Journal;
class QAction;
struct FileNotice;
class QFrame;
class QLabel;
class QMenu;
class ExchangeMonitor;
class QPushButton;

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Makes every menu visible, then hides the device's commands when none is connected.
    void UpdateMenus();
    // The text that panel 0 shows: port and rate.
    void ShowConnection();

    // Every command of the window (menus, the hang-up button, the start timer, the
    // close) starts here, and only while no other runs: the device connection tells.
    // False when the command was refused.
    bool RunCommand(const std::function<void()>& handler);

    // Handlers, named after control and event.
    void TimerStartTimer();
    void TimerMessageTimer();
    void TimerMoneyTimer();
    void BitBtn3Click();
    void NconnectClick();
    void NidentClick();
    void NaboutClick();
    void NexitClick();
    void N2Click();
    void N1Click();
    void N3Click();
    void NCnfClick(int tag);
    void NCompareClick();

    // Configuration files through the file dialogs; both tell the operator the outcome.
    // path: the file chosen. SaveConfigFile is true when the record was saved.
    bool OpenConfigFile(ConfigRecord& record, std::string* path = nullptr);
    bool SaveConfigFile(const ConfigRecord& record, bool noQuestion);

    LinkEngine Engine{0};
    ConfigImage Image;
    ConnectionSettings Settings;
    NetworkSettings Network;  // where a network link leads; the dialog edits it beside Settings
    QtScreen Ui;
    DeviceConnection Device{Engine, Image, Settings, Ui};  // the port; the engine holds a copy
    bool DeviceAccepted = false;
    QDateTime CallStart;

    std::array<QLabel*, 3> StatusBar1{};
    QFrame* pnmodem;
    QLabel* Label1;
    QLabel* pntime;
    QPushButton* BitBtn3;
    Journal* Journal1;  // the client area: what happened, one line per event
    QTimer TimerStart, TimerMessage, TimerMoney;

    QMenu* NWorkPar;
    QAction *Nident, *N2, *N1, *N3;
    QAction* Nconnect;
    QMenu* NConfData;
    QAction *NNewCnf, *NEditCnf, *NCompare;
    QMenu* Nvers;
    QAction* Nabout;
    QAction* Nmonitor;
    ExchangeMonitor* Monitor;  // hidden until asked for; traces only while shown
    QAction* Nexit;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void BuildMenus();
    void BuildStatusBar();
    void BuildModemPanel();
    void HideMenus();
    void ShowCallPanel();
    void SetCommandsEnabled(bool enabled);
    void FormClose();
    QString CallDurationText() const;
    void TellFile(const FileNotice& notice);
    // The journal's lines: a message shown, a call that ended, a read, a write.
    void JournalMessage(int kind, const std::string& first, const std::string& second);
    void JournalCallEnd();
    void JournalRead(bool read, const std::string& what, const std::vector<int>& tables);
    void JournalWritten(const WriteAccount& account, const WriteCheck& check);
    // The operation just ended was ended by the operator's Прервать: said with what it was.
    bool JournalAborted(const char* what);
    // Before a device command: a line that was lost is offered to be connected again.
    // False when there is no link to work on.
    bool EnsureLink();
    // Port, DTR, the call and the identification over the settings in effect.
    bool ConnectDevice();
    bool ReadConfiguration();
    bool EditRecordForDevice(ConfigRecord& record, const std::string& fileName);
    // The configuration of the connected device, read now, for the comparison.
    bool ReadForComparison(ConfigRecord& record, QString& name);
    void WriteTablesWithWait(const TableStateSet& set, uint8_t linkFields);

    bool closed_ = false;
    bool closeRequested_ = false;  // a close came while a command ran
};
