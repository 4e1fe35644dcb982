#pragma once
// The serial line over POSIX termios.
#include <string>

#include "link/Comportfunctions.h"

// Opens path exclusively (TIOCEXCL and a non-blocking flock), raw, no flow control,
// with settings already normalised. Null on any failure, the descriptor closed, and the
// cause in *failure when given.
TransportHandle OpenPosixPort(const std::string& path, const LineSettings& settings,
                              std::string* failure = nullptr);

// The cause of a failed open of path, for the second line of the operator's message.
std::string PortFailureText(int error, const std::string& path);

// The name of a group, or its number where it has none.
std::string GroupNameOf(unsigned gid);
