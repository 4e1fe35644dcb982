#include "link/Linerate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

bool SetLineRate(int fd, int32_t rate) {
    if (rate <= 0) {
        return false;
    }
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(rate);
    tio.c_ospeed = static_cast<speed_t>(rate);
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        return false;
    }
    // A UART that cannot come near the rate is reported back with what it did set.
    const int32_t actual = GetLineRate(fd);
    return actual > 0 && std::abs(static_cast<int64_t>(actual) - rate) * 50 <= rate;
}

int32_t GetLineRate(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return -1;
    }
    return static_cast<int32_t>(tio.c_ospeed);
}
