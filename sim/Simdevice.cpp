#include "sim/Simdevice.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "config/Filestore.h"
#include "link/Plcbox.h"

namespace {

// The device's own error codes that it answers with.
enum DeviceError : uint8_t {
    UnknownCommand = 1,
    WrongRequestLength = 2,
    WrongParameters = 4,
    NoSuchTable = 9,
    WritingNotAllowed = 12,
    NoSuchField = 13,
    NoSuchFieldToWrite = 14,
    TooManyFieldsToWrite = 37,
};

constexpr uint8_t NoiseBytes[] = {0x00, 0x5A, ResponseStart, 0x07, RequestStart, 0x12};

bool IsWritable(uint8_t table) {
    return table == LinkTable.Number || table == ModemTable.Number ||
           table == FlowComputerTable.Number;
}

void PutLittleEndian(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::vector<uint8_t> Frame(uint8_t functionCode, const std::vector<uint8_t>& data,
                           uint8_t address) {
    std::vector<uint8_t> frame(MaxFrameLength);
    frame.resize(
        BuildFrame(ResponseStart, address, functionCode, data.data(), data.size(), frame.data()));
    return frame;
}

}  // namespace

std::optional<SimFault> ParseFault(const std::string& text) {
    SimFault fault{SimFault::Silent};
    const auto number = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 6 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        value = std::stoi(digits);
        return true;
    };
    std::string kind = text;
    const size_t plus = kind.find('+');
    if (plus != std::string::npos) {
        if (!number(kind.substr(plus + 1), fault.skip)) {
            return std::nullopt;
        }
        kind.resize(plus);
    }
    const size_t at = kind.find('@');
    if (at != std::string::npos) {
        if (!number(kind.substr(at + 1), fault.remaining)) {
            return std::nullopt;
        }
        kind.resize(at);
    }
    static const std::pair<const char*, SimFault::Kind> kinds[] = {
        {"silent", SimFault::Silent}, {"noise", SimFault::Noise}, {"badcrc", SimFault::BadCrc},
        {"gap", SimFault::Gap},       {"echo", SimFault::Echo},   {"corrupt", SimFault::Corrupt},
    };
    for (const auto& [name, value] : kinds) {
        if (kind == name) {
            fault.kind = value;
            return fault;
        }
    }
    const std::string refuse = "refuse:";
    if (kind.rfind(refuse, 0) == 0) {
        const std::string code = kind.substr(refuse.size());
        if (code.empty() || code.size() > 3 ||
            code.find_first_not_of("0123456789") != std::string::npos || std::stoi(code) > 255) {
            return std::nullopt;
        }
        fault.kind = SimFault::Refuse;
        fault.refuseCode = std::stoi(code);
        return fault;
    }
    return std::nullopt;
}

SimDevice::SimDevice(uint8_t type, uint8_t version) {
    tables.Ident = {0, type, 1, version, 24, 3, 15, 10, 30, 0, 1, 1, 0, 0, 1, 0, 12};
    // 9600 bit/s, 3 reply and 5 request preambles, low priority, reply wait 10.
    tables.Link = {11, 3, 5, 1, 0, 0, 10, static_cast<uint8_t>(version >= 5 ? 1 : 0)};
    const char modem[] = "AT&FE0V1S0=1\r";
    std::memcpy(tables.Modem.data(), modem, sizeof modem - 1);
    // A few flow computers: port in bits 7..5 (A 1, B 2, C 3), baud code in bits 4..0.
    tables.FlowComputers[1] = 0x2B;   // A, 9600
    tables.FlowComputers[2] = 0x2B;   // A, 9600
    tables.FlowComputers[3] = 0x4F;   // B, 19200
    tables.FlowComputers[7] = 0x66;   // C, 4800
    tables.FlowComputers[12] = 0x4B;  // B, 9600
    tables.FlowComputers[20] = 0x71;  // C, 28800
    SetMasks(0x3FFFFF, 0x3FFFFF);
}

void SimDevice::SetMasks(uint32_t upperLevel, uint32_t flowComputers) {
    PutLittleEndian(&tables.RateMasks[0], upperLevel);
    PutLittleEndian(&tables.RateMasks[4], flowComputers);
}

void SimDevice::Destroy(uint8_t table) {
    if (table == 0 || table >= TableCount) {
        return;
    }
    tables.Ident[0] = table;
    tables.Restore[table] = 1;
    rewritten_.assign(static_cast<size_t>(FieldCount(table)), false);
}

int SimDevice::FieldCount(uint8_t table) const {
    if (table == LinkTable.Number) {
        return LinkTableFieldCount(tables.Ident[3]);
    }
    const DeviceTable* layout = FindDeviceTable(table);
    return layout ? layout->FieldCount : 0;
}

uint8_t* SimDevice::TableBytes(uint8_t table) {
    switch (table) {
        case IdentTable.Number:
            return tables.Ident.data();
        case RateMaskTable.Number:
            return tables.RateMasks.data();
        case LinkTable.Number:
            return tables.Link.data();
        case ModemTable.Number:
            return tables.Modem.data();
        case FlowComputerTable.Number:
            return tables.FlowComputers.data();
        case RestoreTable.Number:
            return tables.Restore.data();
        default:
            return nullptr;
    }
}

void SimDevice::NoteWritten(uint8_t table, int first, int count) {
    if (table != DestroyedTable() || rewritten_.empty()) {
        return;
    }
    for (int f = first; f < first + count; ++f) {
        rewritten_[static_cast<size_t>(f)] = true;
    }
    for (bool written : rewritten_) {
        if (!written) {
            return;
        }
    }
    tables.Ident[0] = 0;
    tables.Restore[table] = 0;
    rewritten_.clear();
}

std::vector<uint8_t> SimDevice::Refusal(uint8_t code, uint8_t detail, uint8_t number) const {
    return Frame(TableExchange, {code, detail, number}, address);
}

std::vector<uint8_t> SimDevice::Accept(const std::vector<uint8_t>& data) const {
    return Frame(TableExchange | AcceptedBit, data, address);
}

std::vector<uint8_t> SimDevice::Process(const std::vector<uint8_t>& frame, SimAnswer& result) {
    if (frame[3] != TableExchange) {
        return Refusal(UnknownCommand);
    }
    const std::vector<uint8_t> data(frame.begin() + 4, frame.end() - 2);
    if (data.size() < sizeof(TableExchangeHeader)) {
        return Refusal(WrongRequestLength);
    }
    const uint8_t readTable = data[0], readFirst = data[1], readCount = data[2];
    const uint8_t writeTable = data[3], writeFirst = data[4], writeCount = data[5];

    if (readCount > 0) {
        const DeviceTable* layout = FindDeviceTable(readTable);
        if (!layout) {
            return Refusal(NoSuchTable, 0, readTable);
        }
        if (readFirst + readCount > FieldCount(readTable)) {
            return Refusal(NoSuchField, 0, readTable);
        }
        if (ResponseValuesOffset + size_t{readCount} * layout->FieldSize + 2 > MaxFrameLength) {
            return Refusal(WrongParameters, 0, readTable);
        }
    }
    size_t writeBytes = 0;
    if (writeCount > 0) {
        const DeviceTable* layout = FindDeviceTable(writeTable);
        if (!layout) {
            return Refusal(NoSuchTable, 0, writeTable);
        }
        if (!IsWritable(writeTable)) {
            return Refusal(WritingNotAllowed, 0, writeTable);
        }
        if (writeCount > MaxWriteFields) {
            return Refusal(TooManyFieldsToWrite, 0, writeTable);
        }
        if (writeFirst + writeCount > FieldCount(writeTable)) {
            return Refusal(NoSuchFieldToWrite, 0, writeTable);
        }
        writeBytes = size_t{writeCount} * layout->FieldSize;
    }
    if (data.size() != sizeof(TableExchangeHeader) + writeBytes) {
        return Refusal(WrongRequestLength);
    }

    if (writeCount > 0) {
        const size_t size = FindDeviceTable(writeTable)->FieldSize;
        std::memcpy(TableBytes(writeTable) + writeFirst * size, data.data() + 6, writeBytes);
        if (corrupt_) {
            TableBytes(writeTable)[writeFirst * size] ^= 1;  // a bit lost on its way to memory
        }
        NoteWritten(writeTable, writeFirst, writeCount);
        result.stored = true;
        result.tableThreeWritten = writeTable == LinkTable.Number;
    }
    std::vector<uint8_t> answer;
    if (readCount > 0) {
        const size_t size = FindDeviceTable(readTable)->FieldSize;
        const uint8_t* values = TableBytes(readTable) + readFirst * size;
        answer = {readTable, readFirst, readCount};
        answer.insert(answer.end(), values, values + readCount * size);
    }
    return Accept(answer);
}

SimAnswer SimDevice::Handle(const std::vector<uint8_t>& frame) {
    SimAnswer answer;
    if (frame.size() < FrameOverhead || frame.size() > MaxFrameLength || frame[0] != RequestStart ||
        frame[2] != frame.size() ||
        FrameCheckSum(frame.data(), static_cast<uint16_t>(frame.size())) != 0 ||
        frame[1] != address) {
        return answer;
    }
    bool silent = false, noise = false, badCrc = false, gap = false, echo = false;
    corrupt_ = false;
    std::optional<uint8_t> refuse;
    for (SimFault& fault : faults) {
        if (fault.remaining == 0) {
            continue;
        }
        if (fault.skip > 0) {
            --fault.skip;
            continue;
        }
        if (fault.remaining > 0) {
            --fault.remaining;
        }
        switch (fault.kind) {
            case SimFault::Silent:
                silent = true;
                break;
            case SimFault::Noise:
                noise = true;
                break;
            case SimFault::BadCrc:
                badCrc = true;
                break;
            case SimFault::Gap:
                gap = true;
                break;
            case SimFault::Echo:
                echo = true;
                break;
            case SimFault::Refuse:
                refuse = static_cast<uint8_t>(fault.refuseCode);
                break;
            case SimFault::Corrupt:
                corrupt_ = true;
                break;
        }
    }
    if (silent) {
        return answer;  // the request never reached the device
    }
    std::vector<uint8_t> response;
    if (refuse) {
        const uint8_t table = frame[2] > 9 && frame[9] > 0 ? frame[7] : frame[4];
        response =
            *refuse == DeviceErrorValve ? Refusal(*refuse, 1, 0) : Refusal(*refuse, 0, table);
    } else {
        response = Process(frame, answer);
    }
    // The rest damage the answer on its way back; the device did its work.
    if (echo && response[3] == (TableExchange | AcceptedBit) && response.size() > 8) {
        response[4] = static_cast<uint8_t>(response[4] + 1);
        response = Frame(response[3], {response.begin() + 4, response.end() - 2}, address);
    }
    if (badCrc) {
        response.back() ^= 0x5A;
    }
    if (gap) {
        response.resize(3);
    }
    if (noise) {
        answer.bytes.assign(std::begin(NoiseBytes), std::end(NoiseBytes));
    }
    answer.bytes.insert(answer.bytes.end(), tables.Link[1], PreambleByte);
    answer.bytes.insert(answer.bytes.end(), response.begin(), response.end());
    return answer;
}

bool SimDevice::SaveState(const std::string& path) const {
    std::vector<uint8_t> bytes(SimStateMagic, SimStateMagic + 4);
    bytes.push_back(SimStateVersion);
    const auto* raw = reinterpret_cast<const uint8_t*>(&tables);
    bytes.insert(bytes.end(), raw, raw + sizeof tables);
    return ReplaceFile(path, bytes.data(), bytes.size()) == ReplaceResult::Replaced;
}

bool SimDevice::LoadState(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(SimStateSize + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<size_t>(in.gcount()) != SimStateSize ||
        std::memcmp(bytes.data(), SimStateMagic, 4) != 0 ||
        static_cast<uint8_t>(bytes[4]) != SimStateVersion) {
        return false;
    }
    std::memcpy(&tables, bytes.data() + 5, sizeof tables);
    if (DestroyedTable() != 0) {
        Destroy(DestroyedTable());
    }
    return true;
}
