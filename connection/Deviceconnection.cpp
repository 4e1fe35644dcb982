#include "connection/Deviceconnection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "config/Baudrates.h"
#include "config/Codepage.h"
#include "config/Configrecord.h"
#include "config/History.h"
#include "config/Identtext.h"
#include "link/Nettransport.h"

namespace {

// The port as the line discipline needs it: 8N1, queues of 1000 bytes, DTR up, RTS down.
LineSettings PortLine(int32_t rate) {
    LineSettings line;
    line.BaudRate = rate;
    line.ByteSize = 8;
    line.Parity = 0;
    line.StopBits = 0;
    line.InQueue = 1000;
    line.OutQueue = 1000;
    line.Dtr = true;
    line.Rts = false;
    return line;
}

// After Прервать the device may still answer the request that was ended, for as long as
// an answer may take to begin; the next request waits that long, so that its purge
// drops the late answer instead of taking it for its own.
LinkDuration LateAnswerWindow(const LinkEngine& engine) {
    constexpr int32_t LongestWaitMs = 3000;
    return std::chrono::milliseconds(std::min(engine.FirstByteTimeout, LongestWaitMs));
}

}  // namespace

std::string PortUnavailableText(int portNumber, const std::string& path) {
    if (!path.empty()) {
        return "Порт " + path + " недоступен";
    }
    return "Коммуникационный порт COM" + std::to_string(portNumber) + " недоступен";
}

std::string NetworkUnavailableText(const NetworkSettings& network) {
    return (network.CallIn ? "Порт TCP " + std::to_string(network.Port)
                           : "Узел " + NetworkAddressText(network)) +
           " недоступен";
}

std::string ConnectingText(const NetworkSettings& network) {
    return "Соединение с " + NetworkAddressText(network) + " (Esc - отмена)";
}

std::string CallInWaitText(uint16_t port) {
    return "Ожидание вызова терминала на порту TCP " + std::to_string(port) + " (Esc - отмена)";
}

std::string DestroyedTablePanelText(int table) {
    return "Разрушена таблица № " + std::to_string(table);
}

std::string NoLinkPanelText(int portNumber) {
    return " COM" + std::to_string(portNumber) + ",   нет связи";
}

// One device operation: refused when another runs or the program is closing.
class DeviceConnection::Operation {
public:
    explicit Operation(DeviceConnection& device)
        : device_(device), entered_(!device.running_ && !device.StopRequested()) {
        if (entered_) {
            device_.running_ = true;
            device_.aborted_ = false;
            device_.LetLateAnswerPass();
        }
    }
    ~Operation() {
        if (entered_) {
            device_.running_ = false;
            // Прервать ends this operation only; a close under it stands.
            if (device_.aborting_) {
                device_.aborting_ = false;
                device_.aborted_ = true;
                device_.engine_.StopRequested = false;
                device_.quietUntil_ =
                    device_.engine_.Clock->Now() + LateAnswerWindow(device_.engine_);
            }
            // A pulled adapter's handle is let go, so that it comes back under its old name
            // and the next connect opens it afresh.
            if (device_.port_ && device_.port_->LineLost()) {
                device_.LoseLink();
            }
        }
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    explicit operator bool() const { return entered_; }

private:
    DeviceConnection& device_;
    bool entered_;
};

DeviceConnection::DeviceConnection(LinkEngine& engine, ConfigImage& image,
                                   ConnectionSettings& settings, Screen& ui)
    : engine_(engine),
      image_(image),
      settings_(settings),
      ui_(ui),
      access_{engine, image, settings, ui} {}

DeviceConnection::~DeviceConnection() {
    Close();
}

void DeviceConnection::RequestStop() {
    engine_.StopRequested = true;
    aborting_ = false;
}

void DeviceConnection::LetLateAnswerPass() {
    LinkClock& clock = *engine_.Clock;
    while (clock.Now() < quietUntil_ && !StopRequested()) {
        ui_.ProcessMessages();
        clock.SleepUntil(std::min(quietUntil_, clock.Now() + std::chrono::milliseconds(10)));
    }
    quietUntil_ = {};
}

void DeviceConnection::AbortOperation() {
    if (running_ && !engine_.StopRequested) {
        engine_.StopRequested = true;
        aborting_ = true;
    }
}

ModemLine DeviceConnection::Line() {
    return {port_.get(), ui_, *engine_.Clock, &engine_.StopRequested, engine_.MaxPollWait};
}

void DeviceConnection::Pause(int ms) {
    engine_.Clock->SleepUntil(engine_.Clock->Now() + std::chrono::milliseconds(ms));
}

void DeviceConnection::LoseLink() {
    ClosePort();
    linkLost_ = true;
    ui_.SetPanelText(ConnectionPanel, settings_.LinkType == LinkTypeNetwork
                                          ? " " + PlaceText() + ",   нет связи"
                                          : NoLinkPanelText(settings_.PortNumber));
    ui_.SetPanelText(OperationPanel, LinkLostText);
    if (OnLinkLost) {
        OnLinkLost();
    }
}

void DeviceConnection::ClosePort() {
    engine_.Port = nullptr;
    port_.reset();
    callUp_ = false;
}

bool DeviceConnection::AcceptableSettings(const ConnectionSettings& settings) {
    const LinkValueLimit* bad = ValueOutOfRange(settings);
    if (bad) {
        ui_.ShowMessage(MessageInputError, bad->Caption, OutOfRangeText);
    }
    return !bad;
}

bool DeviceConnection::Open(const ConnectionSettings& settings, const std::string& path) {
    Operation operation(*this);
    if (!operation || !AcceptableSettings(settings)) {
        return false;
    }
    // A handle still open would hold the line locked against the new open.
    ClosePort();
    linkLost_ = false;
    portPath_ = path;
    if (settings.LinkType == LinkTypeNetwork) {
        return OpenNetwork(settings);
    }
    const int32_t rate = settings.BaudRate;
    LineSettings line = PortLine(rate);
    line.Rs485 = Rs485;
    std::string failure;
    port_ = OpenComPortAt(path.empty() ? ComPortPath(settings.PortNumber) : path, line, &failure);
    if (!port_) {
        ui_.ShowMessage(MessageError, PortUnavailableText(settings.PortNumber, path), failure);
        return false;
    }
    TakeSettings(settings);
    return true;
}

bool DeviceConnection::OpenNetwork(const ConnectionSettings& settings) {
    std::string failure, notice;
    // The waits end with Escape, a close, or Прервать; messages run meanwhile.
    bool cancelled = false;
    const auto keepWaiting = [this, &cancelled] {
        ui_.ProcessMessages();
        cancelled = cancelled || ui_.EscapePressed() || StopRequested();
        return !cancelled;
    };
    ui_.EscapePressed();  // a press from before the wait is forgotten
    if (Network.CallIn) {
        ui_.SetPanelText(OperationPanel, CallInWaitText(Network.Port));
        port_ = ListenTcp(Network.Port, keepWaiting, &failure);
    } else {
        ui_.SetPanelText(OperationPanel, ConnectingText(Network));
        const NetTarget target{Network.Host, Network.Port,
                               Network.Rfc2217 ? NetProtocol::Rfc2217 : NetProtocol::Raw};
        port_ = ConnectTcp(target, settings.BaudRate, NetworkConnectTimeout, &failure, &notice,
                           keepWaiting);
    }
    ui_.SetPanelText(OperationPanel, "");
    if (!port_) {
        if (!cancelled) {
            ui_.ShowMessage(MessageError, NetworkUnavailableText(Network), failure);
        }
        return false;
    }
    if (!notice.empty()) {
        ui_.ShowMessage(MessageNotice, NetworkAddressText(Network), notice);
    }
    TakeSettings(settings);
    return true;
}

std::string DeviceConnection::PlaceText() const {
    const bool serial = settings_.LinkType != 1 && settings_.LinkType != LinkTypeNetwork;
    return serial && !portPath_.empty() ? portPath_ : LinkPlaceText(settings_, Network);
}

std::string DeviceConnection::PanelText() const {
    if (settings_.LinkType == LinkTypeNetwork || portPath_.empty()) {
        return LinkConnectionText(settings_, Network);
    }
    const int32_t rate = settings_.BaudRate;
    return " " + portPath_ + ",   " + std::to_string(rate) + " бит/с";
}

bool DeviceConnection::Open(const ConnectionSettings& settings, TransportHandle port) {
    Operation operation(*this);
    if (!operation || !port || !AcceptableSettings(settings)) {
        return false;
    }
    ClosePort();
    linkLost_ = false;
    port_ = std::move(port);
    TakeSettings(settings);
    return true;
}

void DeviceConnection::TakeSettings(const ConnectionSettings& settings) {
    const int32_t rate = settings.BaudRate;
    if (Trace) {
        port_ = TracedPort(std::move(port_), *Trace);
    }
    engine_.Trace = Trace;
    engine_.Port = port_.get();
    engine_.BaudRate = rate;
    engine_.PreambleCount = settings.RequestPreambles;
    engine_.NextByteTimeout = settings.NextByteTimeout;
    engine_.FirstByteTimeout = settings.FirstByteTimeout * 1000;
    engine_.RtsPause = settings.RtsPause;
    engine_.Attempts = settings.ExchangeAttempts;
}

bool DeviceConnection::Dial() {
    ModemLine line = Line();
    const int32_t attempts = settings_.ConnectAttempts;
    const int32_t wait = settings_.ConnectWait;
    // The modem takes the texts as the settings hold them, in Windows-1251, not as shown.
    std::string number, setup;
    ToCp1251(DialNumberText(settings_), number);
    ToCp1251(FieldText(settings_.ModemCommand, ModemCommandLength), setup);
    const int result = ModemDial(line, number, setup, OperationPanel, attempts, wait);
    if (result != ModemOk) {
        if (!StopRequested()) {
            const bool known = result >= 0 && result < static_cast<int>(ModemResultTexts.size());
            ui_.ShowMessage(MessageNotice, known ? ModemResultTexts[result] : "", "");
        }
        return false;
    }
    callUp_ = true;
    return true;
}

bool DeviceConnection::Connect(const std::function<void()>& callUp) {
    bool accepted = false;
    {
        Operation operation(*this);
        if (!operation || !port_) {
            return false;
        }
        if (const LinkStatus dtr = port_->SetDtr(true); !dtr) {
            ui_.SetPanelText(OperationPanel, LinkFaultPrefix + dtr.Cause());
            ClosePort();
            return false;
        }
        Pause(DtrSettleMs);
        if (settings_.LinkType == 1) {
            if (!Dial()) {
                ClosePort();
                return false;
            }
            if (callUp) {
                callUp();
            }
        }
        if (::ReadIdent(access_) && !StopRequested()) {
            std::string first, second;
            accepted = DeviceServed(image_.Bytes.data() + IdentOffset, first, second);
            if (!accepted) {
                ui_.ShowMessage(MessageNotice, first, second);
            }
        }
    }
    if (!accepted) {
        Close();
        return false;
    }
    if (DestroyedTable() != 0) {
        ui_.SetPanelText(OperationPanel, DestroyedTablePanelText(DestroyedTable()));
    }
    return true;
}

void DeviceConnection::HangUp() {
    // The one thing done after a stop: a call left up costs the operator money.
    if (running_ || !callUp_) {
        return;
    }
    running_ = true;
    aborted_ = false;
    ModemLine line = Line();
    ModemHangUp(line);
    callUp_ = false;
    running_ = false;
    if (aborting_) {  // Прервать ends the hang-up's waits, not the program
        aborting_ = false;
        aborted_ = true;
        engine_.StopRequested = false;
    }
}

void DeviceConnection::Close() {
    if (running_) {
        return;  // the operation under way still uses the port
    }
    HangUp();
    ClosePort();
}

bool DeviceConnection::ReadIdent() {
    Operation operation(*this);
    return operation && ::ReadIdent(access_);
}

bool DeviceConnection::ReadTableState(TableStateSet& set) {
    Operation operation(*this);
    if (!operation ||
        !ExchangeTable(access_, ReadRequest(RestoreTable.Number, 0, RestoreTable.FieldCount))) {
        return false;
    }
    set = MakeTableStateSet(&engine_.ResponseBuffer[ResponseValuesOffset]);
    return true;
}

bool DeviceConnection::ReadConfiguration() {
    Operation operation(*this);
    unread_ = {IdentTable.Number, LinkTable.Number, ModemTable.Number, FlowComputerTable.Number,
               RateMaskTable.Number};
    if (!operation) {
        return false;
    }
    if (!ReadAllTables(access_, &unread_)) {
        if (!StopRequested()) {
            ui_.ShowMessage(MessageExchangeResult, NotReadText, "");
        }
        return false;
    }
    KeepInHistory(HistoryReadEvent);
    return true;
}

bool DeviceConnection::ReadRateMask() {
    Operation operation(*this);
    if (!operation) {
        return false;
    }
    if (!::ReadRateMask(access_)) {
        if (StopRequested()) {
            return false;
        }
        MarkAllRatesAvailable(image_);
    }
    return true;
}

namespace {

size_t TableImageOffset(int table) {
    return table == LinkTable.Number    ? LinkTableOffset
           : table == ModemTable.Number ? ModemTableOffset
                                        : FlowComputerOffset;
}

size_t TableFieldSize(int table) {
    return table == LinkTable.Number    ? LinkTable.FieldSize
           : table == ModemTable.Number ? ModemTable.FieldSize
                                        : FlowComputerTable.FieldSize;
}

constexpr char ReadTables[] = "0 3 5 6 1";  // in the order a whole read reads them

std::string WrittenTables(const WriteAccount& account) {
    std::string tables;
    for (const int table : account.Tables(RequestFate::Confirmed)) {
        tables += (tables.empty() ? "" : " ") + std::to_string(table);
    }
    return tables;
}

ConfigRecord RecordOf(const ConfigImage& image) {
    ConfigRecord record = NewConfigRecord(image.SoftwareVersion());
    LoadEditorRecord(image, record);
    return record;
}

// The caption under which the operator sees a field, empty for one he never sees.
std::string FieldCaption(const std::vector<ConfigLine>& lines, int table, int field) {
    if (table == LinkTable.Number) {
        return lines[static_cast<size_t>(field)].Caption;
    }
    if (table == ModemTable.Number) {
        return lines[LinkTable.FieldCount].Caption;
    }
    return field > 0 ? FlowComputerCaptionText + std::to_string(field) : std::string();
}

// A written byte the device holds otherwise where the operator's words show no
// difference (flow computer 0, the code of a computer not connected, the modem string
// after its end): named by table, field and byte, its values in hexadecimal.
void AddUnseenDifferences(const ConfigImage& meant, const ConfigImage& found,
                          const WriteAccount& account, std::vector<ConfigDifference>& seen) {
    const std::vector<ConfigLine> lines = DescribeConfig(RecordOf(meant), true);
    const auto hex = [](uint8_t value) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", value);
        return std::string(text);
    };
    for (const WriteStep& step : account.Steps) {
        const size_t width = TableFieldSize(step.Table);
        for (int field = step.FirstField; field < step.FirstField + step.FieldCount; ++field) {
            const size_t at = TableImageOffset(step.Table) + static_cast<size_t>(field) * width;
            size_t byte = 0;
            while (byte < width && meant.Bytes[at + byte] == found.Bytes[at + byte]) {
                ++byte;
            }
            if (byte == width) {
                continue;
            }
            const std::string caption = FieldCaption(lines, step.Table, field);
            const bool shown = std::any_of(seen.begin(), seen.end(), [&](const auto& d) {
                return !caption.empty() && d.Caption == caption;
            });
            if (!shown) {
                std::string name =
                    "Таблица " + std::to_string(step.Table) + ", поле " + std::to_string(field);
                if (width > 1) {
                    name += ", байт " + std::to_string(byte);
                }
                seen.push_back({name, hex(meant.Bytes[at + byte]), hex(found.Bytes[at + byte])});
            }
        }
    }
}

}  // namespace

WriteOutcome DeviceConnection::WriteChanges(const ConfigImage& snapshot, bool verify) {
    Operation operation(*this);
    lastWrite_.Steps.clear();
    lastCheck_ = {};
    if (!operation) {
        return WriteOutcome::Failed;
    }
    if (!FindChangedTables(image_, snapshot).Any()) {
        ui_.ShowMessage(MessageNotice, NothingWrittenText, NothingChangedText);
        return WriteOutcome::NothingChanged;
    }
    // What the device held before the write can be had again from the history.
    if (!HistoryFolder.empty()) {
        std::string error;
        if (!Keep(snapshot, HistoryBeforeWriteEvent, ReadTables, lastCheck_.BackupFile, error)) {
            ui_.ShowMessage(MessageError, BackupFailedText, error + " " + NothingWrittenText);
            return WriteOutcome::Failed;
        }
    }
    const ConfigImage meant = image_;
    const WriteOutcome outcome = WriteDifferences(access_, snapshot, &lastWrite_);
    if (outcome == WriteOutcome::Failed) {
        TellWrite();
        return outcome;
    }
    if (verify) {
        Pause(AfterWriteMs);
        CheckWrite(meant);
        if (lastCheck_.Result != WriteCheckResult::Verified) {
            return WriteOutcome::Failed;
        }
    }
    return outcome;
}

bool DeviceConnection::WriteTables(const std::array<uint8_t, TableCount>& marks, uint8_t linkFields,
                                   bool verify) {
    Operation operation(*this);
    lastWrite_.Steps.clear();
    lastCheck_ = {};
    if (!operation) {
        return false;
    }
    const ConfigImage meant = image_;
    if (!WriteSelectedTables(access_, marks, &lastWrite_, linkFields)) {
        TellWrite();
        return false;
    }
    Pause(AfterWriteMs);
    if (!verify) {
        return ::ReadIdent(access_);
    }
    CheckWrite(meant);
    return lastCheck_.Result == WriteCheckResult::Verified;
}

void DeviceConnection::CheckWrite(const ConfigImage& meant) {
    // The identification and every table, read as a whole read does; the image then
    // holds what the device holds.
    if (!ReadAllTables(access_)) {
        lastCheck_.Result = WriteCheckResult::NotRead;
        if (!StopRequested()) {
            ui_.ShowMessage(MessageExchangeResult, VerifyNotReadText, "");
        }
        return;
    }
    // What was written, with the device's values in the fields written: only those may
    // differ from what was meant.
    ConfigImage found = meant;
    for (const WriteStep& step : lastWrite_.Steps) {
        const size_t width = TableFieldSize(step.Table);
        const size_t at = TableImageOffset(step.Table) + step.FirstField * width;
        std::copy_n(image_.Bytes.begin() + static_cast<long>(at), step.FieldCount * width,
                    found.Bytes.begin() + static_cast<long>(at));
    }
    lastCheck_.Differences = CompareConfigs(RecordOf(meant), RecordOf(found));
    AddUnseenDifferences(meant, found, lastWrite_, lastCheck_.Differences);
    if (!lastCheck_.Differences.empty()) {
        lastCheck_.Result = WriteCheckResult::Mismatch;
        std::string fields;
        for (const std::string& line : DifferenceLines(lastCheck_.Differences)) {
            fields += (fields.empty() ? "" : "; ") + line;
        }
        ui_.ShowMessage(MessageError, VerifyFailedText, "Записано → прочитано: " + fields);
    } else {
        lastCheck_.Result = WriteCheckResult::Verified;
    }
    KeepInHistory(HistoryWriteEvent);
}

bool DeviceConnection::Keep(const ConfigImage& image, const char* event, const std::string& tables,
                            std::string& file, std::string& error) {
    const HistoryEvent entry{event, LinkTypeName(settings_.LinkType), PlaceText(), tables};
    return ::KeepInHistory(HistoryFolder, RecordOf(image), entry, file, error) !=
           HistoryResult::Failed;
}

bool DeviceConnection::KeepInHistory(const char* event) {
    if (HistoryFolder.empty()) {
        return true;
    }
    std::string file, error;
    if (!Keep(image_, event,
              std::string(event) == HistoryWriteEvent ? WrittenTables(lastWrite_) : ReadTables,
              file, error)) {
        ui_.SetPanelText(OperationPanel, HistoryNotKeptText + error);
        return false;
    }
    return true;
}

void DeviceConnection::TellWrite() {
    if (Closing() || lastWrite_.Complete()) {
        return;
    }
    const auto lines = WriteAccountLines(lastWrite_);
    ui_.ShowMessage(MessageExchangeResult, lines[0], lines[1]);
}

void DeviceConnection::TellFileVersion(uint8_t fileVersion) {
    const uint8_t deviceVersion = image_.SoftwareVersion();
    if (fileVersion == deviceVersion) {
        return;
    }
    const int fileFields = LinkTableFieldCount(fileVersion);
    const int deviceFields = LinkTableFieldCount(deviceVersion);
    std::string second;
    if (fileFields < deviceFields) {
        second = "поля, которых нет в файле, сохранят значения устройства";
    } else if (fileFields > deviceFields) {
        second = "поля, которых нет в устройстве, не записываются";
    }
    ui_.ShowMessage(MessageNotice,
                    "Файл конфигурации составлен для версии ПО " + std::to_string(fileVersion) +
                        ", устройство имеет версию ПО " + std::to_string(deviceVersion),
                    second);
}

void DeviceConnection::TellDestroyedTable() {
    if (DestroyedTable() != 0 && !StopRequested()) {
        ui_.ShowMessage(MessageNotice, "Разрушена таблица " + std::to_string(DestroyedTable()), "");
    }
}

int32_t DeviceConnection::SearchRate(const std::function<bool(int32_t)>& trying) {
    Operation operation(*this);
    if (!operation || !port_) {
        return 0;
    }
    bool cancelled = false;
    const int32_t rate = FindDeviceRate(engine_, [&](int32_t next) {
        cancelled = trying && !trying(next);
        return !cancelled;
    });
    if (StopRequested() || cancelled) {
        return 0;
    }
    if (rate > 0) {
        ui_.ShowMessage(MessageExchangeResult, SearchFoundText, SearchFoundRateText(rate));
    } else {
        ui_.ShowMessage(MessageExchangeResult, SearchFailedText, "");
    }
    return rate;
}
