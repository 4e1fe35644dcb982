#pragma once
// The main window: owner of the link engine, the configuration image, the port and the
// connection settings for the whole run; the start and connection sequence, the
// telephone call and the menus.
#include <QDateTime>
#include <QMainWindow>
#include <QTimer>
#include <array>

#include "app/Qtscreen.h"
#include "config/Configimage.h"
#include "config/Configrecord.h"
#include "config/Tablestate.h"
#include "connection/Settings.h"
#include "link/Comportfunctions.h"
#include "link/Conffun.h"
#include "link/Plcbox.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
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

    // Configuration files through the file dialogs; both tell the operator the outcome.
    bool OpenConfigFile(ConfigRecord& record);
    void SaveConfigFile(const ConfigRecord& record, bool noQuestion);

    LinkEngine Engine{0};
    ConfigImage Image;
    ConnectionSettings Settings;
    ComPortHandle Port;  // the engine holds a copy
    QtScreen Ui;
    TableAccess Access{Engine, Image, Settings, Ui};
    bool DeviceAccepted = false;
    bool ModemConnected = false;
    QDateTime CallStart;

    std::array<QLabel*, 3> StatusBar1{};
    QFrame* pnmodem;
    QLabel* Label1;
    QLabel* pntime;
    QPushButton* BitBtn3;
    QTimer TimerStart, TimerMessage, TimerMoney;

    QMenu* NWorkPar;
    QAction *Nident, *N2, *N1, *N3;
    QAction* Nconnect;
    QMenu* NConfData;
    QAction *NNewCnf, *NEditCnf;
    QMenu* Nvers;
    QAction* Nabout;
    QAction* Nexit;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void BuildMenus();
    void BuildStatusBar();
    void BuildModemPanel();
    void HideMenus();
    void ClosePort();
    bool StartPhoneCall();
    void HangUp();
    void FormClose();
    void FitStatusPanels();
    bool ReadConfiguration();
    bool EditRecordForDevice(ConfigRecord& record);
    void WriteTablesWithWait(const TableStateSet& set);

    bool closed_ = false;
};
