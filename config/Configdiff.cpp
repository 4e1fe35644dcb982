#include "config/Configdiff.h"

#include "config/Baudrates.h"
#include "config/Codepage.h"

namespace {

constexpr char PortLetters[] = "ABC";

std::string Number(int value) {
    return std::to_string(value);
}

// A two-way choice of the editor; a value it has no item for is shown as the number.
std::string Choice(uint8_t value, const char* zero, const char* one) {
    return value == 0 ? zero : value == 1 ? one : Number(value);
}

std::string FlowComputerText(const FlowComputerRecord& computer) {
    if (computer.Connected == 0) {
        return NotConnectedText;
    }
    return std::string(1, PortLetter(computer.Port)) + " " + Number(BaudRateOf(computer.BaudCode));
}

}  // namespace

bool HasRtsControl(const ConfigRecord& record) {
    return LinkTableFieldCount(record.SoftwareVersion()) > static_cast<int>(UpperLevelRtsControl);
}

char PortLetter(uint8_t port) {
    return port >= 1 && port <= LastPort ? PortLetters[port - 1] : '?';
}

std::vector<ConfigLine> DescribeConfig(const ConfigRecord& record, bool withRtsControl) {
    const auto& link = record.LinkParams;
    std::vector<ConfigLine> lines = {
        {"Скорость обмена с ВУ", Number(BaudRateOf(link[UpperLevelBaudCode]))},
        {"Количество преамбул при ответе ВУ", Number(link[UpperLevelReplyPreambles])},
        {"Количество преамбул в запросе к вычислителю", Number(link[FlowComputerRequestPreambles])},
        {"Длительность ожидания ответа от вычислителя", Number(link[FlowComputerReplyWait])},
        {"Преамбулы от вычислителя",
         Choice(link[WaitFlowComputerPreambles], "Не ожидать", "Ожидать")},
        {"Приоритет", Choice(link[AccessPriority], "Высокий", "Низкий")},
        {"Задержка перед повторной попыткой занять порт",
         Choice(link[PortRetryDelay], "Меньшая", "Большая")},
    };
    if (withRtsControl) {
        lines.push_back({"Необходимость управления сигналом RTS в канале связи с ВУ",
                         Choice(link[UpperLevelRtsControl], "Не требуется", "Требуется")});
    }
    lines.push_back({"Строка инициализации модема", ModemInitText(record)});
    for (size_t address = 1; address < FlowComputerCount; ++address) {
        lines.push_back({FlowComputerCaptionText + Number(static_cast<int>(address)),
                         FlowComputerText(record.FlowComputers[address])});
    }
    return lines;
}

std::vector<ConfigDifference> CompareConfigs(const ConfigRecord& a, const ConfigRecord& b) {
    const bool rts = HasRtsControl(a) || HasRtsControl(b);
    const std::vector<ConfigLine> left = DescribeConfig(a, rts);
    const std::vector<ConfigLine> right = DescribeConfig(b, rts);
    std::vector<ConfigDifference> differences;
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i].Value != right[i].Value) {
            differences.push_back({left[i].Caption, left[i].Value, right[i].Value});
        }
    }
    return differences;
}

std::vector<std::string> DifferenceLines(const std::vector<ConfigDifference>& differences) {
    std::vector<std::string> lines;
    lines.reserve(differences.size());
    for (const ConfigDifference& d : differences) {
        lines.push_back(d.Caption + ": " + d.A + " → " + d.B);
    }
    return lines;
}
