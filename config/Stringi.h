#pragma once
// The titles of the device's tables as the operator sees them, by table number.
#include <array>

#include "config/Devicetables.h"

extern const std::array<const char*, TableCount> TableNames;

// The empty text for a number outside 0..7.
const char* TableName(int table);
