#pragma once
// The serial line over POSIX termios.
#include <string>

#include "link/Comportfunctions.h"

// Opens path exclusively (TIOCEXCL and a non-blocking flock), raw, no flow control,
// with settings already normalised. Null on any failure, the descriptor closed.
ComPortHandle OpenPosixPort(const std::string& path, const LineSettings& settings);
