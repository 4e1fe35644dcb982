#pragma once
// Request frames as the program sends them, for the tests and the fuzz seeds that play
// the computer's side: a whole frame around data, and a table read.
#include <cstdint>
#include <vector>

#include "link/Plcbox.h"

namespace requests {

using Bytes = std::vector<uint8_t>;

inline Bytes Request(const Bytes& data, uint8_t code = TableExchange, uint8_t address = 0) {
    Bytes frame(MaxFrameLength);
    frame.resize(BuildFrame(RequestStart, address, code, data.data(), data.size(), frame.data()));
    return frame;
}

inline Bytes Read(uint8_t table, uint8_t first, uint8_t count) {
    return Request({table, first, count, 0, 0, 0});
}

}  // namespace requests
