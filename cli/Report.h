#pragma once
// What zantir-cli prints on stdout: the identification, the table state, a configuration
// and the differences of two, as plain text lines or as JSON. Whatever a file, a link or
// the device tree holds, a text line stays one line with its control characters escaped
// (\n, \e, \xNN, ...), and JSON stays valid UTF-8.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/Codepage.h"
#include "config/Configdiff.h"
#include "config/Configrecord.h"
#include "config/Devicetables.h"
#include "connection/Deviceconnection.h"
#include "link/Conffun.h"
#include "link/Portlist.h"

std::string IdentReport(const uint8_t* ident, bool json);
// table7: the restoration flags of tables 0..7 as the device reported them.
std::string StateReport(const std::array<uint8_t, TableCount>& table7, bool json);
// The configuration, leaving out the flow computers that are not connected.
std::string ShowReport(const ConfigRecord& record, bool json);
std::string DiffReport(const std::vector<ConfigDifference>& differences, bool json);

// COM1..COM8 with where each leads, then the ports found that none reaches.
std::string PortsReport(const std::vector<ComBinding>& bindings,
                        const std::vector<const FoundPort*>& unbound, bool json);

// What became of each write request, as JSON: "confirmed", "unconfirmed" (sent whole, no
// sound answer: the device may have done it), "refused" or "not_sent".
// Then what the read back found ("not_checked", "verified", "mismatch", "not_read"), each
// field written that the device holds otherwise, and the history file kept before.
std::string WriteJsonReport(const WriteAccount& account, const WriteCheck& check);
