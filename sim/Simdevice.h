#pragma once
// The device that zantir-sim plays: its tables, how it answers a table exchange, and
// the faults a real line has, injected on request.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/Devicetables.h"

struct SimTables {
    std::array<uint8_t, IdentTable.Bytes()> Ident{};
    std::array<uint8_t, RateMaskTable.Bytes()> RateMasks{};
    std::array<uint8_t, LinkTable.Bytes()> Link{};
    std::array<uint8_t, ModemTable.Bytes()> Modem{};
    std::array<uint8_t, FlowComputerTable.Bytes()> FlowComputers{};
    std::array<uint8_t, RestoreTable.Bytes()> Restore{};
};

// The state file: "ZSIM", layout version 1, then tables 0, 1, 3, 5, 6 and 7 as the
// device holds them, 365 bytes in all.
inline constexpr char SimStateMagic[] = "ZSIM";
inline constexpr uint8_t SimStateVersion = 1;
inline constexpr size_t SimStateSize = 5 + sizeof(SimTables);
static_assert(sizeof(SimTables) == 17 + 8 + 8 + 64 + 255 + 8);

struct SimFault {
    enum Kind { Silent, Noise, BadCrc, Gap, Echo, Refuse, Corrupt };
    Kind kind;
    int refuseCode = 0;
    int remaining = -1;  // requests still affected; -1: every request
    int skip = 0;        // requests that pass untouched before it starts
};

// Parses "silent", "noise@2", "refuse:13@1", "badcrc@1+7", ...; nullopt for anything else.
std::optional<SimFault> ParseFault(const std::string& text);

// What the device sends back for one request: nothing, or bytes that end early.
struct SimAnswer {
    std::vector<uint8_t> bytes;  // preambles and frame; empty: no answer
    bool stored = false;         // a write was accepted and the tables changed
    bool tableThreeWritten = false;
};

class SimDevice {
public:
    SimDevice(uint8_t type, uint8_t version);

    SimTables tables;
    uint8_t address = 0;
    std::vector<SimFault> faults;

    void SetMasks(uint32_t upperLevel, uint32_t flowComputers);
    // The table stays reported destroyed until every one of its fields is written.
    void Destroy(uint8_t table);
    uint8_t DestroyedTable() const { return tables.Ident[0]; }

    // A complete frame as it arrived (from the start byte on). A frame for another
    // address or with a damaged check sum gets no answer, as on a shared line.
    SimAnswer Handle(const std::vector<uint8_t>& frame);

    bool SaveState(const std::string& path) const;
    bool LoadState(const std::string& path);

private:
    std::vector<uint8_t> Process(const std::vector<uint8_t>& frame, SimAnswer& answer);
    std::vector<uint8_t> Refusal(uint8_t code, uint8_t detail = 0, uint8_t number = 0) const;
    std::vector<uint8_t> Accept(const std::vector<uint8_t>& data) const;
    uint8_t* TableBytes(uint8_t table);
    int FieldCount(uint8_t table) const;
    void NoteWritten(uint8_t table, int first, int count);

    std::vector<bool> rewritten_;  // fields of the destroyed table written since
    bool corrupt_ = false;         // the request's write stores its first value damaged
};
