#include "link/Comportfunctions.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "link/Folders.h"

int32_t LimitBaudRate(int32_t rate) {
    if (rate < MinBaudRate) {
        return MinBaudRate;
    }
    if (rate > MaxBaudRate - 1) {
        return MaxBaudRate;
    }
    return rate;
}

LineSettings NormaliseLineSettings(LineSettings settings) {
    settings.BaudRate = LimitBaudRate(settings.BaudRate);
    if (settings.ByteSize < 4) {
        settings.ByteSize = 4;
    } else if (settings.ByteSize > 8) {
        settings.ByteSize = 8;
    }
    if (settings.Parity < 0 || settings.Parity > 2) {
        settings.Parity = 0;
    }
    if (settings.StopBits < 0 || settings.StopBits > 2) {
        settings.StopBits = 0;
    }
    return settings;
}

std::string PortsDirectory() {
    return Folders().Ports;
}

std::string ComPortPath(int portNumber, const std::string& portsDirectory,
                        const std::string& devRoot) {
    if (portNumber < 1) {
        return {};
    }
    const std::string name = "COM" + std::to_string(portNumber);
    const auto mapped = std::filesystem::path(portsDirectory) / name;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(mapped, error))) {
        return mapped.string();
    }
    return (std::filesystem::path(devRoot) / ("ttyS" + std::to_string(portNumber - 1))).string();
}

TransportHandle OpenComPort(int portNumber, int32_t baudRate, int byteSize, int parity,
                            int stopBits, uint32_t inQueue, uint32_t outQueue, bool dtr, bool rts) {
    const std::string path = ComPortPath(portNumber);
    if (path.empty()) {
        return nullptr;
    }
    LineSettings settings;
    settings.BaudRate = baudRate;
    settings.ByteSize = byteSize;
    settings.Parity = parity;
    settings.StopBits = stopBits;
    settings.InQueue = inQueue;
    settings.OutQueue = outQueue;
    settings.Dtr = dtr;
    settings.Rts = rts;
    return OpenComPortAt(path, settings);
}

bool ContainsText(const char* text, const char* pattern) {
    if (!text || !pattern) {
        return false;
    }
    const size_t n = std::strlen(text);
    const size_t p = std::strlen(pattern);
    if (n == 0 || n < p) {
        return false;
    }
    if (p == 0) {
        return true;
    }
    for (size_t start = 0; start + p <= n; ++start) {
        if (text[start] == pattern[0] && std::memcmp(text + start, pattern, p) == 0) {
            return true;
        }
    }
    return false;
}
