#include "cli/Report.h"

#include <cstdio>

#include "config/Baudrates.h"
#include "config/Codepage.h"
#include "config/Configdiff.h"
#include "config/Identtext.h"
#include "config/Stringi.h"

namespace {

std::string Number(int value) {
    return std::to_string(value);
}

// A line as the terminal may show it. What a file, the device tree or a link name holds
// cannot end the line or drive the terminal: control characters are written as \n, \r,
// \t, \e or \xNN, the C1 controls and the line and paragraph separators as \uNNNN, and a
// byte that begins no UTF-8 character as \xNN. Other text, Cyrillic included, stays.
std::string Shown(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    char escape[8];
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t at = pos;
        char32_t c = 0;
        if (!NextCodePoint(text, pos, c)) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<uint8_t>(text[at]));
            shown += escape;
            pos = at + 1;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == 0x1B) {
            shown += "\\e";
        } else if (c < 0x80 && IsControlCharacter(c)) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            shown += escape;
        } else if (IsControlCharacter(c) || c == 0x2028 || c == 0x2029) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            shown += escape;
        } else {
            shown.append(text, at, pos - at);
        }
    }
    return shown;
}

std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ",") + item;
    }
    return text;
}

}  // namespace

std::string IdentReport(const uint8_t* ident, bool json) {
    const auto values = IdentValues(ident, true);
    std::string text;
    if (!json) {
        for (int row = 0; row < IdentRowCount; ++row) {
            text += Shown(IdentCaption(row) + ": " + values[static_cast<size_t>(row)]) + "\n";
        }
        return text;
    }
    std::vector<std::string> rows;
    for (int row = 0; row < IdentRowCount; ++row) {
        rows.push_back("{\"caption\":" + JsonString(IdentCaption(row)) +
                       ",\"value\":" + JsonString(values[static_cast<size_t>(row)]) + "}");
    }
    return "{\"type_code\":" + Number(ident[IdentTypeCode]) +
           ",\"software_version\":" + Number(ident[IdentSoftwareVersion]) +
           ",\"destroyed_table\":" + Number(ident[IdentDestroyedTable]) + ",\"rows\":[" +
           Join(rows) + "]}\n";
}

std::string StateReport(const std::array<uint8_t, TableCount>& table7, bool json) {
    std::vector<std::string> items;
    std::string text;
    for (int table = 0; table < static_cast<int>(TableCount); ++table) {
        const bool destroyed = table7[static_cast<size_t>(table)] != 0;
        if (!IsConfigTable(table) && !destroyed) {
            continue;
        }
        text += Number(table) + "\t" + (destroyed ? "Да" : "Нет") + "\t" + TableName(table) + "\n";
        items.push_back("{\"table\":" + Number(table) +
                        ",\"name\":" + JsonString(TableName(table)) +
                        ",\"destroyed\":" + (destroyed ? "true" : "false") + "}");
    }
    return json ? "{\"tables\":[" + Join(items) + "]}\n" : text;
}

std::string ShowReport(const ConfigRecord& record, bool json) {
    if (!json) {
        std::string text;
        for (const ConfigLine& line : DescribeConfig(record, HasRtsControl(record))) {
            if (line.Caption.rfind(FlowComputerCaptionText, 0) != 0 ||
                line.Value != NotConnectedText) {
                text += Shown(line.Caption + ": " + line.Value) + "\n";
            }
        }
        return text;
    }
    const auto& link = record.LinkParams;
    std::string linkJson = "{\"rate\":" + Number(BaudRateOf(link[UpperLevelBaudCode])) +
                           ",\"reply_preambles\":" + Number(link[UpperLevelReplyPreambles]) +
                           ",\"request_preambles\":" + Number(link[FlowComputerRequestPreambles]) +
                           ",\"reply_wait\":" + Number(link[FlowComputerReplyWait]) +
                           ",\"wait_preambles\":" + Number(link[WaitFlowComputerPreambles]) +
                           ",\"priority\":" + Number(link[AccessPriority]) +
                           ",\"retry_delay\":" + Number(link[PortRetryDelay]);
    if (HasRtsControl(record)) {
        linkJson += ",\"rts_control\":" + Number(link[UpperLevelRtsControl]);
    }
    std::vector<std::string> computers;
    for (size_t address = 1; address < FlowComputerCount; ++address) {
        const FlowComputerRecord& c = record.FlowComputers[address];
        if (c.Connected != 0) {
            computers.push_back("{\"address\":" + Number(static_cast<int>(address)) +
                                ",\"port\":" + JsonString(std::string(1, PortLetter(c.Port))) +
                                ",\"rate\":" + Number(BaudRateOf(c.BaudCode)) + "}");
        }
    }
    return "{\"software_version\":" + Number(record.SoftwareVersion()) + ",\"link\":" + linkJson +
           "},\"modem\":" + JsonString(ModemInitText(record)) + ",\"flow_computers\":[" +
           Join(computers) + "]}\n";
}

std::string DiffReport(const std::vector<ConfigDifference>& differences, bool json) {
    std::string text;
    std::vector<std::string> items;
    for (const ConfigDifference& d : differences) {
        text += Shown(d.Caption + ": " + d.A + " -> " + d.B) + "\n";
        items.push_back("{\"field\":" + JsonString(d.Caption) + ",\"a\":" + JsonString(d.A) +
                        ",\"b\":" + JsonString(d.B) + "}");
    }
    return json ? "[" + Join(items) + "]\n" : text;
}

namespace {

std::string PortJson(const FoundPort& port) {
    return "{\"device\":" + JsonString(port.Device) + ",\"by_id\":" + JsonString(port.ById) +
           ",\"driver\":" + JsonString(port.Driver) + ",\"usb\":" + (port.Usb ? "true" : "false") +
           ",\"vendor_id\":" + JsonString(port.VendorId) +
           ",\"product_id\":" + JsonString(port.ProductId) +
           ",\"manufacturer\":" + JsonString(port.Manufacturer) +
           ",\"product\":" + JsonString(port.Product) +
           ",\"serial\":" + JsonString(port.SerialNumber) + ",\"uart\":" + JsonString(port.Uart) +
           ",\"may_open\":" + (port.MayOpen ? "true" : "false") +
           ",\"group\":" + JsonString(port.Group) + ",\"text\":" + JsonString(FoundPortText(port)) +
           "}";
}

}  // namespace

std::string PortsReport(const std::vector<ComBinding>& bindings,
                        const std::vector<const FoundPort*>& unbound, bool json) {
    std::string text;
    std::vector<std::string> comItems;
    for (const ComBinding& b : bindings) {
        text += Shown(ComBindingText(b)) + "\n";
        comItems.push_back("{\"number\":" + Number(b.Number) + ",\"link\":" + JsonString(b.Link) +
                           ",\"target\":" + JsonString(b.Target) +
                           ",\"present\":" + (b.Present ? "true" : "false") +
                           ",\"text\":" + JsonString(ComBindingText(b)) +
                           ",\"port\":" + (b.Port ? PortJson(*b.Port) : "null") + "}");
    }
    std::vector<std::string> foundItems;
    if (!unbound.empty()) {
        text += "Найдены, не назначены:\n";
    }
    for (const FoundPort* port : unbound) {
        text += Shown(FoundPortText(*port)) + "\n";
        foundItems.push_back(PortJson(*port));
    }
    return json ? "{\"com\":[" + Join(comItems) + "],\"unbound\":[" + Join(foundItems) + "]}\n"
                : text;
}

std::string WriteJsonReport(const WriteAccount& account, const WriteCheck& check) {
    static const char* const fates[] = {"not_sent", "refused", "unconfirmed", "confirmed"};
    std::string json = "{\"complete\":";
    json += account.Complete() ? "true" : "false";
    json += ",\"requests\":[";
    for (size_t i = 0; i < account.Steps.size(); ++i) {
        const WriteStep& step = account.Steps[i];
        json += i == 0 ? "{" : ",{";
        json += "\"table\":" + std::to_string(step.Table);
        json += ",\"first_field\":" + std::to_string(step.FirstField);
        json += ",\"field_count\":" + std::to_string(step.FieldCount);
        json += ",\"result\":\"";
        json += fates[static_cast<size_t>(step.Fate)];
        json += "\"}";
    }
    static const char* const results[] = {"not_checked", "verified", "mismatch", "not_read"};
    json += "],\"check\":\"";
    json += results[static_cast<size_t>(check.Result)];
    json += "\",\"mismatches\":[";
    for (size_t i = 0; i < check.Differences.size(); ++i) {
        const ConfigDifference& d = check.Differences[i];
        json += (i == 0 ? "{\"field\":" : ",{\"field\":") + JsonString(d.Caption) +
                ",\"written\":" + JsonString(d.A) + ",\"read\":" + JsonString(d.B) + "}";
    }
    json += "],\"backup\":" + JsonString(check.BackupFile) + "}\n";
    return json;
}
