#include "config/Baudrates.h"

int32_t BaudRateOf(int code) {
    if (code < 0 || code >= static_cast<int>(BaudRates.size())) {
        return 0;
    }
    return BaudRates[static_cast<size_t>(code)];
}

int BaudCodeOf(int32_t rate) {
    for (size_t code = 0; code < BaudRates.size(); ++code) {
        if (BaudRates[code] == rate) {
            return static_cast<int>(code);
        }
    }
    return -1;
}
