#include "config/Configrecord.h"

#include "config/Codepage.h"

#include <algorithm>

FlowComputerRecord UnpackFlowComputer(uint8_t entry) {
    FlowComputerRecord computer;
    computer.Port = static_cast<uint8_t>(entry >> EntryPortShift);
    computer.BaudCode = entry & EntryCodeMask;
    computer.Connected = computer.Port >= 1 && computer.Port <= LastPort ? 1 : 0;
    return computer;
}

uint8_t PackFlowComputer(const FlowComputerRecord& computer) {
    const int port = computer.Connected != 0 ? computer.Port : 0;
    return static_cast<uint8_t>(port << EntryPortShift | (computer.BaudCode & EntryCodeMask));
}

ConfigRecord NewConfigRecord(uint8_t softwareVersion) {
    ConfigRecord record;
    record.Ident[IdentTypeCode] = DeviceTypeCode;
    record.Ident[IdentSoftwareVersion] = softwareVersion;
    record.LinkParams[UpperLevelBaudCode] = DefaultBaudCode;
    record.LinkParams[UpperLevelReplyPreambles] = 3;
    record.LinkParams[FlowComputerRequestPreambles] = 5;
    record.LinkParams[AccessPriority] = 1;
    return record;
}

void LoadEditorRecord(const ConfigImage& image, ConfigRecord& record) {
    const uint8_t* bytes = image.Bytes.data();
    record.IdentPresent = 1;
    std::copy_n(bytes + IdentOffset, record.Ident.size(), record.Ident.begin());
    std::copy_n(bytes + LinkTableOffset, image.LinkTableBytes(), record.LinkParams.begin());
    std::copy_n(bytes + ModemTableOffset, record.ModemInit.size(), record.ModemInit.begin());
    for (size_t a = 0; a < FlowComputerCount; ++a) {
        record.FlowComputers[a] = UnpackFlowComputer(bytes[FlowComputerOffset + a]);
    }
}

void StoreEditorRecord(const ConfigRecord& record, ConfigImage& image) {
    uint8_t* bytes = image.Bytes.data();
    std::copy(record.LinkParams.begin(), record.LinkParams.end(), bytes + LinkTableOffset);
    std::copy(record.ModemInit.begin(), record.ModemInit.end(), bytes + ModemTableOffset);
    for (size_t a = 0; a < FlowComputerCount; ++a) {
        bytes[FlowComputerOffset + a] = PackFlowComputer(record.FlowComputers[a]);
    }
}

uint8_t RecordLinkFields(const ConfigRecord& record) {
    return static_cast<uint8_t>(LinkTableFieldCount(record.SoftwareVersion()));
}

void StoreRecordForDevice(const ConfigRecord& record, ConfigImage& image) {
    const ConfigImage before = image;
    StoreEditorRecord(record, image);
    const size_t held = RecordLinkFields(record);
    std::copy(before.Bytes.begin() + static_cast<long>(LinkTableOffset + held),
              before.Bytes.begin() + static_cast<long>(LinkTableOffset + LinkTable.Bytes()),
              image.Bytes.begin() + static_cast<long>(LinkTableOffset + held));
}

std::string ModemInitText(const ConfigRecord& record) {
    const std::string text =
        FieldText(reinterpret_cast<const char*>(record.ModemInit.data()), record.ModemInit.size());
    return text.substr(0, text.find('\r'));
}
