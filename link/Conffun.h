#pragma once
// Table operations: they move the device's tables between the device and the
// ConfigImage with table exchange requests, show what they do in the status bar and a
// progress bar, and ask the operator whether to retry when an exchange fails.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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
// The values of a read are then in the engine's ResponseBuffer from offset 7.
bool ExchangeTable(TableAccess& access, const TableRequest& request);
// Table 0 into the image.
bool ReadIdent(TableAccess& access);
// Table 1 into the image.
bool ReadRateMask(TableAccess& access);
// Tables 0, 3, 5, 6 and 1 into the image, with progress.
bool ReadAllTables(TableAccess& access);
// Tables 3, 5 and 6 from the image where marks[table] is set, with progress. After
// table 3 a direct link moves to the rate the device now has.
bool WriteSelectedTables(TableAccess& access, const std::array<uint8_t, TableCount>& marks);

enum class WriteOutcome { NothingChanged, Written, Failed };
// Writes what differs between the image and the snapshot taken before the edit: tables 3
// and 5 whole, table 6 in runs of changed entries. On a direct link the link follows a
// new upper-level rate. Stops at the first failed write (already reported).
WriteOutcome WriteDifferences(TableAccess& access, const ConfigImage& snapshot);

// The rate search: the identification read once at every device rate from 600 bit/s up
// (300 is never tried), with short time-outs; trying hears of each rate before its read.
// Returns the rate that answered, or 0. The engine keeps the search's time-outs.
int32_t FindDeviceRate(LinkEngine& engine, const std::function<void(int32_t)>& trying);
// The two lines of the question asked when a table exchange has failed for good.
std::array<std::string, 2> RetryQuestionLines(bool reading, int table);
// Texts of the search.
std::string SearchStatusText(int32_t rate);
inline constexpr char SearchFoundText[] = "Получен ответ на запрос";
std::string SearchFoundRateText(int32_t rate);
inline constexpr char SearchFailedText[] = "Связь не установлена";
