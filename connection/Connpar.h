#pragma once
// The connection dialog: link type, port, rate, link time-outs and counts, for a
// telephone link the modem command, waits and number, and for a network link the address
// and TCP port. It edits working copies of the settings, and on a validated connect opens
// the port, sets up the LinkEngine and copies the working copies back. It can also search
// for the rate at which the device answers.
#include <QDialog>
#include <cstddef>

#include <vector>

#include "connection/Netsettings.h"
#include "connection/Settings.h"
#include "link/Comportfunctions.h"
#include "link/Portlist.h"

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class DeviceConnection;
class Screen;

class TFormConnPar : public QDialog {
    Q_OBJECT
public:
    // settings, network: the program's ConnectionSettings and NetworkSettings, changed only
    // on a validated connect; device: the program's connection, whose port the dialog
    // opens; mainScreen: panel 0 shows the connection text.
    TFormConnPar(ConnectionSettings& settings, NetworkSettings& network, DeviceConnection& device,
                 Screen& mainScreen, QWidget* parent = nullptr);

    bool ConnectRequested = false;
    // Where the port list looks for the machine's serial ports, and for whom.
    PortRoots Roots;
    PortUser User = CurrentPortUser();

    QComboBox* ComboBox4;  // link type
    QComboBox* ComboBox1;  // port: COM1..COM8, then the ports found that none reaches
    QComboBox* ComboBox2;  // baud rate
    QComboBox* ComboBox3;  // exchange attempts
    QLineEdit* Edit1;      // first-byte time-out, s
    QLineEdit* Edit2;      // next-byte time-out, ms
    QLineEdit* Edit3;      // request preambles
    QLineEdit* Edit4;      // RTS pause, ms
    QLineEdit* Edit5;      // modem command
    QLineEdit* Edit6;      // connect wait, s
    QLineEdit* Edit7;      // country code
    QLineEdit* Edit8;      // city code
    QLineEdit* Edit9;      // telephone number
    QLineEdit* Edit10;     // connect attempts
    QLineEdit* Edit11;     // network address: host name or IP address
    QLineEdit* Edit12;     // TCP port
    QCheckBox* CheckBox1;  // RFC 2217: the program sets the server's rate and lines
    QCheckBox* CheckBox2;  // call-in: the program listens on the TCP port
    QLabel* Label1;        // Порт подключения
    QLabel* Label8;        // the RTS pause's caption
    QLabel* Label9;
    QLabel* Label11;
    QLabel* Label12;
    QLabel* Label13;
    QLabel* Label20;
    QLabel* Label21;
    QLabel* Label24;
    QLabel* Label25;
    QLabel* Label26;
    QLabel* Label27;       // Адрес
    QLabel* Label28;       // Порт TCP
    QLabel* Label29;       // its range
    QLabel* Label30;       // a network link has no RTS pause: the converter drives the line
    QPushButton* BitBtn1;  // Связаться
    QPushButton* BitBtn4;  // Определение скорости обмена
    QPushButton* BitBtn2;  // Отменить, also Escape
    QStatusBar* StatusBar1;

    // What the dialog would copy into the settings on a connect.
    const ConnectionSettings& WorkingCopy() const { return work_; }
    const NetworkSettings& NetworkWorkingCopy() const { return workNetwork_; }

    // Check and store the telephone-link fields; false after telling the operator why.
    bool ValidateModemFields();
    // Check and store the network-link fields; false after telling the operator why.
    bool ValidateNetworkFields();
    // Check and store the common fields, open the port and set up the link.
    bool ValidateLinkFields();
    // Tries every rate but 300 bit/s with the identification read until one answers.
    void BaudSearch();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void ComboBox4Click();
    void ComboBox1Click();
    void ComboBox2Click();
    static bool EditIntKeyPress(const QKeyEvent& key);
    void BitBtn1Click();
    void BitBtn2Click();

    void ApplyLinkType();
    // The search needs a port whose rate the program sets: not over a modem, nor over a
    // network link whose server keeps its own rate.
    bool SearchAllowed() const;
    // Status panel 0 of the main window, for the link chosen.
    void ShowConnectionText();
    // COM1..COM8 with where each leads, then the unbound ports found; the entry of
    // PortNumber selected.
    void FillPortList();
    // Binds the found port of list entry index to a free COM number and selects it.
    void BindFoundPort(int index);
    bool StoreText(QLineEdit* edit, char* field, size_t width);
    // Takes the edit's number into the working copy when it is within the field's limits;
    // out of them the message is rangeFirst (the caption when null) and rangeSecond.
    bool CheckedNumber(const QLineEdit* edit, LinkValue field, const char* rangeFirst,
                       const char* rangeSecond);
    void SetButtonsEnabled(bool enabled);

    ConnectionSettings& settings_;
    NetworkSettings& network_;
    DeviceConnection& device_;
    Screen& mainScreen_;
    ConnectionSettings work_;
    NetworkSettings workNetwork_;
    QWidget* rtsUnit_;  // "мс" beside the RTS pause
    std::vector<FoundPort> found_;
    std::vector<const FoundPort*> unbound_;  // into found_, from list entry ComPortCount + 1
    bool searching_ = false;
    bool closePending_ = false;  // the close box was used while the search ran
};
