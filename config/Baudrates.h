#pragma once
// The device stores every baud rate as a code 0..21 into this table.
#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::array<int32_t, 22> BaudRates = {
    300,  600,   1200,  2400,  3200,  3600,  4800,  5760,  6400,  7200,   7680,
    9600, 11520, 12800, 14400, 19200, 23040, 28800, 38400, 57600, 115200, 230400,
};

// Code to rate; a code outside the table gives 0.
int32_t BaudRateOf(int code);
// Rate to code; a rate not in the table gives -1.
int BaudCodeOf(int32_t rate);
