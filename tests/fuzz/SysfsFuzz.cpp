// The serial port list over a device tree and /dev laid out from the input in a scratch
// folder (on tmpfs where there is one), with the COM links beside them, and the ports
// report made of what was found. The input:
//   byte 0       who asks: bit 0 root, else a user who owns nothing here, in the
//                device files' group when bit 1 is set; bits 4..7 which COM numbers
//                have a link (one bit each for COM1..COM4);
//   then, for each of up to four ports, two flag bytes (see Port below), the count
//                coming from byte 1 (bits 0..1, plus one);
//   the rest     the texts the tree holds, separated by NUL bytes and used in turn:
//                names, file contents (any bytes), link targets.
// Missing bytes count as 0. What a port's file holds is any bytes at all; the list
// takes its first line, and only ports with a device behind them and a device file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Report.h"
#include "config/Codepage.h"
#include "link/Comportfunctions.h"
#include "link/Portlist.h"
#include "tests/fuzz/Fuzzcheck.h"
#include "tests/support/Jsoncheck.h"

namespace fs = std::filesystem;

namespace {

// The flags of one port.
enum PortFlag : unsigned {
    HasDevice = 1 << 0,       // the class entry has its device link (else a console)
    OnUsb = 1 << 1,           // the device sits under a USB device that names its vendor
    HasType = 1 << 2,         // the serial driver's type file, holding a text
    HasDriver = 1 << 3,       // the device's driver link
    HasNode = 1 << 4,         // the device file in /dev
    HasById = 1 << 5,         // a /dev/serial/by-id link to it
    UsbTexts = 1 << 6,        // manufacturer, product and serial files
    OpenToAll = 1 << 7,       // the device file 0666, else 0660
    DanglingDevice = 1 << 8,  // the device link leads nowhere
    EntryLink = 1 << 9,       // the class entry is a link into devices/, as sysfs has it
    DanglingById = 1 << 10,   // the by-id link leads nowhere
    TypeFolder = 1 << 11,     // the type file is a folder
    NoIdProduct = 1 << 12,    // the USB device lacks idProduct
    NodeLink = 1 << 13,       // the device file is a link to the first port's
    LoopDevice = 1 << 14,     // the device link is a loop of links
    OutsideTree = 1 << 15,    // the device lies outside the tree, under a vendor's folder
};

// The input read from its start; past its end every byte is 0.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // The texts of the rest, used in turn; none when the input is used up.
    void TakeTexts() {
        if (at_ >= size_) {
            return;
        }
        texts_.emplace_back();
        for (; at_ < size_; ++at_) {
            if (data_[at_] == 0) {
                texts_.emplace_back();
            } else {
                texts_.back().push_back(static_cast<char>(data_[at_]));
            }
        }
    }
    std::string Text() { return texts_.empty() ? std::string() : texts_[next_++ % texts_.size()]; }
    // A text that can name a file: no '/', not empty, "." or "..", and short enough.
    std::string Name(const std::string& fallback) {
        std::string name = Text().substr(0, 100);
        std::replace(name.begin(), name.end(), '/', '_');
        return name.empty() || name == "." || name == ".." ? fallback : name;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    std::vector<std::string> texts_;
    size_t next_ = 0;
};

// Empties the scratch folder for the next tree.
void Empty(const fs::path& folder) {
    std::error_code error;
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        entries.push_back(entry.path());
    }
    for (const fs::path& entry : entries) {
        fs::remove_all(entry, error);
    }
}

// Makes what it can; a part the input makes impossible (a name used twice) is left out.
void Put(const fs::path& file, const std::string& text) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::ofstream(file, std::ios::binary) << text;
}

void Link(const fs::path& target, const fs::path& link) {
    std::error_code error;
    fs::create_directories(link.parent_path(), error);
    fs::create_symlink(target, link, error);
}

void MakePort(const fs::path& root, size_t index, unsigned flags, Input& input,
              const std::string& firstName) {
    const fs::path sys = root / "sys";
    const fs::path dev = root / "dev";
    const std::string name = input.Name("ttyUSB" + std::to_string(index));
    const std::string bus = "1-" + std::to_string(index + 1);
    const fs::path usb = (flags & OutsideTree) ? root / "elsewhere" / bus
                                               : sys / "devices" / "pci0000:00" / "usb1" / bus;
    const fs::path device = (flags & (OnUsb | OutsideTree))
                                ? usb / (bus + ":1.0") / name
                                : sys / "devices" / "platform" / ("serial" + std::to_string(index));
    std::error_code error;
    fs::create_directories(device, error);
    if (flags & (OnUsb | OutsideTree)) {
        Put(usb / "idVendor", input.Text());
        if (!(flags & NoIdProduct)) {
            Put(usb / "idProduct", input.Text());
        }
        if (flags & UsbTexts) {
            Put(usb / "manufacturer", input.Text());
            Put(usb / "product", input.Text());
            Put(usb / "serial", input.Text());
        }
    }
    if (flags & HasDriver) {
        const fs::path driver = sys / "bus" / "drivers" / input.Name("driver");
        fs::create_directories(driver, error);
        Link(driver, device / "driver");
    }

    // The class entry: a folder, or a link to one under the device, as sysfs makes it.
    const fs::path classEntry = sys / "class" / "tty" / name;
    fs::path entry = classEntry;
    if (flags & EntryLink) {
        entry = device / "tty" / name;
        fs::create_directories(entry, error);
        Link(entry, classEntry);
    } else {
        fs::create_directories(entry, error);
    }
    if (flags & HasType) {
        if (flags & TypeFolder) {
            fs::create_directories(entry / "type", error);
        } else {
            Put(entry / "type", input.Text());
        }
    }
    if (flags & LoopDevice) {
        Link(entry / "loop", entry / "device");
        Link(entry / "device", entry / "loop");
    } else if (flags & DanglingDevice) {
        Link(sys / "devices" / "gone" / name, entry / "device");
    } else if (flags & HasDevice) {
        Link(device, entry / "device");
    }

    const fs::path node = dev / name;
    if (flags & NodeLink) {
        Link(dev / firstName, node);
    } else if (flags & HasNode) {
        Put(node, "");
        chmod(node.c_str(), (flags & OpenToAll) ? 0666 : 0660);
    }
    if (flags & HasById) {
        const fs::path byId = dev / "serial" / "by-id" / input.Name("usb-port");
        Link((flags & DanglingById) ? dev / "gone" : fs::path("../..") / name, byId);
    }
}

// A first line as the list gives it: no line end, no blank at its end.
bool FirstLineOnly(const std::string& text) {
    return text.find('\n') == std::string::npos &&
           (text.empty() || !std::isspace(static_cast<unsigned char>(text.back())));
}

std::string Resolved(const std::string& path) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    return error ? std::string() : real.string();
}

void CheckPort(const FoundPort& port, const PortRoots& roots, const PortUser& user) {
    FUZZ_CHECK(!port.Name.empty());
    FUZZ_CHECK(port.Device == (fs::path(roots.Dev) / port.Name).string());
    struct stat info {};
    FUZZ_CHECK(stat(port.Device.c_str(), &info) == 0);
    FUZZ_CHECK(port.Uart != "none");
    FUZZ_CHECK(port.Usb || !port.Uart.empty());
    if (!port.Usb) {
        FUZZ_CHECK(port.VendorId.empty() && port.ProductId.empty() && port.Manufacturer.empty() &&
                   port.Product.empty() && port.SerialNumber.empty());
    }
    for (const std::string* text : {&port.VendorId, &port.ProductId, &port.Manufacturer,
                                    &port.Product, &port.SerialNumber, &port.Uart}) {
        FUZZ_CHECK(FirstLineOnly(*text));
    }
    if (!port.ById.empty()) {
        const std::string byId = (fs::path(roots.Dev) / "serial" / "by-id").string() + "/";
        FUZZ_CHECK(port.ById.rfind(byId, 0) == 0);
        FUZZ_CHECK(!Resolved(port.Device).empty());
        FUZZ_CHECK(Resolved(port.ById) == Resolved(port.Device));
    }
    FUZZ_CHECK(user.Uid != 0 || port.MayOpen);
    FUZZ_CHECK(port.Group.empty() || !port.MayOpen);
    FUZZ_CHECK(port.ComNumber == 0);
    FUZZ_CHECK(FoundPortText(port).rfind(port.Device, 0) == 0);
}

// The report of what was found, as zantir-cli's ports command makes it: lines of text
// without control characters, and valid JSON.
void CheckReport(const std::vector<FoundPort>& found, const fs::path& ports,
                 const PortRoots& roots) {
    const std::vector<ComBinding> bindings = ComBindings(found, ports.string(), roots.Dev);
    FUZZ_CHECK(bindings.size() == static_cast<size_t>(ComPortCount));
    // A COM number reaches the found port that its link, or its /dev/ttyS name, leads to.
    for (const ComBinding& binding : bindings) {
        const std::string real = Resolved(ComPortPath(binding.Number, ports.string(), roots.Dev));
        const FoundPort* reached = nullptr;
        for (const FoundPort& port : found) {
            if (!reached && !real.empty() && Resolved(port.Device) == real) {
                reached = &port;
            }
        }
        FUZZ_CHECK(binding.Port == reached);
        FUZZ_CHECK(!binding.Port || binding.Present);
    }
    const std::vector<const FoundPort*> unbound = UnboundPorts(found, bindings);
    const std::string text = PortsReport(bindings, unbound, false);
    FUZZ_CHECK(!text.empty() && text.back() == '\n');
    size_t pos = 0;
    size_t lines = 0;
    while (pos < text.size()) {
        char32_t c = 0;
        FUZZ_CHECK(NextCodePoint(text, pos, c));
        FUZZ_CHECK(c == '\n' || !IsControlCharacter(c));
        lines += c == '\n' ? 1 : 0;
    }
    FUZZ_CHECK(lines == bindings.size() + (unbound.empty() ? 0 : 1 + unbound.size()));
    const std::string json = PortsReport(bindings, unbound, true);
    FUZZ_CHECK(jsoncheck::ValidJson(json));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFolder scratch{"sysfs"};
    const fs::path& root = scratch.Path();
    Empty(root);
    std::error_code error;
    fs::create_directories(root / "sys" / "class" / "tty", error);
    fs::create_directories(root / "dev", error);

    Input input{data, size};
    const uint8_t who = input.Byte();
    const size_t count = (input.Byte() & 3) + 1;
    std::vector<unsigned> flags(count);
    for (unsigned& f : flags) {
        f = input.Byte();
        f |= static_cast<unsigned>(input.Byte()) << 8;
    }
    input.TakeTexts();
    std::string firstName;
    for (size_t k = 0; k < count; ++k) {
        MakePort(root, k, flags[k], input, firstName);
        if (k == 0) {
            // The first port's name, for the device files that link to it.
            for (const auto& entry :
                 fs::directory_iterator(root / "sys" / "class" / "tty", error)) {
                firstName = entry.path().filename().string();
            }
        }
    }
    // COM1..COM4 links: to a by-id name, a device file, a text, or nowhere.
    const fs::path ports = root / "PORTS";
    for (int n = 0; n < 4; ++n) {
        if ((who >> (4 + n)) & 1) {
            Link(fs::path(input.Text().substr(0, 200)), ports / ("COM" + std::to_string(n + 1)));
        }
    }

    PortRoots roots;
    roots.Sys = (root / "sys").string();
    roots.Dev = (root / "dev").string();
    PortUser user;
    if (!(who & 1)) {
        user.Uid = static_cast<uint32_t>(getuid()) + 4321;
        if (who & 2) {
            user.Groups.push_back(static_cast<uint32_t>(getgid()));
        }
    }
    const std::vector<FoundPort> found = FindSerialPorts(roots, user);
    FUZZ_CHECK(found.size() <= count);
    for (size_t i = 0; i < found.size(); ++i) {
        CheckPort(found[i], roots, user);
        for (size_t j = 0; j < i; ++j) {
            FUZZ_CHECK(found[j].Name != found[i].Name);
        }
    }
    CheckReport(found, ports, roots);
    return 0;
}
