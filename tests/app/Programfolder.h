#pragma once
// A program folder for a test of the whole program: settings for COM1 at 9600 bit/s,
// PORTS/COM1 linked to zantir-sim, and the program's directory pointed at it.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/Codepage.h"
#include "connection/Settings.h"
#include "link/Programdir.h"
#include "tests/support/SimProcess.h"

struct ProgramFolder {
    ProgramFolder(std::vector<std::string> simOptions, ConnectionSettings settings = {}) {
        char pattern[] = "/tmp/zantir-program-XXXXXX";
        directory = mkdtemp(pattern);
        std::filesystem::create_directory(directory / "PORTS");
        std::filesystem::create_directory(directory / "INI");
        sim = std::make_unique<SimProcess>(directory.string(), std::move(simOptions), "PORTS/COM1");
        settings.PortNumber = 1;
        settings.BaudRate = 9600;
        saved = SaveSettings(settings, (directory / "INI" / "zantir.ini").string());
        SetProgramDirectory(directory.string());
    }
    ~ProgramFolder() {
        sim.reset();
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    bool ok() const { return saved && sim->ok(); }
    // A file in CONFIG, the folder made when missing.
    std::filesystem::path Config(const std::string& name) const {
        std::filesystem::create_directory(directory / "CONFIG");
        return directory / "CONFIG" / name;
    }

    std::filesystem::path directory;
    std::unique_ptr<SimProcess> sim;
    bool saved = false;
};

// A telephone link to 555-01-02 with short modem waits.
inline ConnectionSettings TelephoneSettings() {
    ConnectionSettings settings;
    settings.LinkType = 1;
    settings.ConnectWait = 5;
    SetFieldText(settings.PhoneNumber, sizeof settings.PhoneNumber, "555-01-02");
    return settings;
}
