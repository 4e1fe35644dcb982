#pragma once
// A configuration as the operator reads it, field by field in the editor's words, and the
// comparison of two: the change list before a write, the check after it, zantir-cli diff
// and the comparison dialog all use these lines.
#include <cstdint>
#include <string>
#include <vector>

#include "config/Configrecord.h"

inline constexpr char FlowComputerCaptionText[] = "Вычислитель ";
inline constexpr char NotConnectedText[] = "Нет";

// One line of a configuration: its caption and its value as the operator reads them.
struct ConfigLine {
    std::string Caption;
    std::string Value;
};

// The link parameter of RTS control is in the record's layout (software versions 5, 6).
bool HasRtsControl(const ConfigRecord& record);
// "A", "B" or "C"; '?' for a port number the device has no port for.
char PortLetter(uint8_t port);

// Table 3, the modem string and all flow computers 1..254, in the editor's words. The
// link parameter of RTS control is there when withRtsControl.
std::vector<ConfigLine> DescribeConfig(const ConfigRecord& record, bool withRtsControl);

// A field where a and b differ: its caption, the value in a and the value in b.
struct ConfigDifference {
    std::string Caption;
    std::string A;
    std::string B;
};
// The fields where a and b differ, in the order of DescribeConfig. The RTS control field
// is compared when either has it.
std::vector<ConfigDifference> CompareConfigs(const ConfigRecord& a, const ConfigRecord& b);

// "Caption: A → B", one line a difference.
std::vector<std::string> DifferenceLines(const std::vector<ConfigDifference>& differences);
