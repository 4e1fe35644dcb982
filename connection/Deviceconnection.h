#pragma once
// The device connection: the open port and every sequence the Qt program and zantir-cli
// run on it (open, DTR, dial, identification and device check, reads, writes and the
// identification after them, rate search, hang-up), written once.
//
// The link engine lets GUI messages run while it waits, so a close, a menu command or a
// timer may arrive inside an operation. The connection knows whether one runs: the shell
// asks Busy() before it starts anything, and an operation that is entered while another
// runs is refused here as well. A close during an operation is RequestStop(): the
// operation ends at its next wait and every operation after it is refused, except the
// hang-up of a call that is up.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/Configdiff.h"
#include "config/Configimage.h"
#include "config/Tablestate.h"
#include "connection/Connectmodem.h"
#include "connection/Netsettings.h"
#include "connection/Settings.h"
#include "link/Comportfunctions.h"
#include "link/Conffun.h"
#include "link/Exchangetrace.h"
#include "link/Plcbox.h"
#include "link/Screen.h"

// Texts that the programs show about the device's configuration.
inline constexpr char NotReadText[] = "Параметры конфигурации не прочитаны";
inline constexpr char NothingWrittenText[] = "Запись таблиц не выполняется.";
inline constexpr char NothingChangedText[] = "Нет измененных данных";
inline constexpr char OutOfRangeText[] = "Параметр вне допустимого диапазона";
// A port whose line has hung up (the adapter pulled, the far side gone) is let go.
inline constexpr char LinkLostText[] = "Связь потеряна: порт отключен или линия оборвана";
inline constexpr char ReconnectQuestionText[] = "Связаться заново?";
inline constexpr char BackupFailedText[] = "Резервная копия конфигурации не сохранена";
inline constexpr char VerifyFailedText[] = "Проверка записи не пройдена: устройство хранит другое";
inline constexpr char VerifyNotReadText[] = "Записанное не проверено: таблицы не прочитаны";
inline constexpr char WrittenVerifiedText[] = "Записано и проверено";
inline constexpr char HistoryReadEvent[] = "чтение";
inline constexpr char HistoryBeforeWriteEvent[] = "перед записью";
inline constexpr char HistoryWriteEvent[] = "запись";
inline constexpr char HistoryNotKeptText[] = "Конфигурация не сохранена в истории: ";

inline constexpr int DtrSettleMs = 300;   // after DTR rises, before anything is sent
inline constexpr int AfterWriteMs = 500;  // after the tables are written, before the ident

// What the check after a write found.
enum class WriteCheckResult {
    NotChecked,  // no check: nothing written, the write failed, or none was asked for
    Verified,    // the device holds what was written
    Mismatch,    // the device holds something else: Differences
    NotRead,     // the tables could not be read back
};
struct WriteCheck {
    WriteCheckResult Result = WriteCheckResult::NotChecked;
    // Each field written that the device holds otherwise: A what was written, B what
    // the device holds.
    std::vector<ConfigDifference> Differences;
    // The history file of the configuration before the write; empty when none was kept.
    std::string BackupFile;
};

// "Коммуникационный порт COMn недоступен", or the same of a port given by its path.
std::string PortUnavailableText(int portNumber, const std::string& path = {});
// "Узел host:port недоступен", or of a call-in "Порт TCP n недоступен".
std::string NetworkUnavailableText(const NetworkSettings& network);
// The status bar while a connection to the server is awaited.
std::string ConnectingText(const NetworkSettings& network);
// The status bar while a call-in waits for the terminal.
std::string CallInWaitText(uint16_t port);
inline constexpr std::chrono::milliseconds NetworkConnectTimeout{5000};
// "Разрушена таблица № n", of the status bar at connection.
std::string DestroyedTablePanelText(int table);
// " COM1,   нет связи": status panel 0 once the line is lost.
std::string NoLinkPanelText(int portNumber);

class DeviceConnection {
public:
    DeviceConnection(LinkEngine& engine, ConfigImage& image, ConnectionSettings& settings,
                     Screen& ui);
    // Hangs up a call that is up and closes the port.
    ~DeviceConnection();
    DeviceConnection(const DeviceConnection&) = delete;
    DeviceConnection& operator=(const DeviceConnection&) = delete;

    // A command of the shell: while one is held, Busy() is true. Commands do not nest;
    // the shell holds one only when Busy() was false.
    class Command {
    public:
        explicit Command(DeviceConnection& device) : device_(device) { ++device_.commands_; }
        ~Command() { --device_.commands_; }
        Command(const Command&) = delete;
        Command& operator=(const Command&) = delete;

    private:
        DeviceConnection& device_;
    };

    // True while a command is held or a device operation runs.
    bool Busy() const { return commands_ > 0 || running_; }
    // The program is closing: the operation under way ends at its next wait (an exchange
    // with result 19, a modem wait as a failed reply) and no other starts.
    void RequestStop();
    bool StopRequested() const { return engine_.StopRequested; }
    // The operator ends the operation under way (the wait dialog's Прервать): it ends at
    // its next wait as at a close, with result 19, and the program goes on.
    void AbortOperation();
    // The last operation was ended by AbortOperation.
    bool Aborted() const { return aborted_; }

    Transport* Port() const { return port_.get(); }
    bool CallUp() const { return callUp_; }
    // The line hung up under an operation and its port was let go; the next Open clears
    // it. Said on the status bar when it happens.
    bool LinkLost() const { return linkLost_; }
    // Hears of a lost line once, when it is found (the main window's journal).
    std::function<void()> OnLinkLost;
    // Open asks the driver for its RS-485 mode (the UART switches direction itself).
    bool Rs485 = false;
    // Where Open reaches the device when the settings' link type is LinkTypeNetwork.
    NetworkSettings Network;
    // Every port opened from now on tells this trace what passes (the exchange monitor,
    // a trace file); none: nothing is traced.
    ExchangeTrace* Trace = nullptr;
    // Where each whole read, and each write of changes before it starts, keeps the
    // device's configuration (CONFIG/history); empty: nowhere.
    std::string HistoryFolder;

    // What the table operations work on.
    TableAccess& Access() { return access_; }

    // Closes a port still open, then opens the port of settings (or path, when given)
    // with the line settings and queues and hands the link values to the engine. False
    // when the port cannot be had or a link value is out of its range, after saying so.
    bool Open(const ConnectionSettings& settings, const std::string& path = {});
    // The same with a port opened elsewhere: a test double, or a port that wraps another.
    bool Open(const ConnectionSettings& settings, TransportHandle port);
    // With the port open: DTR and its pause, the call over a telephone link (callUp runs
    // once it is up), the identification read and the check that the device is served.
    // On any failure the call is hung up and the port closed. A destroyed table is shown
    // on the status bar.
    bool Connect(const std::function<void()>& callUp = {});
    // Where the device is reached: COMn or the port's path, the number dialled, or the
    // network address.
    std::string PlaceText() const;
    // Status panel 0 of an open link: " COM1,   9600 бит/с", or the path or the network
    // address in place of COMn.
    std::string PanelText() const;
    // Hangs up a call that is up; the port stays open.
    void HangUp();
    // Hangs up a call that is up and closes the port.
    void Close();

    // Table 0 into the image.
    bool ReadIdent();
    // Table 24: which tables the device reports destroyed.
    bool ReadTableState(TableStateSet& set);
    // The whole configuration into the image; a failure is told.
    bool ReadConfiguration();
    // The tables the last ReadConfiguration did not read; empty after a whole read.
    const std::vector<int>& UnreadTables() const { return unread_; }
    // The rate masks of table 1; when they cannot be read every rate counts as available.
    // False only when the program is closing.
    bool ReadRateMask();
    // Writes what the edit changed against snapshot; "nothing changed" is told, and so is
    // what became of each request when the write did not complete. Before the first
    // request the snapshot, the configuration just read, is kept in the history; when
    // that fails nothing is written. With verify, the pause, the identification and a
    // read of the tables follow, and a field the device holds otherwise fails the write.
    WriteOutcome WriteChanges(const ConfigImage& snapshot, bool verify = true);
    // The marked tables from the image (of table 3 no more than linkFields fields), the
    // pause, and the identification after them; an incomplete write is told as above.
    // With verify, the written fields are read back and compared as above.
    bool WriteTables(const std::array<uint8_t, TableCount>& marks,
                     uint8_t linkFields = LinkTable.FieldCount, bool verify = true);
    // What became of each request of the last WriteChanges or WriteTables.
    const WriteAccount& LastWrite() const { return lastWrite_; }
    // What the check after the last write found.
    const WriteCheck& LastCheck() const { return lastCheck_; }
    // The configuration as the device holds it, kept in the history (after a whole read,
    // after a checked write); false when it could not be kept, said on the status bar.
    bool KeepInHistory(const char* event);
    // Before a configuration file's tables are written: tells that the file was made for
    // another software version than the device's, and what happens to the fields only
    // one of them has.
    void TellFileVersion(uint8_t fileVersion);
    // The table the last identification calls destroyed, 0 for none.
    int DestroyedTable() const { return image_.Bytes[IdentDestroyedTable]; }
    // Tells a destroyed table after a write: "Разрушена таблица n".
    void TellDestroyedTable();
    // The rate search over the open port; its outcome is told. The rate found, or 0.
    // trying returns false to end the search at the next rate: nothing is told then.
    int32_t SearchRate(const std::function<bool(int32_t)>& trying);

private:
    class Operation;
    ModemLine Line();
    bool Dial();
    void ClosePort();
    // Open over the network: connects to the server, or waits for the terminal's call.
    bool OpenNetwork(const ConnectionSettings& settings);
    // False when a link value is out of its range, after saying which.
    bool AcceptableSettings(const ConnectionSettings& settings);
    // Hands the link values of settings to the engine, with the port just opened.
    void TakeSettings(const ConnectionSettings& settings);
    void Pause(int ms);
    // The line has hung up: the port goes, and the status bar says so.
    void LoseLink();
    // Tells what became of a write that did not complete.
    void TellWrite();
    // Keeps the configuration of image in the history; false with error.
    bool Keep(const ConfigImage& image, const char* event, const std::string& tables,
              std::string& file, std::string& error);
    // Reads back what the last write confirmed and compares it with meant.
    void CheckWrite(const ConfigImage& meant);
    // Waits, letting GUI messages run, until an answer to a request ended by Прервать
    // can no longer arrive.
    void LetLateAnswerPass();
    // The program is closing (not an operator's Прервать).
    bool Closing() const { return StopRequested() && !aborting_; }

    LinkEngine& engine_;
    ConfigImage& image_;
    ConnectionSettings& settings_;
    Screen& ui_;
    TableAccess access_;
    TransportHandle port_;
    std::string portPath_;  // the port's path when Open was given one
    bool callUp_ = false;
    bool linkLost_ = false;
    std::vector<int> unread_;
    WriteAccount lastWrite_;
    WriteCheck lastCheck_;
    bool aborting_ = false;
    bool aborted_ = false;
    LinkTime quietUntil_{};  // after Прервать: when a late answer can no longer come
    bool running_ = false;
    int commands_ = 0;
};
