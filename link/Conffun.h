#pragma once
// Table operations: they move the device's tables between the device and the
// ConfigImage with table exchange requests, show what they do in the status bar and a
// progress bar, and ask the operator whether to retry when an exchange fails.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/Configimage.h"
#include "connection/Settings.h"
#include "link/Plcbox.h"
#include "link/Screen.h"

inline constexpr int ConnectionPanel = 0;  // " COM1,   9600 бит/с"
inline constexpr int OperationPanel = 1;   // progress texts and failure summaries

// What the operations work on; the main window owns all of it for the whole run.
struct TableAccess {
    LinkEngine& Engine;
    ConfigImage& Image;
    ConnectionSettings& Settings;
    Screen& Ui;
};

// A table exchange request: the header and up to 243 values.
struct TableRequest {
    std::array<uint8_t, MaxDataLength> Data{};
    size_t Length = sizeof(TableExchangeHeader);

    uint8_t ReadTable() const { return Data[0]; }
    uint8_t ReadFirstField() const { return Data[1]; }
    uint8_t ReadFieldCount() const { return Data[2]; }
    uint8_t WriteTable() const { return Data[3]; }
    uint8_t WriteFirstField() const { return Data[4]; }
    uint8_t WriteFieldCount() const { return Data[5]; }
};

TableRequest ReadRequest(uint8_t table, uint8_t firstField, uint8_t fieldCount);
// values holds fieldCount fields of the table's width.
TableRequest WriteRequest(uint8_t table, uint8_t firstField, uint8_t fieldCount,
                          const uint8_t* values);

// The status-bar text of the connection: port and rate.
std::string ConnectionText(const ConnectionSettings& settings);

// One exchange, retried for as long as the operator answers Да; false when he declines.
// The values of a read are then in the engine's ResponseBuffer from offset 7. A line that
// has hung up (the adapter pulled) is not retried: nothing would reach the device. fate,
// when given, learns what the request did on the device over all the tries.
bool ExchangeTable(TableAccess& access, const TableRequest& request, RequestFate* fate = nullptr);
// Table 0 into the image.
bool ReadIdent(TableAccess& access);
// Table 1 into the image.
bool ReadRateMask(TableAccess& access);
// Tables 0, 3, 5, 6 and 1 into the image, with progress. unread, when given, learns the
// tables that were not read (all of them before the first request, none on success).
bool ReadAllTables(TableAccess& access, std::vector<int>* unread = nullptr);

// One write request of a command and what became of it.
struct WriteStep {
    uint8_t Table = 0;
    uint8_t FirstField = 0;
    uint8_t FieldCount = 0;
    RequestFate Fate = RequestFate::NotSent;
};
// The writes of one command, in the order they go out: what the device confirmed, what
// it refused, what may have been done without a sound answer, and what was never sent.
struct WriteAccount {
    std::vector<WriteStep> Steps;
    bool Complete() const;  // every step confirmed
    // The tables with a step in the given fate, in order, each once.
    std::vector<int> Tables(RequestFate fate) const;
};
// "таблица 3", "таблица 6 (поля 1–2)", "таблица 6 (поле 9)"
std::string WriteStepText(const WriteStep& step);
// The summary of a write that did not complete, in the message dialog's two lines: the
// first says that it was interrupted, the second what became of each request.
std::array<std::string, 2> WriteAccountLines(const WriteAccount& account);
inline constexpr char WriteInterruptedText[] = "Запись в устройство прервана";

// Tables 3, 5 and 6 from the image where marks[table] is set, with progress. After
// table 3 a direct link moves to the rate the device now has. Of table 3 no more than
// linkFields fields go out (a file of an older layout holds fewer than the device has).
bool WriteSelectedTables(TableAccess& access, const std::array<uint8_t, TableCount>& marks,
                         WriteAccount* account = nullptr,
                         uint8_t linkFields = LinkTable.FieldCount);

enum class WriteOutcome { NothingChanged, Written, Failed };
// Writes what differs between the image and the snapshot taken before the edit: tables 3
// and 5 whole, table 6 in runs of changed entries. On a direct link the link follows a
// new upper-level rate. Stops at the first failed write (already reported).
WriteOutcome WriteDifferences(TableAccess& access, const ConfigImage& snapshot,
                              WriteAccount* account = nullptr);

// The rate search: the identification read once at every device rate from 600 bit/s up
// (300 is never tried), with short time-outs; trying hears of each rate before its read
// and ends the search by returning false. Returns the rate that answered, or 0. The engine
// keeps the search's time-outs.
int32_t FindDeviceRate(LinkEngine& engine, const std::function<bool(int32_t)>& trying);
// The two lines of the question asked when a table exchange has failed for good; a write
// whose request went out whole is not confirmed rather than not done.
std::array<std::string, 2> RetryQuestionLines(bool reading, int table,
                                              RequestFate fate = RequestFate::NotSent);
// Texts of the search.
std::string SearchStatusText(int32_t rate);
inline constexpr char SearchFoundText[] = "Получен ответ на запрос";
std::string SearchFoundRateText(int32_t rate);
inline constexpr char SearchFailedText[] = "Связь не установлена";
