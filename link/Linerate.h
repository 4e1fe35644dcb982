#pragma once
// Any bit rate on a Linux tty, the non-standard ones too (termios2 with BOTHER).
// Kept apart: <asm/termbits.h> clashes with <termios.h>.
#include <cstdint>

// Sets both directions to rate; true when the driver reports it within 2 % of it.
bool SetLineRate(int fd, int32_t rate);
// The output rate the tty reports, or -1.
int32_t GetLineRate(int fd);
