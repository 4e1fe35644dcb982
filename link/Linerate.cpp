#include "link/Linerate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

namespace {

// The rates the classic speed codes name. A line set with one of them reads back as that
// code to every other program (stty, Wine); only the rest need BOTHER.
struct StandardRate {
    int32_t rate;
    tcflag_t code;
};
constexpr StandardRate StandardRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

tcflag_t SpeedCode(int32_t rate) {
    for (const StandardRate& standard : StandardRates) {
        if (standard.rate == rate) {
            return standard.code;
        }
    }
    return BOTHER;
}

}  // namespace

bool SetLineRate(int fd, int32_t rate) {
    if (rate <= 0) {
        return false;
    }
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    const tcflag_t code = SpeedCode(rate);
    tio.c_cflag |= code | (code << IBSHIFT);
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
