#include "cli/Commands.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/Report.h"
#include "config/Baudrates.h"
#include "config/Cnffile.h"
#include "config/Codepage.h"
#include "config/Configrecord.h"
#include "config/Identtext.h"
#include "config/Tablestate.h"
#include "connection/Connectmodem.h"
#include "link/Conffun.h"
#include "link/Plcbox.h"

namespace {

constexpr int DtrSettleMs = 300;
constexpr int AfterWriteMs = 500;

// The port as the line discipline needs it: 8N1, queues of 1000 bytes, DTR up, RTS down.
constexpr int PortByteSize = 8;
constexpr int PortParity = 0;
constexpr int PortStopBits = 0;
constexpr uint32_t PortQueue = 1000;

// A device answers the identification read within milliseconds; a rate that stays
// silent for 300 ms is the wrong one. The search starts at 600 bit/s.

constexpr char DeviceWord[] = "device";

void Pause(LinkEngine& engine, int ms) {
    engine.Clock->SleepUntil(engine.Clock->Now() + std::chrono::milliseconds(ms));
}

void SayNotice(Terminal& ui, const FileNotice& notice) {
    ui.ShowMessage(notice.Error ? MessageError : MessageNotice, notice.Line1, notice.Line2);
}

// One device on the line for the life of a command: the port, the engine, the image
// and, over a telephone line, the call, which ends with the session.
class Session {
public:
    Session(const CliOptions& options, Terminal& ui)
        : settings_(options.Settings), ui_(ui), path_(options.PortPath) {
        engine_.Ui = &ui_;
        engine_.StatusPanel = StatusExchangePanel;
    }
    ~Session() {
        if (modemConnected_) {
            ModemLine line{port_.get(), ui_, *engine_.Clock};
            ModemHangUp(line);
        }
        engine_.Port = nullptr;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    TableAccess Access() { return {engine_, image_, settings_, ui_}; }
    LinkEngine& Engine() { return engine_; }
    ConfigImage& Image() { return image_; }
    const ConnectionSettings& Settings() const { return settings_; }

    // Opens the port with the link's settings; false when it cannot be had.
    bool Open() {
        const int32_t rate = settings_.BaudRate;
        if (path_.empty()) {
            port_ = OpenComPort(settings_.PortNumber, rate, PortByteSize, PortParity, PortStopBits,
                                PortQueue, PortQueue, true, false);
        } else {
            LineSettings line;
            line.BaudRate = rate;
            port_ = OpenComPortAt(path_, line);
        }
        if (!port_) {
            char text[128];
            std::snprintf(text, sizeof text, "Коммуникационный порт COM%d недоступен",
                          settings_.PortNumber);
            ui_.ShowMessage(MessageError, path_.empty() ? text : "Порт " + path_ + " недоступен",
                            "");
            return false;
        }
        engine_.Port = port_.get();
        engine_.BaudRate = rate;
        engine_.PreambleCount = settings_.RequestPreambles;
        engine_.NextByteTimeout = settings_.NextByteTimeout;
        engine_.FirstByteTimeout = settings_.FirstByteTimeout * 1000;
        engine_.RtsPause = settings_.RtsPause;
        engine_.Attempts = settings_.ExchangeAttempts;
        return true;
    }

    // The main window's connection: port, DTR, the call when by telephone, then the
    // identification, of which only type 8 with software version 3 to 6 is served.
    int Connect() {
        if (!Open()) {
            return ExitDevice;
        }
        ui_.SetPanelText(ConnectionPanel, PortText());
        port_->SetDtr(true);
        Pause(engine_, DtrSettleMs);
        if (settings_.LinkType == 1 && !Dial()) {
            return ExitDevice;
        }
        TableAccess access = Access();
        if (!ReadIdent(access)) {
            return ExitDevice;
        }
        std::string first, second;
        if (!DeviceServed(image_.Bytes.data() + IdentOffset, first, second)) {
            ui_.ShowMessage(MessageNotice, first, second);
            return ExitDevice;
        }
        const int destroyed = image_.Bytes[IdentDestroyedTable];
        if (destroyed != 0) {
            ui_.SetPanelText(OperationPanel, "Разрушена таблица № " + std::to_string(destroyed));
        }
        return ExitOk;
    }

    // The whole configuration into a record; false has been said.
    bool ReadConfiguration(ConfigRecord& record) {
        TableAccess access = Access();
        if (!ReadAllTables(access)) {
            ui_.ShowMessage(MessageExchangeResult, "Параметры конфигурации не прочитаны", "");
            return false;
        }
        record = NewConfigRecord(image_.SoftwareVersion());
        LoadEditorRecord(image_, record);
        return true;
    }

private:
    std::string PortText() const {
        if (path_.empty()) {
            return ConnectionText(settings_);
        }
        const int32_t rate = settings_.BaudRate;
        return " " + path_ + ",   " + std::to_string(rate) + " бит/с";
    }

    bool Dial() {
        ModemLine line{port_.get(), ui_, *engine_.Clock};
        const int32_t attempts = settings_.ConnectAttempts;
        const int32_t wait = settings_.ConnectWait;
        const int result = ModemDial(line, DialNumberText(settings_),
                                     FieldText(settings_.ModemCommand, ModemCommandLength),
                                     OperationPanel, attempts, wait);
        if (result != ModemOk) {
            const bool known = result >= 0 && result < static_cast<int>(ModemResultTexts.size());
            ui_.ShowMessage(MessageNotice, known ? ModemResultTexts[result] : "", "");
            return false;
        }
        modemConnected_ = true;
        return true;
    }

    ConnectionSettings settings_;
    Terminal& ui_;
    std::string path_;
    LinkEngine engine_{0};
    ConfigImage image_;
    ComPortHandle port_;
    bool modemConnected_ = false;
};

bool ReadFile(const std::string& path, ConfigRecord& record, Terminal& ui) {
    FileNotice notice;
    if (!ReadConfigFile(path, record, notice)) {
        SayNotice(ui, notice);
        return false;
    }
    return true;
}

int Ident(const CliOptions& options, Terminal& ui) {
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    std::fputs(IdentReport(session.Image().Bytes.data() + IdentOffset, options.Json).c_str(),
               stdout);
    return ExitOk;
}

int State(const CliOptions& options, Terminal& ui) {
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    TableAccess access = session.Access();
    if (!ExchangeTable(access, ReadRequest(RestoreTable.Number, 0, RestoreTable.FieldCount))) {
        return ExitDevice;
    }
    const TableStateSet set =
        MakeTableStateSet(&session.Engine().ResponseBuffer[ResponseValuesOffset]);
    std::fputs(StateReport(set.RestoreRequired, options.Json).c_str(), stdout);
    return ExitOk;
}

// A directory takes the name a save proposes for the device's software version.
std::string SavePath(const std::string& given, int softwareVersion) {
    std::error_code ignored;
    if (std::filesystem::is_directory(given, ignored)) {
        return DefaultConfigFileName(given, softwareVersion);
    }
    return given;
}

int Read(const CliOptions& options, Terminal& ui) {
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    ConfigRecord record;
    if (!session.ReadConfiguration(record)) {
        return ExitDevice;
    }
    const std::string path = SavePath(options.Arguments[0], record.SoftwareVersion());
    FileNotice notice;
    const bool written = WriteConfigFile(path, record, notice);
    SayNotice(ui, notice);
    if (!written) {
        return ExitFile;
    }
    std::printf("%s\n", path.c_str());
    return ExitOk;
}

int Write(const CliOptions& options, Terminal& ui) {
    ConfigRecord record;
    if (!ReadFile(options.Arguments[0], record, ui)) {
        return ExitFile;
    }
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    StoreEditorRecord(record, session.Image());
    TableAccess access = session.Access();
    if (!WriteSelectedTables(access, options.Tables)) {
        return ExitDevice;
    }
    Pause(session.Engine(), AfterWriteMs);
    if (!ReadIdent(access)) {
        return ExitDevice;
    }
    const int destroyed = session.Image().Bytes[IdentDestroyedTable];
    if (destroyed != 0) {
        ui.ShowMessage(MessageNotice, "Разрушена таблица " + std::to_string(destroyed), "");
        // A table just written that the device still calls destroyed was not restored.
        if (options.Tables[static_cast<size_t>(destroyed) % TableCount] != 0) {
            return ExitDevice;
        }
    }
    return ExitOk;
}

int WriteChanged(const CliOptions& options, Terminal& ui) {
    ConfigRecord record;
    if (!ReadFile(options.Arguments[0], record, ui)) {
        return ExitFile;
    }
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    ConfigRecord device;
    if (!session.ReadConfiguration(device)) {
        return ExitDevice;
    }
    const ConfigImage snapshot = session.Image();
    StoreEditorRecord(record, session.Image());
    TableAccess access = session.Access();
    switch (WriteDifferences(access, snapshot)) {
        case WriteOutcome::NothingChanged:
            ui.ShowMessage(MessageNotice, "Запись таблиц не выполняется.", "Нет измененных данных");
            return ExitOk;
        case WriteOutcome::Written:
            return ExitOk;
        case WriteOutcome::Failed:
            break;
    }
    return ExitDevice;
}

int Show(const CliOptions& options, Terminal& ui) {
    ConfigRecord record;
    if (!ReadFile(options.Arguments[0], record, ui)) {
        return ExitFile;
    }
    std::fputs(ShowReport(record, options.Json).c_str(), stdout);
    return ExitOk;
}

int Diff(const CliOptions& options, Terminal& ui) {
    std::array<ConfigRecord, 2> records;
    // Files first: a bad file is told before the device is bothered.
    for (size_t i = 0; i < records.size(); ++i) {
        if (options.Arguments[i] != DeviceWord && !ReadFile(options.Arguments[i], records[i], ui)) {
            return ExitFile;
        }
    }
    if (options.Arguments[0] == DeviceWord || options.Arguments[1] == DeviceWord) {
        Session session(options, ui);
        if (const int status = session.Connect(); status != ExitOk) {
            return status;
        }
        ConfigRecord device;
        if (!session.ReadConfiguration(device)) {
            return ExitDevice;
        }
        for (size_t i = 0; i < records.size(); ++i) {
            if (options.Arguments[i] == DeviceWord) {
                records[i] = device;
            }
        }
    }
    std::fputs(DiffReport(CompareConfigs(records[0], records[1]), options.Json).c_str(), stdout);
    return ExitOk;
}

// The connection dialog's search: the identification read at every rate from 600 bit/s
// up, once each, with short time-outs.
int Search(const CliOptions& options, Terminal& ui) {
    if (options.Settings.LinkType != 0) {
        ui.Say("search: not over a telephone line (use --direct)");
        return ExitUsage;
    }
    Session session(options, ui);
    if (!session.Open()) {
        return ExitDevice;
    }
    const int32_t rate = FindDeviceRate(
        session.Engine(), [&ui](int32_t trying) { ui.Say(SearchStatusText(trying)); });
    if (rate > 0) {
        ui.ShowMessage(MessageExchangeResult, SearchFoundText, SearchFoundRateText(rate));
        std::printf("%d\n", rate);
        return ExitOk;
    }
    ui.ShowMessage(MessageExchangeResult, SearchFailedText, "");
    return ExitDevice;
}

}  // namespace

int RunCommand(const CliOptions& options, Terminal& ui) {
    using Command = int (*)(const CliOptions&, Terminal&);
    static const std::pair<const char*, Command> commands[] = {
        {"ident", Ident},
        {"state", State},
        {"read", Read},
        {"write", Write},
        {"write-changed", WriteChanged},
        {"show", Show},
        {"diff", Diff},
        {"search", Search},
    };
    for (const auto& [name, run] : commands) {
        if (options.Command == name) {
            return run(options, ui);
        }
    }
    return ExitUsage;
}
