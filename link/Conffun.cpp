#include "link/Conffun.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/Baudrates.h"
#include "config/Stringi.h"

namespace {

// Bytes a device keeps between finishing a whole read or write and its next request.
constexpr auto SettleTime = std::chrono::milliseconds(500);

const char EchoMismatchText[] = "Несоответствие запрошенных и переданных данных";

std::string Printf(const char* format, int a, int b = 0, int c = 0) {
    char text[204];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string StatusText(const TableRequest& r) {
    if (r.ReadFieldCount() > 1) {
        return Printf("Чтение из таблицы %d (поля %d-%d)", r.ReadTable(), r.ReadFirstField(),
                      r.ReadFirstField() + r.ReadFieldCount());
    }
    if (r.ReadFieldCount() == 1) {
        return Printf("Чтение из таблицы %d (поле %d)", r.ReadTable(), r.ReadFirstField());
    }
    if (r.WriteFieldCount() > 1) {
        return Printf("Запись в таблицу %d (поля %d-%d)", r.WriteTable(), r.WriteFirstField(),
                      r.WriteFirstField() + r.WriteFieldCount());
    }
    return Printf("Запись в таблицу %d (поле %d)", r.WriteTable(), r.WriteFirstField());
}

// The retry question; true when the operator wants another try.
bool AskRetry(TableAccess& access, const TableRequest& r, RequestFate fate) {
    const bool reading = r.ReadFieldCount() > 0;
    const auto lines = RetryQuestionLines(reading, reading ? r.ReadTable() : r.WriteTable(), fate);
    const bool again = access.Ui.ShowMessage(MessageRetry, lines[0], lines[1]);
    access.Ui.SetPanelText(OperationPanel, "");
    return again;
}

// A port that is gone, or has hung up, carries no further try to the device.
bool LineGone(const LinkEngine& engine) {
    return !engine.Port || engine.Port->LineLost();
}

// A read's values are exactly count fields of the table's width: a frame that carries
// more or less would copy its check sum or a stale buffer into the image.
bool LengthMatches(const LinkEngine& engine, const TableRequest& r) {
    const DeviceTable* table = FindDeviceTable(r.ReadTable());
    const size_t width = table ? table->FieldSize : 1;
    const size_t frame = engine.ResponseBuffer[2];
    return frame >= ResponseValuesOffset + 2 &&
           frame - ResponseValuesOffset - 2 == size_t{r.ReadFieldCount()} * width;
}

bool EchoMatches(const LinkEngine& engine, const TableRequest& r) {
    return engine.ResponseBuffer[4] == r.ReadTable() &&
           engine.ResponseBuffer[5] == r.ReadFirstField() &&
           engine.ResponseBuffer[6] == r.ReadFieldCount();
}

// Reads a run of fields into the image at offset.
bool ReadInto(TableAccess& access, uint8_t table, uint8_t first, uint8_t count, size_t offset,
              size_t bytes) {
    if (!ExchangeTable(access, ReadRequest(table, first, count))) {
        return false;
    }
    std::memcpy(&access.Image.Bytes[offset], &access.Engine.ResponseBuffer[ResponseValuesOffset],
                bytes);
    return true;
}

// The device now listens at the rate just written to table 3; a code it cannot have is
// not followed, or the link would fall to the slowest rate the port knows. Over a
// telephone line the modem's rate is not the device's, and over a network the converter's
// is set on the converter: the line keeps its own.
void FollowUpperLevelRate(TableAccess& access) {
    if (access.Settings.LinkType != 0) {
        return;
    }
    const int32_t rate = BaudRateOf(access.Image.Bytes[LinkTableOffset + UpperLevelBaudCode]);
    if (rate > 0) {
        access.Settings.BaudRate = rate;
        access.Engine.BaudRate = rate;
    }
    access.Ui.SetPanelText(ConnectionPanel, ConnectionText(access.Settings));
}

// True when the program asked to stop: the command under way counts as interrupted.
bool Stopped(LinkEngine& engine) {
    if (engine.StopRequested) {
        engine.ResultCode = ResultStopped;
    }
    return engine.StopRequested;
}

// False when the program asked to stop meanwhile.
bool Settle(TableAccess& access) {
    access.Ui.FillProgress();
    access.Ui.ProcessMessages();
    if (Stopped(access.Engine)) {
        return false;
    }
    LinkClock& clock = *access.Engine.Clock;
    clock.SleepUntil(clock.Now() + SettleTime);
    return true;
}

}  // namespace

TableRequest ReadRequest(uint8_t table, uint8_t firstField, uint8_t fieldCount) {
    TableRequest r;
    r.Data[0] = table;
    r.Data[1] = firstField;
    r.Data[2] = fieldCount;
    return r;
}

TableRequest WriteRequest(uint8_t table, uint8_t firstField, uint8_t fieldCount,
                          const uint8_t* values) {
    TableRequest r;
    r.Data[3] = table;
    r.Data[4] = firstField;
    r.Data[5] = fieldCount;
    const DeviceTable* layout = FindDeviceTable(table);
    const size_t bytes = std::min<size_t>(size_t{fieldCount} * (layout ? layout->FieldSize : 1),
                                          r.Data.size() - r.Length);
    std::memcpy(&r.Data[r.Length], values, bytes);
    r.Length += bytes;
    return r;
}

std::string ConnectionText(const ConnectionSettings& settings) {
    const int32_t rate = settings.BaudRate;
    return Printf(" COM%d,   %d бит/с", settings.PortNumber, rate);
}

bool ExchangeTable(TableAccess& access, const TableRequest& request, RequestFate* fate) {
    Screen& ui = access.Ui;
    LinkEngine& engine = access.Engine;
    RequestFate known = RequestFate::NotSent;
    ui.ProcessMessages();
    for (;;) {
        ui.SetPanelText(OperationPanel, StatusText(request));
        const bool executed =
            engine.ExecuteCommand(TableExchange, request.Data.data(), request.Length);
        known = std::max(known, engine.Fate);
        if (fate) {
            *fate = known;
        }
        if (!executed) {
            ui.SetPanelText(OperationPanel, engine.CommandSummary());
            ui.ProcessMessages();
        } else if (request.ReadFieldCount() > 0 && !LengthMatches(engine, request)) {
            engine.ResultCode = ResultBadLength;
            ui.SetPanelText(OperationPanel, engine.CommandSummary());
        } else if (request.ReadFieldCount() > 0 && !EchoMatches(engine, request)) {
            ui.SetPanelText(OperationPanel, EchoMismatchText);
        } else {
            ui.SetPanelText(OperationPanel, "");
            ui.ProcessMessages();
            return !Stopped(engine);
        }
        // Nobody is asked anything once the program is closing.
        if (Stopped(engine) || LineGone(engine) || !AskRetry(access, request, known)) {
            return false;
        }
        ui.ProcessMessages();
    }
}

bool ReadIdent(TableAccess& access) {
    return ReadInto(access, IdentTable.Number, 0, IdentTable.FieldCount, IdentOffset,
                    IdentTable.Bytes());
}

bool ReadRateMask(TableAccess& access) {
    return ReadInto(access, RateMaskTable.Number, 0, RateMaskTable.FieldCount, RateMaskOffset,
                    RateMaskTable.Bytes());
}

bool ReadAllTables(TableAccess& access, std::vector<int>* unread) {
    Screen& ui = access.Ui;
    ConfigImage& image = access.Image;
    // The requests in order by table; a table is read when all of its requests were.
    static constexpr std::array<int, 6> order = {IdentTable.Number,        LinkTable.Number,
                                                 ModemTable.Number,        FlowComputerTable.Number,
                                                 FlowComputerTable.Number, RateMaskTable.Number};
    size_t done = 0;
    const auto failed = [&] {
        if (unread) {
            unread->clear();
            for (size_t i = done; i < order.size(); ++i) {
                if (std::find(unread->begin(), unread->end(), order[i]) == unread->end()) {
                    unread->push_back(order[i]);
                }
            }
        }
        return false;
    };
    ui.SetProgressMaximum(ConfigTableCount + 3);
    if (!ReadIdent(access)) {
        return failed();
    }
    ++done;
    ui.StepProgress();
    const auto linkFields = static_cast<uint8_t>(image.LinkTableBytes());
    if (!ReadInto(access, LinkTable.Number, 0, linkFields, LinkTableOffset, linkFields)) {
        return failed();
    }
    ++done;
    ui.StepProgress();
    ui.ProcessMessages();
    RepairUpperLevelBaudCode(image);
    if (!ReadInto(access, ModemTable.Number, 0, ModemTable.FieldCount, ModemTableOffset,
                  ModemTable.Bytes())) {
        return failed();
    }
    ++done;
    ui.StepProgress();
    const int rest = FlowComputerTable.FieldCount - FlowComputerReadSplit;
    if (!ReadInto(access, FlowComputerTable.Number, 0, FlowComputerReadSplit, FlowComputerOffset,
                  FlowComputerReadSplit)) {
        return failed();
    }
    ++done;
    ui.StepProgress();
    if (!ReadInto(access, FlowComputerTable.Number, FlowComputerReadSplit,
                  static_cast<uint8_t>(rest), FlowComputerOffset + FlowComputerReadSplit,
                  static_cast<size_t>(rest))) {
        return failed();
    }
    ++done;
    ui.StepProgress();
    if (!ReadRateMask(access)) {
        return failed();
    }
    ++done;
    ui.StepProgress();
    if (unread) {
        unread->clear();
    }
    return Settle(access);
}

bool WriteAccount::Complete() const {
    return std::all_of(Steps.begin(), Steps.end(),
                       [](const WriteStep& s) { return s.Fate == RequestFate::Confirmed; });
}

std::vector<int> WriteAccount::Tables(RequestFate fate) const {
    std::vector<int> tables;
    for (const WriteStep& step : Steps) {
        if (step.Fate == fate &&
            std::find(tables.begin(), tables.end(), step.Table) == tables.end()) {
            tables.push_back(step.Table);
        }
    }
    return tables;
}

std::string WriteStepText(const WriteStep& step) {
    if (step.Table != FlowComputerTable.Number) {
        return Printf("таблица %d", step.Table);
    }
    if (step.FieldCount == 1) {
        return Printf("таблица %d (поле %d)", step.Table, step.FirstField);
    }
    return Printf("таблица %d (поля %d-%d)", step.Table, step.FirstField,
                  step.FirstField + step.FieldCount - 1);
}

std::array<std::string, 2> WriteAccountLines(const WriteAccount& account) {
    static const std::pair<RequestFate, const char*> groups[] = {
        {RequestFate::Confirmed, "подтверждена: "},
        {RequestFate::Unconfirmed, "не подтверждена: "},
        {RequestFate::Refused, "отклонена устройством: "},
        {RequestFate::NotSent, "не отправлена: "},
    };
    std::string summary;
    for (const auto& [fate, caption] : groups) {
        std::string list;
        for (const WriteStep& step : account.Steps) {
            if (step.Fate == fate) {
                list += list.empty() ? "" : ", ";
                list += WriteStepText(step);
            }
        }
        if (!list.empty()) {
            summary += summary.empty() ? "" : "; ";
            summary += caption;
            summary += list;
        }
    }
    return {WriteInterruptedText, summary};
}

namespace {

WriteStep PlannedWrite(int table, int firstField, int fieldCount) {
    return {static_cast<uint8_t>(table), static_cast<uint8_t>(firstField),
            static_cast<uint8_t>(fieldCount)};
}

// Sends the planned writes in order; the first that fails ends them. What became of
// each is noted in its step.
bool RunWrites(TableAccess& access, WriteAccount& account, bool progress) {
    Screen& ui = access.Ui;
    for (WriteStep& step : account.Steps) {
        const DeviceTable* layout = FindDeviceTable(step.Table);
        const size_t offset = static_cast<size_t>(ImageOffsetOf(step.Table)) +
                              size_t{step.FirstField} * (layout ? layout->FieldSize : 1);
        const bool written = ExchangeTable(
            access,
            WriteRequest(step.Table, step.FirstField, step.FieldCount, &access.Image.Bytes[offset]),
            &step.Fate);
        // A device that confirmed a new rate listens at it, even when the program is
        // closing: the settings kept at the close must still reach it.
        if (step.Table == LinkTable.Number && step.Fate == RequestFate::Confirmed) {
            if (progress) {
                ui.StepProgress();
            }
            ui.ProcessMessages();
            FollowUpperLevelRate(access);
        } else if (written && progress) {
            ui.StepProgress();
        }
        if (!written) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool WriteSelectedTables(TableAccess& access, const std::array<uint8_t, TableCount>& marks,
                         WriteAccount* account, uint8_t linkFields) {
    WriteAccount own;
    WriteAccount& planned = account ? *account : own;
    planned.Steps.clear();
    if (marks[LinkTable.Number]) {
        const size_t fields = std::min<size_t>(access.Image.LinkTableBytes(), linkFields);
        planned.Steps.push_back(PlannedWrite(LinkTable.Number, 0, static_cast<int>(fields)));
    }
    if (marks[ModemTable.Number]) {
        planned.Steps.push_back(PlannedWrite(ModemTable.Number, 0, ModemTable.FieldCount));
    }
    if (marks[FlowComputerTable.Number]) {
        planned.Steps.push_back(PlannedWrite(FlowComputerTable.Number, 0, MaxWriteFields));
        planned.Steps.push_back(PlannedWrite(FlowComputerTable.Number, MaxWriteFields,
                                             FlowComputerTable.FieldCount - MaxWriteFields));
    }
    access.Ui.SetProgressMaximum(static_cast<int>(std::count_if(marks.begin(), marks.end(),
                                                                [](uint8_t m) { return m != 0; })) +
                                 1);
    return RunWrites(access, planned, true) && Settle(access);
}

WriteOutcome WriteDifferences(TableAccess& access, const ConfigImage& snapshot,
                              WriteAccount* account) {
    WriteAccount own;
    WriteAccount& planned = account ? *account : own;
    planned.Steps.clear();
    const TableChanges changes = FindChangedTables(access.Image, snapshot);
    if (changes.LinkFieldCount > 0) {
        planned.Steps.push_back(PlannedWrite(LinkTable.Number, 0, changes.LinkFieldCount));
    }
    if (changes.ModemChanged) {
        planned.Steps.push_back(PlannedWrite(ModemTable.Number, 0, ModemTable.FieldCount));
    }
    for (const TableRun& run : changes.FlowComputerRuns) {
        planned.Steps.push_back(
            PlannedWrite(FlowComputerTable.Number, run.FirstField, run.FieldCount));
    }
    if (planned.Steps.empty()) {
        return WriteOutcome::NothingChanged;
    }
    return RunWrites(access, planned, false) ? WriteOutcome::Written : WriteOutcome::Failed;
}

int32_t FindDeviceRate(LinkEngine& engine, const std::function<bool(int32_t)>& trying) {
    constexpr int32_t SearchFirstByteTimeout = 300;  // ms
    constexpr int32_t SearchNextByteTimeout = 100;   // ms
    engine.NextByteTimeout = SearchNextByteTimeout;
    engine.FirstByteTimeout = SearchFirstByteTimeout;
    engine.Attempts = 1;
    const TableRequest request = ReadRequest(IdentTable.Number, 0, IdentTable.FieldCount);
    for (size_t code = 1; code < BaudRates.size(); ++code) {
        const int32_t rate = BaudRates[code];
        if (trying && !trying(rate)) {
            break;
        }
        engine.BaudRate = rate;  // the engine sets the port's rate before every attempt
        if (engine.ExecuteCommand(TableExchange, request.Data.data(), request.Length)) {
            return rate;
        }
        if (engine.ResultCode == ResultStopped) {
            break;
        }
    }
    return 0;
}

std::string SearchStatusText(int32_t rate) {
    return Printf("Скорость обмена:  %d", rate);
}

std::string SearchFoundRateText(int32_t rate) {
    return Printf("при скорости обмена - %d бит/с", rate);
}

std::array<std::string, 2> RetryQuestionLines(bool reading, int table, RequestFate fate) {
    const char* write = fate == RequestFate::Unconfirmed ? "Запись в таблицу %d не подтверждена."
                                                         : "Не выполнена запись в таблицу %d.";
    return {reading ? Printf("Не выполнено чтение из таблицы %d.", table) : Printf(write, table),
            std::string("\"") + TableName(table) + "\""};
}
