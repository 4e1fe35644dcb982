#pragma once
// The serial ports this machine has, what COM1..COM8 lead to, and the binding of a found
// port to a COM number (a link PORTS/COMn, to the port's stable name where it has one).
// Shared by the connection dialog and zantir-cli.
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int ComPortCount = 8;

// Where the system keeps its device tree and its device files; tests give trees of their own.
struct PortRoots {
    std::string Sys = "/sys";
    std::string Dev = "/dev";
};

// Who asks, for the question whether a port may be opened.
struct PortUser {
    uint32_t Uid = 0;
    std::vector<uint32_t> Groups;  // the primary group and the others
};

// A serial port found in the device tree.
struct FoundPort {
    std::string Name;    // ttyUSB0
    std::string Device;  // /dev/ttyUSB0
    std::string ById;    // /dev/serial/by-id/..., empty where there is none
    std::string Driver;  // ftdi_sio, cdc_acm, ...
    std::string Uart;    // a UART's type as the serial driver names it (16550A)
    bool Usb = false;
    std::string Manufacturer;
    std::string Product;
    std::string VendorId;  // four hex digits
    std::string ProductId;
    std::string SerialNumber;
    bool MayOpen = true;
    std::string Group;  // when this user may not open it: the group that may
    int ComNumber = 0;  // the number the system itself gives it (Windows); 0: none
};

// What COMn leads to.
struct ComBinding {
    int Number = 0;
    std::string Link;      // PORTS/COMn when there is one
    std::string Target;    // what the link names, or the fall-back /dev/ttyS<n-1>; empty: none
    bool Present = false;  // the target is there
    const FoundPort* Port = nullptr;  // the found port it reaches, if any
};

// The ports of the machine: USB serial adapters and modems, and the UARTs the serial
// driver reports as there. Sorted by name, numbers in order.
std::vector<FoundPort> FindSerialPorts(const PortRoots& roots, const PortUser& user);
std::vector<FoundPort> FindSerialPorts();
PortUser CurrentPortUser();

// COM1..COM8 as the program would open them, with portsDirectory for PORTS.
std::vector<ComBinding> ComBindings(const std::vector<FoundPort>& found,
                                    const std::string& portsDirectory,
                                    const std::string& devRoot = "/dev");
// The found ports that no COMn reaches.
std::vector<const FoundPort*> UnboundPorts(const std::vector<FoundPort>& found,
                                           const std::vector<ComBinding>& bindings);
// The COM number a newly chosen port is bound to: the first that leads nowhere, else the
// first whose adapter is not plugged in; 0 when all eight are in use.
int FreeComNumber(const std::vector<ComBinding>& bindings);

// "/dev/ttyUSB0, FT232R USB UART", with the access the user lacks.
std::string FoundPortText(const FoundPort& port);
// "COM1 — /dev/ttyUSB0, FT232R USB UART" or "COM3 — не назначен".
std::string ComBindingText(const ComBinding& binding);

// Makes portsDirectory/COMn lead to the port: its by-id name where it has one, so that
// the binding follows the adapter to another socket. What was there is replaced only
// when it is a link. False with the cause in failure.
bool BindComPort(const std::string& portsDirectory, int number, const FoundPort& port,
                 std::string& failure);
