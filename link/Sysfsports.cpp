// The serial ports of a Linux machine, from sysfs and /dev.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

#include "link/Portlist.h"
#include "link/Posixport.h"

namespace fs = std::filesystem;

namespace {

// The serial driver's port types (PORT_* of the kernel), 0 being "no UART here".
constexpr std::array<const char*, 15> UartTypes = {
    "",      "8250",     "16450",  "16550", "16550A", "Cirrus", "16650",   "16650V2",
    "16750", "Startech", "16C950", "16654", "16850",  "RSA",    "NS16550A"};

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
        line.pop_back();
    }
    return line;
}

// The port's UART type, "" where its driver is no serial-core driver, "none" where the
// serial driver found no UART.
std::string UartType(const fs::path& ttyEntry) {
    std::error_code error;
    if (!fs::exists(ttyEntry / "type", error)) {
        return {};
    }
    const std::string text = FirstLine(ttyEntry / "type");
    int type = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || type > 1000) {
            return "none";
        }
        type = type * 10 + (c - '0');
    }
    if (text.empty() || type == 0) {
        return "none";
    }
    return type < static_cast<int>(UartTypes.size()) ? UartTypes[static_cast<size_t>(type)]
                                                     : "тип " + std::to_string(type);
}

// The USB device above a tty's device: the first folder up that names a vendor, without
// leaving the sysfs root.
fs::path UsbDeviceOf(const fs::path& device, const fs::path& sysRoot) {
    std::error_code error;
    for (fs::path folder = device; !folder.empty() && folder != sysRoot;
         folder = folder.parent_path()) {
        if (fs::exists(folder / "idVendor", error)) {
            return folder;
        }
        if (folder == folder.parent_path()) {
            break;
        }
    }
    return {};
}

bool MayOpen(const struct stat& info, const PortUser& user) {
    if (user.Uid == 0) {
        return true;
    }
    constexpr mode_t ReadWrite = S_IRUSR | S_IWUSR;
    if (info.st_uid == user.Uid) {
        return (info.st_mode & ReadWrite) == ReadWrite;
    }
    const bool member =
        std::find(user.Groups.begin(), user.Groups.end(), info.st_gid) != user.Groups.end();
    if (member) {
        return (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    }
    return (info.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH);
}

// ttyUSB10 after ttyUSB9: the name's letters, then its number.
std::tuple<std::string, long, std::string> SortKey(const std::string& name) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) {
        --digits;
    }
    const std::string number = name.substr(digits);
    const long value = number.empty() || number.size() > 9 ? -1 : std::stol(number);
    return {name.substr(0, digits), value, number};
}

void FillUsb(FoundPort& port, const fs::path& usb) {
    port.Usb = true;
    port.VendorId = FirstLine(usb / "idVendor");
    port.ProductId = FirstLine(usb / "idProduct");
    port.Manufacturer = FirstLine(usb / "manufacturer");
    port.Product = FirstLine(usb / "product");
    port.SerialNumber = FirstLine(usb / "serial");
}

void FillById(std::vector<FoundPort>& ports, const fs::path& devRoot) {
    std::error_code error;
    fs::directory_iterator links(devRoot / "serial" / "by-id", error);
    if (error) {
        return;
    }
    for (const fs::directory_entry& link : links) {
        const fs::path target = fs::canonical(link.path(), error);
        if (error) {
            continue;
        }
        for (FoundPort& port : ports) {
            if (port.ById.empty() && fs::canonical(port.Device, error) == target) {
                port.ById = link.path().string();
            }
        }
    }
}

}  // namespace

PortUser CurrentPortUser() {
    PortUser user;
    user.Uid = static_cast<uint32_t>(geteuid());
    user.Groups.push_back(static_cast<uint32_t>(getegid()));
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<size_t>(count));
        const int got = getgroups(count, groups.data());
        for (int i = 0; i < got; ++i) {
            user.Groups.push_back(static_cast<uint32_t>(groups[static_cast<size_t>(i)]));
        }
    }
    return user;
}

std::vector<FoundPort> FindSerialPorts() {
    return FindSerialPorts(PortRoots{}, CurrentPortUser());
}

std::vector<FoundPort> FindSerialPorts(const PortRoots& roots, const PortUser& user) {
    std::vector<FoundPort> ports;
    const fs::path sysRoot = fs::weakly_canonical(roots.Sys);
    std::error_code error;
    fs::directory_iterator entries(sysRoot / "class" / "tty", error);
    if (error) {
        return ports;
    }
    for (const fs::directory_entry& entry : entries) {
        const fs::path tty = entry.path();
        // Consoles and ptys have no device behind them.
        const fs::path device = fs::canonical(tty / "device", error);
        if (error) {
            continue;
        }
        FoundPort port;
        port.Name = tty.filename().string();
        port.Uart = UartType(tty);
        const fs::path usb = UsbDeviceOf(device, sysRoot);
        if (port.Uart == "none" || (usb.empty() && port.Uart.empty())) {
            continue;  // a ttyS the serial driver keeps a place for, with no UART there
        }
        if (!usb.empty()) {
            FillUsb(port, usb);
        }
        const fs::path driver = fs::read_symlink(device / "driver", error);
        port.Driver = error ? std::string() : driver.filename().string();
        const fs::path node = fs::path(roots.Dev) / port.Name;
        struct stat info {};
        if (stat(node.c_str(), &info) != 0) {
            continue;  // no device file to open
        }
        port.Device = node.string();
        port.MayOpen = MayOpen(info, user);
        if (!port.MayOpen && (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
            port.Group = GroupNameOf(info.st_gid);
        }
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const FoundPort& a, const FoundPort& b) {
        return SortKey(a.Name) < SortKey(b.Name);
    });
    FillById(ports, roots.Dev);
    return ports;
}
