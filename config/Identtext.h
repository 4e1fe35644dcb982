#pragma once
// The texts of the identification view: row captions and value texts of an IdentBlock.
// The Qt dialog and the terminal program both show them, so they are made here once.
#include <array>
#include <cstdint>
#include <string>

enum IdentRows : int {
    IdentRowTypeCode,
    IdentRowHardware,
    IdentRowSoftware,
    IdentRowBuildDate,
    IdentRowByteOrder,
    IdentRowDestroyed,
    IdentRowMultiRate,
    IdentRowAddress,
    IdentRowProtocol,
    IdentRowCount,
};

// Caption lines of each row, top to bottom; unused lines are null.
extern const std::array<std::array<const char*, 3>, IdentRowCount> IdentCaptions;
// A row's caption lines joined by one blank.
std::string IdentCaption(int row);

// Value texts of the nine rows for the 17 bytes of an IdentBlock. Reduced mode (a record
// not read from a device) gives only the type code and the software version class.
std::array<std::string, IdentRowCount> IdentValues(const uint8_t* ident, bool fullMode);

// The program serves devices of type 8 with software versions 3 to 6. For any other
// device: false, with the notice's two lines.
bool DeviceServed(const uint8_t* ident, std::string& first, std::string& second);
