#pragma once
// A machine's serial ports laid out as sysfs and /dev show them, in a scratch folder: a
// USB adapter with its by-id link, a USB modem (ACM), UARTs with and without a chip.
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "link/Portlist.h"

class FakePortTree {
public:
    FakePortTree() {
        char pattern[] = "/tmp/zantir-ports-XXXXXX";
        const char* made = mkdtemp(pattern);
        dir.path = made ? made : "/nonexistent";
        roots.Sys = (dir.path / "sys").string();
        roots.Dev = (dir.path / "dev").string();
        std::filesystem::create_directories(dir.path / "sys" / "class" / "tty");
        std::filesystem::create_directories(dir.path / "dev");
    }

    // A USB serial adapter on bus path usb (1-1): the interface 1-1:1.0 holds the tty.
    void UsbAdapter(const std::string& name, const std::string& usb, const std::string& vendor,
                    const std::string& product, const std::string& productName,
                    const std::string& driver, const std::string& byId = {}) {
        const std::filesystem::path device = UsbDevice(usb, vendor, product, productName);
        const std::filesystem::path tty = device / (usb + ":1.0") / name;
        Tty(name, tty, driver);
        if (!byId.empty()) {
            const std::filesystem::path links = dir.path / "dev" / "serial" / "by-id";
            std::filesystem::create_directories(links);
            std::filesystem::create_symlink("../../" + name, links / byId);
        }
    }

    // A USB modem: the tty's device is the interface itself.
    void AcmDevice(const std::string& name, const std::string& usb,
                   const std::string& productName) {
        const std::filesystem::path device = UsbDevice(usb, "2341", "0043", productName);
        Tty(name, device / (usb + ":1.0"), "cdc_acm");
    }

    // A ttyS of the serial driver; type 0 is a place with no UART behind it.
    void Uart(const std::string& name, int type) {
        const std::filesystem::path device = Sys("devices/pnp0/00:0" + name.substr(4));
        Tty(name, device, "serial8250");
        Write(Sys("class/tty") / name / "type", std::to_string(type));
    }

    // A console: a tty without a device.
    void Console(const std::string& name) {
        std::filesystem::create_directories(Sys("class/tty") / name);
        Write(Dev(name), "");
    }

    std::filesystem::path Dev(const std::string& name) const { return dir.path / "dev" / name; }

    ~FakePortTree() {
        std::error_code ignored;
        std::filesystem::remove_all(dir.path, ignored);
    }
    FakePortTree(const FakePortTree&) = delete;
    FakePortTree& operator=(const FakePortTree&) = delete;

    struct {
        std::filesystem::path path;
    } dir;
    PortRoots roots;

private:
    std::filesystem::path Sys(const std::string& relative) const {
        return dir.path / "sys" / relative;
    }

    std::filesystem::path UsbDevice(const std::string& usb, const std::string& vendor,
                                    const std::string& product, const std::string& productName) {
        const std::filesystem::path device = Sys("devices/pci0000:00/usb1") / usb;
        std::filesystem::create_directories(device);
        Write(device / "idVendor", vendor + "\n");
        Write(device / "idProduct", product + "\n");
        Write(device / "product", productName + "\n");
        Write(device / "manufacturer", "Maker\n");
        Write(device / "serial", "SN" + usb + "\n");
        return device;
    }

    // The class entry with its device link and driver, and the device file 0660.
    void Tty(const std::string& name, const std::filesystem::path& device,
             const std::string& driver) {
        std::filesystem::create_directories(device);
        const std::filesystem::path drivers = Sys("bus/drivers") / driver;
        std::filesystem::create_directories(drivers);
        std::error_code ignored;
        std::filesystem::create_symlink(drivers, device / "driver", ignored);
        const std::filesystem::path entry = Sys("class/tty") / name;
        std::filesystem::create_directories(entry);
        std::filesystem::create_symlink(device, entry / "device");
        Write(Dev(name), "");
        chmod(Dev(name).c_str(), 0660);
    }

    static void Write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file) << text;
    }
};
