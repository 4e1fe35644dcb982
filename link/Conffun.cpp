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
bool AskRetry(TableAccess& access, const TableRequest& r) {
    const bool reading = r.ReadFieldCount() > 0;
    const auto lines = RetryQuestionLines(reading, reading ? r.ReadTable() : r.WriteTable());
    const bool again = access.Ui.ShowMessage(MessageRetry, lines[0], lines[1]);
    access.Ui.SetPanelText(OperationPanel, "");
    return again;
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

bool WriteFrom(TableAccess& access, uint8_t table, uint8_t first, uint8_t count, size_t offset) {
    return ExchangeTable(access, WriteRequest(table, first, count, &access.Image.Bytes[offset]));
}

// The device now listens at the rate just written to table 3; a code it cannot have is
// not followed, or the link would fall to the slowest rate the port knows. Over a
// telephone line the modem's rate is not the device's: the line keeps its own.
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

bool ExchangeTable(TableAccess& access, const TableRequest& request) {
    Screen& ui = access.Ui;
    LinkEngine& engine = access.Engine;
    ui.ProcessMessages();
    for (;;) {
        ui.SetPanelText(OperationPanel, StatusText(request));
        if (!engine.ExecuteCommand(TableExchange, request.Data.data(), request.Length)) {
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
        if (Stopped(engine) || !AskRetry(access, request)) {
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

bool ReadAllTables(TableAccess& access) {
    Screen& ui = access.Ui;
    ConfigImage& image = access.Image;
    ui.SetProgressMaximum(ConfigTableCount + 3);
    if (!ReadIdent(access)) {
        return false;
    }
    ui.StepProgress();
    const auto linkFields = static_cast<uint8_t>(image.LinkTableBytes());
    if (!ReadInto(access, LinkTable.Number, 0, linkFields, LinkTableOffset, linkFields)) {
        return false;
    }
    ui.StepProgress();
    ui.ProcessMessages();
    RepairUpperLevelBaudCode(image);
    if (!ReadInto(access, ModemTable.Number, 0, ModemTable.FieldCount, ModemTableOffset,
                  ModemTable.Bytes())) {
        return false;
    }
    ui.StepProgress();
    const int rest = FlowComputerTable.FieldCount - FlowComputerReadSplit;
    if (!ReadInto(access, FlowComputerTable.Number, 0, FlowComputerReadSplit, FlowComputerOffset,
                  FlowComputerReadSplit)) {
        return false;
    }
    ui.StepProgress();
    if (!ReadInto(access, FlowComputerTable.Number, FlowComputerReadSplit,
                  static_cast<uint8_t>(rest), FlowComputerOffset + FlowComputerReadSplit,
                  static_cast<size_t>(rest))) {
        return false;
    }
    ui.StepProgress();
    if (!ReadRateMask(access)) {
        return false;
    }
    ui.StepProgress();
    return Settle(access);
}

bool WriteSelectedTables(TableAccess& access, const std::array<uint8_t, TableCount>& marks) {
    Screen& ui = access.Ui;
    ui.SetProgressMaximum(static_cast<int>(std::count_if(marks.begin(), marks.end(),
                                                         [](uint8_t m) { return m != 0; })) +
                          1);
    if (marks[LinkTable.Number]) {
        const auto fields = static_cast<uint8_t>(access.Image.LinkTableBytes());
        if (!WriteFrom(access, LinkTable.Number, 0, fields, LinkTableOffset)) {
            return false;
        }
        ui.StepProgress();
        ui.ProcessMessages();
        FollowUpperLevelRate(access);
    }
    if (marks[ModemTable.Number]) {
        if (!WriteFrom(access, ModemTable.Number, 0, ModemTable.FieldCount, ModemTableOffset)) {
            return false;
        }
        ui.StepProgress();
    }
    if (marks[FlowComputerTable.Number]) {
        const int rest = FlowComputerTable.FieldCount - MaxWriteFields;
        if (!WriteFrom(access, FlowComputerTable.Number, 0, MaxWriteFields, FlowComputerOffset)) {
            return false;
        }
        ui.StepProgress();
        if (!WriteFrom(access, FlowComputerTable.Number, MaxWriteFields, static_cast<uint8_t>(rest),
                       FlowComputerOffset + MaxWriteFields)) {
            return false;
        }
        ui.StepProgress();
    }
    return Settle(access);
}

WriteOutcome WriteDifferences(TableAccess& access, const ConfigImage& snapshot) {
    const TableChanges changes = FindChangedTables(access.Image, snapshot);
    if (changes.LinkFieldCount > 0) {
        if (!WriteFrom(access, LinkTable.Number, 0, static_cast<uint8_t>(changes.LinkFieldCount),
                       LinkTableOffset)) {
            return WriteOutcome::Failed;
        }
        FollowUpperLevelRate(access);
    }
    if (changes.ModemChanged &&
        !WriteFrom(access, ModemTable.Number, 0, ModemTable.FieldCount, ModemTableOffset)) {
        return WriteOutcome::Failed;
    }
    for (const TableRun& run : changes.FlowComputerRuns) {
        if (!WriteFrom(access, FlowComputerTable.Number, run.FirstField, run.FieldCount,
                       FlowComputerOffset + run.FirstField)) {
            return WriteOutcome::Failed;
        }
    }
    return changes.Any() ? WriteOutcome::Written : WriteOutcome::NothingChanged;
}

int32_t FindDeviceRate(LinkEngine& engine, const std::function<void(int32_t)>& trying) {
    constexpr int32_t SearchFirstByteTimeout = 300;  // ms
    constexpr int32_t SearchNextByteTimeout = 100;   // ms
    engine.NextByteTimeout = SearchNextByteTimeout;
    engine.FirstByteTimeout = SearchFirstByteTimeout;
    engine.Attempts = 1;
    const TableRequest request = ReadRequest(IdentTable.Number, 0, IdentTable.FieldCount);
    for (size_t code = 1; code < BaudRates.size(); ++code) {
        const int32_t rate = BaudRates[code];
        if (trying) {
            trying(rate);
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

std::array<std::string, 2> RetryQuestionLines(bool reading, int table) {
    return {reading ? Printf("Не выполнено чтение из таблицы %d.", table)
                    : Printf("Не выполнена запись в таблицу %d.", table),
            std::string("\"") + TableName(table) + "\""};
}
