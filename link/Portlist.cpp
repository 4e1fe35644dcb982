#include "link/Portlist.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "link/Comportfunctions.h"
#include "link/System.h"

namespace fs = std::filesystem;

namespace {

constexpr char Dash[] = " — ";

// Where a path finally leads, for comparing two names of one device; empty when nowhere.
std::string Resolved(const std::string& path) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    return error ? std::string() : real.string();
}

const FoundPort* PortAt(const std::vector<FoundPort>& found, const std::string& path) {
    const std::string real = Resolved(path);
    if (real.empty()) {
        return nullptr;
    }
    for (const FoundPort& port : found) {
        if (Resolved(port.Device) == real) {
            return &port;
        }
    }
    return nullptr;
}

std::string Description(const FoundPort& port) {
    if (!port.Product.empty()) {
        return port.Product;
    }
    if (port.Usb) {
        return "USB " + port.VendorId + ":" + port.ProductId;
    }
    return port.Uart.empty() ? std::string() : "UART " + port.Uart;
}

}  // namespace

std::vector<ComBinding> ComBindings(const std::vector<FoundPort>& found,
                                    const std::string& portsDirectory, const std::string& devRoot) {
    std::vector<ComBinding> bindings;
    for (int number = 1; number <= ComPortCount; ++number) {
        ComBinding binding;
        binding.Number = number;
        const auto numbered = std::find_if(found.begin(), found.end(), [&](const FoundPort& port) {
            return port.ComNumber == number;
        });
        if (numbered != found.end()) {
            binding.Port = &*numbered;
            binding.Target = numbered->Device;
            binding.Present = true;
            bindings.push_back(std::move(binding));
            continue;
        }
        const std::string path = ComPortPath(number, portsDirectory, devRoot);
        std::error_code error;
        const fs::file_status status = fs::symlink_status(path, error);
        binding.Port = PortAt(found, path);
        if (fs::is_symlink(status)) {
            binding.Link = path;
            binding.Target = fs::read_symlink(path, error).string();
            binding.Present = !Resolved(path).empty();
        } else if (fs::exists(status) && path.rfind(portsDirectory, 0) == 0) {
            binding.Link = path;  // a device file put there by hand
            binding.Target = path;
            binding.Present = true;
        } else if (binding.Port) {
            // /dev/ttyS<n-1> counts only where the serial driver reports a UART there.
            binding.Target = path;
            binding.Present = true;
        }
        bindings.push_back(std::move(binding));
    }
    return bindings;
}

std::vector<const FoundPort*> UnboundPorts(const std::vector<FoundPort>& found,
                                           const std::vector<ComBinding>& bindings) {
    std::vector<const FoundPort*> unbound;
    for (const FoundPort& port : found) {
        bool bound = false;
        for (const ComBinding& binding : bindings) {
            bound = bound || binding.Port == &port;
        }
        if (!bound) {
            unbound.push_back(&port);
        }
    }
    return unbound;
}

int FreeComNumber(const std::vector<ComBinding>& bindings) {
    for (const ComBinding& binding : bindings) {
        if (binding.Target.empty()) {
            return binding.Number;
        }
    }
    for (const ComBinding& binding : bindings) {
        if (!binding.Present) {
            return binding.Number;
        }
    }
    return 0;
}

std::string FoundPortText(const FoundPort& port) {
    std::string text = port.Device;
    const std::string description = Description(port);
    if (!description.empty()) {
        text += ", " + description;
    }
    if (!port.MayOpen) {
        text += port.Group.empty() ? " (нет прав доступа)"
                                   : " (нет прав доступа: нужна группа " + port.Group + ")";
    }
    return text;
}

std::string ComBindingText(const ComBinding& binding) {
    const std::string name = "COM" + std::to_string(binding.Number);
    if (binding.Target.empty()) {
        return name + Dash + "не назначен";
    }
    if (binding.Port) {
        return name + Dash + FoundPortText(*binding.Port);
    }
    if (!binding.Present) {
        return name + Dash + binding.Target + ", не подключён";
    }
    return name + Dash + binding.Target;
}

bool BindComPort(const std::string& portsDirectory, int number, const FoundPort& port,
                 std::string& failure) {
    if (number < 1 || number > ComPortCount) {
        failure = "нет порта COM" + std::to_string(number);
        return false;
    }
    std::error_code error;
    fs::create_directories(portsDirectory, error);
    if (error) {
        failure = "не создана папка " + portsDirectory + ": " + error.message();
        return false;
    }
    const fs::path link = fs::path(portsDirectory) / ("COM" + std::to_string(number));
    const fs::file_status status = fs::symlink_status(link, error);
    if (fs::exists(status) && !fs::is_symlink(status)) {
        failure = link.string() + " не является ссылкой, она не заменена";
        return false;
    }
    // A new link under a name of its own, then renamed over the old one: never a moment
    // without COMn, never half a link.
    const fs::path fresh = fs::path(portsDirectory) / (".COM" + std::to_string(number) + "." +
                                                       std::to_string(ProcessId()) + ".new");
    fs::remove(fresh, error);
    fs::create_symlink(port.ById.empty() ? port.Device : port.ById, fresh, error);
    if (!error) {
        fs::rename(fresh, link, error);
    }
    if (error) {
        failure = "не записана ссылка " + link.string() + ": " + error.message();
        fs::remove(fresh, error);
        return false;
    }
    return true;
}
