// The serial ports of a Windows machine: the system names them COMn itself, and lists them
// under HARDWARE\DEVICEMAP\SERIALCOMM (the device's driver name, and the COM name).
#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "link/Portlist.h"
#include "link/Win32line.h"

namespace {

std::string Narrow(const wchar_t* text, size_t length) {
    return std::filesystem::path(std::wstring(text, length)).string();
}

int ComNumberOf(const std::string& name) {
    if (Win32PortPath(name) == name) {
        return 0;
    }
    return std::stoi(name.substr(3));
}

}  // namespace

PortUser CurrentPortUser() {
    return {};
}

std::vector<FoundPort> FindSerialPorts(const PortRoots&, const PortUser&) {
    std::vector<FoundPort> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[64];
        DWORD nameLength = 256;
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        size_t dataLength = dataSize / sizeof(wchar_t);
        while (dataLength > 0 && data[dataLength - 1] == L'\0') {
            --dataLength;
        }
        FoundPort port;
        port.Name = Narrow(data, dataLength);
        port.ComNumber = ComNumberOf(port.Name);
        if (port.ComNumber == 0) {
            continue;
        }
        port.Device = Win32PortPath(port.Name);
        port.Driver = Narrow(name, nameLength);  // \Device\VCP0, \Device\Serial0, ...
        port.Product = port.Driver;
        ports.push_back(std::move(port));
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const FoundPort& a, const FoundPort& b) { return a.ComNumber < b.ComNumber; });
    return ports;
}

std::vector<FoundPort> FindSerialPorts() {
    return FindSerialPorts(PortRoots{}, CurrentPortUser());
}
