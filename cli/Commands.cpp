#include "cli/Commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/Report.h"
#include "config/Cnffile.h"
#include "config/Configrecord.h"
#include "config/Filestore.h"
#include "config/History.h"
#include "config/Tablestate.h"
#include "connection/Deviceconnection.h"
#include "link/Comportfunctions.h"
#include "link/Conffun.h"
#include "link/Folders.h"
#include "link/Plcbox.h"
#include "link/Portlist.h"
#include "link/System.h"

namespace {

constexpr char DeviceWord[] = "device";

void SayNotice(Terminal& ui, const FileNotice& notice) {
    ui.ShowMessage(notice.Error ? MessageError : MessageNotice, notice.Line1, notice.Line2);
}

// What the main window owns for its whole run, here for the life of one command: the
// engine, the image, the settings and the device connection, which hangs up a call
// that is up when the command ends.
class Session {
public:
    Session(const CliOptions& options, Terminal& ui)
        : settings_(options.Settings), ui_(ui), path_(options.PortPath) {
        engine_.Ui = &ui_;
        engine_.StatusPanel = StatusExchangePanel;
        engine_.MaxPollWait = NoPollCap;  // a terminal has no messages to run meanwhile
        device_.Rs485 = options.Rs485;
        device_.Network = options.Network;
        device_.Trace = options.Trace;
        device_.HistoryFolder = HistoryDirectory();
    }

    DeviceConnection& Device() { return device_; }
    ConfigImage& Image() { return image_; }

    bool Open() { return device_.Open(settings_, path_); }

    // The main window's connection: port, DTR, the call when by telephone, then the
    // identification, of which only type 8 with software version 3 to 6 is served.
    int Connect() {
        if (!Open()) {
            return ExitDevice;
        }
        ui_.SetPanelText(ConnectionPanel, device_.PanelText());
        return device_.Connect() ? ExitOk : ExitDevice;
    }

    // The whole configuration into a record; false has been said.
    bool ReadConfiguration(ConfigRecord& record) {
        if (!device_.ReadConfiguration()) {
            return false;
        }
        record = NewConfigRecord(image_.SoftwareVersion());
        LoadEditorRecord(image_, record);
        return true;
    }

private:
    ConnectionSettings settings_;
    Terminal& ui_;
    std::string path_;
    LinkEngine engine_{0};
    ConfigImage image_;
    DeviceConnection device_{engine_, image_, settings_, ui_};
};

bool ReadFile(const std::string& path, ConfigRecord& record, Terminal& ui) {
    FileNotice notice;
    if (!ReadConfigFile(path, record, notice)) {
        SayNotice(ui, notice);
        return false;
    }
    return true;
}

int Ident(const CliOptions& options, Terminal& ui) {
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    std::fputs(IdentReport(session.Image().Bytes.data() + IdentOffset, options.Json).c_str(),
               stdout);
    return ExitOk;
}

int State(const CliOptions& options, Terminal& ui) {
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    TableStateSet set{};
    if (!session.Device().ReadTableState(set)) {
        return ExitDevice;
    }
    std::fputs(StateReport(set.RestoreRequired, options.Json).c_str(), stdout);
    return ExitOk;
}

// A file that read may not replace: told before the device is bothered, and again if it
// appears while the device is read.
int Taken(const std::string& path, Terminal& ui) {
    ui.Say("zantir-cli: " + path + " is there already: nothing is written (--force replaces it)");
    return ExitFile;
}

int Read(const CliOptions& options, Terminal& ui) {
    const bool intoConfig = options.Arguments.empty();
    const std::string target = intoConfig ? ConfigDirectory() : options.Arguments[0];
    std::error_code ignored;  // a folder that cannot be made fails the write below
    if (intoConfig) {
        std::filesystem::create_directories(target, ignored);
    }
    // A folder takes a new file of the name a save proposes, free at the moment of saving.
    const bool intoFolder = target != "-" && std::filesystem::is_directory(target, ignored);
    if (target != "-" && !intoFolder && !options.Force && NameTaken(target)) {
        return Taken(target, ui);
    }
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    ConfigRecord record;
    if (!session.ReadConfiguration(record)) {
        return ExitDevice;
    }
    // "-": the file's bytes go to standard output, for a pipe.
    if (target == "-") {
        const auto file = ConfigFileData(record);
        const bool written = std::fwrite(file.data(), 1, file.size(), stdout) == file.size() &&
                             std::fflush(stdout) == 0;
        return written ? ExitOk : ExitFile;
    }
    std::string path = target;
    FileNotice notice;
    bool written = false;
    if (intoFolder) {
        written = SaveConfigFileInFolder(target, record, path, notice);
    } else if (options.Force) {
        written = WriteConfigFile(path, record, notice);
    } else {
        const SaveResult result = WriteNewConfigFile(path, record, notice);
        if (result == SaveResult::Exists) {
            return Taken(path, ui);
        }
        written = result == SaveResult::Saved;
    }
    SayNotice(ui, notice);
    if (!written) {
        return ExitFile;
    }
    std::printf("%s\n", path.c_str());
    return ExitOk;
}

// With --json, what became of each write request goes to stdout, whatever the outcome;
// a write read back as written is said on stderr.
void ReportWrite(const CliOptions& options, DeviceConnection& device, Terminal& ui) {
    if (device.LastCheck().Result == WriteCheckResult::Verified) {
        ui.Say(WrittenVerifiedText);
    }
    if (options.Json) {
        std::fputs(WriteJsonReport(device.LastWrite(), device.LastCheck()).c_str(), stdout);
    }
}

int Write(const CliOptions& options, Terminal& ui) {
    ConfigRecord record;
    if (!ReadFile(options.Arguments[0], record, ui)) {
        return ExitFile;
    }
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    DeviceConnection& device = session.Device();
    device.TellFileVersion(record.SoftwareVersion());
    StoreRecordForDevice(record, session.Image());
    const bool written =
        device.WriteTables(options.Tables, RecordLinkFields(record), !options.NoVerify);
    ReportWrite(options, device, ui);
    if (!written) {
        return ExitDevice;
    }
    device.TellDestroyedTable();
    const int destroyed = device.DestroyedTable();
    if (destroyed != 0) {
        // A table just written that the device still calls destroyed was not restored.
        if (options.Tables[static_cast<size_t>(destroyed) % TableCount] != 0) {
            return ExitDevice;
        }
    }
    return ExitOk;
}

int WriteChanged(const CliOptions& options, Terminal& ui) {
    ConfigRecord record;
    if (!ReadFile(options.Arguments[0], record, ui)) {
        return ExitFile;
    }
    Session session(options, ui);
    if (const int status = session.Connect(); status != ExitOk) {
        return status;
    }
    ConfigRecord device;
    if (!session.ReadConfiguration(device)) {
        return ExitDevice;
    }
    session.Device().TellFileVersion(record.SoftwareVersion());
    const ConfigImage snapshot = session.Image();
    StoreRecordForDevice(record, session.Image());
    if (options.DryRun) {
        // What the write would change, as the device would then hold it.
        ConfigRecord meant = NewConfigRecord(snapshot.SoftwareVersion());
        LoadEditorRecord(session.Image(), meant);
        std::fputs(DiffReport(CompareConfigs(device, meant), options.Json).c_str(), stdout);
        return ExitOk;
    }
    const WriteOutcome outcome = session.Device().WriteChanges(snapshot, !options.NoVerify);
    ReportWrite(options, session.Device(), ui);
    return outcome == WriteOutcome::Failed ? ExitDevice : ExitOk;
}

int Show(const CliOptions& options, Terminal& ui) {
    ConfigRecord record;
    if (!ReadFile(options.Arguments[0], record, ui)) {
        return ExitFile;
    }
    std::fputs(ShowReport(record, options.Json).c_str(), stdout);
    return ExitOk;
}

int Diff(const CliOptions& options, Terminal& ui) {
    std::array<ConfigRecord, 2> records;
    // Files first: a bad file is told before the device is bothered.
    for (size_t i = 0; i < records.size(); ++i) {
        if (options.Arguments[i] != DeviceWord && !ReadFile(options.Arguments[i], records[i], ui)) {
            return ExitFile;
        }
    }
    if (options.Arguments[0] == DeviceWord || options.Arguments[1] == DeviceWord) {
        Session session(options, ui);
        if (const int status = session.Connect(); status != ExitOk) {
            return status;
        }
        ConfigRecord device;
        if (!session.ReadConfiguration(device)) {
            return ExitDevice;
        }
        for (size_t i = 0; i < records.size(); ++i) {
            if (options.Arguments[i] == DeviceWord) {
                records[i] = device;
            }
        }
    }
    std::fputs(DiffReport(CompareConfigs(records[0], records[1]), options.Json).c_str(), stdout);
    return ExitOk;
}

// The connection dialog's search: the identification read at every rate from 600 bit/s
// up, once each, with short time-outs.
int Search(const CliOptions& options, Terminal& ui) {
    if (options.Settings.LinkType == LinkTypeNetwork) {
        ui.Say("search: not over a network link: the server's rate is set on the server");
        return ExitUsage;
    }
    if (options.Settings.LinkType != 0) {
        ui.Say("search: not over a telephone line (use --direct)");
        return ExitUsage;
    }
    Session session(options, ui);
    if (!session.Open()) {
        return ExitDevice;
    }
    const int32_t rate = session.Device().SearchRate([&ui](int32_t trying) {
        ui.Say(SearchStatusText(trying));
        return true;
    });
    if (rate > 0) {
        std::printf("%d\n", rate);
        return ExitOk;
    }
    return ExitDevice;
}

// Needs no device: what COM1..COM8 lead to and which ports are there besides.
int Ports(const CliOptions& options, Terminal&) {
    const std::vector<FoundPort> found = FindSerialPorts();
    const std::vector<ComBinding> bindings = ComBindings(found, PortsDirectory());
    std::fputs(PortsReport(bindings, UnboundPorts(found, bindings), options.Json).c_str(), stdout);
    return ExitOk;
}

// The folders this run uses: beside the program, or the user's own.
int Where(const CliOptions& options, Terminal&) {
    const ProgramFolders& folders = Folders();
    const std::pair<const char*, const std::string*> rows[] = {
        {"CONFIG", &folders.Config}, {"INI", &folders.Settings}, {"PORTS", &folders.Ports}};
    std::string text, json;
    for (const auto& [name, path] : rows) {
        // Appended in steps: GCC 12 misreports -Wrestrict on a chain of operator+.
        text += name;
        text += '\t';
        text += *path;
        text += '\n';
        json += json.empty() ? '{' : ',';
        json += JsonString(name);
        json += ':';
        json += JsonString(*path);
    }
    json += ",\"beside_program\":";
    json += folders.BesideProgram ? "true" : "false";
    json += "}\n";
    std::fputs((options.Json ? json : text).c_str(), stdout);
    return ExitOk;
}

// The settings in effect, the link options over the settings file, become the file: the
// program and later commands start from them.
int SaveSettingsCommand(const CliOptions& options, Terminal& ui) {
    std::error_code ignored;  // a folder that cannot be made fails the save below
    std::filesystem::create_directories(Folders().Settings, ignored);
    if (!SaveLinkSettings(options.Settings, options.Network)) {
        ui.Say("Параметры связи не сохранены в " + SettingsFilePath());
        return ExitFile;
    }
    ui.Say("Параметры связи сохранены в " + SettingsFilePath());
    return ExitOk;
}

}  // namespace

namespace {

int RunCommandWith(const CliOptions& options, Terminal& ui);

// Two names of one file: the same file where both are there, else the same path with ".",
// ".." and links resolved.
bool SameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error)) {
        return SameExistingFile(a, b);
    }
    const auto normal = [](const std::string& path) {
        std::error_code failed;
        const fs::path resolved = fs::weakly_canonical(path, failed);
        return failed ? fs::absolute(path, failed).lexically_normal() : resolved;
    };
    return normal(a) == normal(b);
}

// The files the command reads or writes, which a trace would destroy: its file arguments,
// the settings file and the port.
std::vector<std::string> CommandFiles(const CliOptions& options) {
    std::vector<std::string> files = {
        SettingsFilePath(),
        options.PortPath.empty() ? ComPortPath(options.Settings.PortNumber) : options.PortPath};
    for (const std::string& argument : options.Arguments) {
        if (argument != "-" && argument != DeviceWord) {
            files.push_back(argument);
        }
    }
    return files;
}

// A trace path that names a file of the command, or the other trace's file; empty when
// none does.
std::string ForbiddenTrace(const CliOptions& options) {
    const std::pair<const char*, const std::string*> traces[] = {
        {"--trace", &options.TracePath}, {"--trace-json", &options.TraceJsonPath}};
    for (const auto& [option, path] : traces) {
        if (path->empty() || *path == "-") {
            continue;
        }
        for (const std::string& file : CommandFiles(options)) {
            if (SameFile(*path, file)) {
                return std::string(option) + " " + *path + " is " + file +
                       ", which the command uses: the trace would destroy it";
            }
        }
    }
    const std::string& text = options.TracePath;
    const std::string& json = options.TraceJsonPath;
    if (!text.empty() && !json.empty() && text != "-" && json != "-" && SameFile(text, json)) {
        return "--trace and --trace-json name the same file " + text;
    }
    return {};
}

// The files of --trace and --trace-json, open for one run; "-" is stderr. A trace that
// could not be written all through makes the run's status a file error.
class TraceFiles {
public:
    explicit TraceFiles(const CliOptions& options)
        : text_{options.TracePath, nullptr, {}}, json_{options.TraceJsonPath, nullptr, {}} {
        for (Trace* trace : {&text_, &json_}) {
            if (status_ == ExitOk) {
                Open(*trace, options);
            }
        }
    }
    ~TraceFiles() { Close(); }
    TraceFiles(const TraceFiles&) = delete;
    TraceFiles& operator=(const TraceFiles&) = delete;

    // ExitOk, or why the traces cannot be written (the message in Failure).
    int Status() const { return status_; }
    const std::string& Failure() const { return failure_; }
    ExchangeTrace* Tracer() { return text_.file || json_.file ? &trace_ : nullptr; }

    // Closes the files; false with the message when a trace was not written all through.
    bool Close() {
        for (Trace* trace : {&text_, &json_}) {
            if (trace->file && trace->file != stderr && std::fclose(trace->file) != 0 &&
                trace->error.empty()) {
                trace->error = std::strerror(errno);
            }
            trace->file = nullptr;
            if (!trace->error.empty() && failure_.empty()) {
                failure_ = "the trace to " + trace->path + " was not written: " + trace->error;
            }
        }
        return failure_.empty();
    }

private:
    struct Trace {
        std::string path;
        std::FILE* file = nullptr;
        std::string error;  // the first write error
    };

    void Open(Trace& trace, const CliOptions& options) {
        if (trace.path.empty()) {
            return;
        }
        if (trace.path == "-") {
            trace.file = stderr;
            return;
        }
        std::string error;
        trace.file = OpenToRecord(trace.path, error);
        if (!trace.file) {
            Fail(ExitFile, "cannot write the trace to " + trace.path + ": " + error);
            return;
        }
        // Seen again now that it is there: a link that led nowhere may have led to a file of
        // the command. Only then is a regular file emptied.
        if (const std::string forbidden = ForbiddenTrace(options); !forbidden.empty()) {
            Fail(ExitUsage, forbidden);
        } else if (!EmptyIfRegularFile(trace.file)) {
            Fail(ExitFile, "cannot write the trace to " + trace.path + ": " + std::strerror(errno));
        }
        if (status_ != ExitOk) {
            std::fclose(trace.file);
            trace.file = nullptr;
        }
    }
    void Fail(int status, const std::string& message) {
        status_ = status;
        failure_ = message;
    }
    // Each line reaches the file at once: a trace is read while the exchange runs, and
    // after a program that was killed. After a failed write the file gets no more.
    void Write(const TraceEvent& event) {
        for (Trace* trace : {&text_, &json_}) {
            if (!trace->file || !trace->error.empty()) {
                continue;
            }
            const std::string line = trace == &text_ ? TraceText(event) : TraceJson(event);
            if (std::fprintf(trace->file, "%s\n", line.c_str()) < 0 ||
                std::fflush(trace->file) != 0) {
                trace->error = std::strerror(errno);
            }
        }
    }

    Trace text_;
    Trace json_;
    int status_ = ExitOk;
    std::string failure_;
    CallbackTrace trace_{[this](const TraceEvent& event) { Write(event); }};
};

}  // namespace

int RunCommand(const CliOptions& options, Terminal& ui) {
    // Checked before any trace file is opened: opening may create one.
    if (const std::string forbidden = ForbiddenTrace(options); !forbidden.empty()) {
        ui.Say("zantir-cli: " + forbidden);
        return ExitUsage;
    }
    TraceFiles traces(options);
    if (traces.Status() != ExitOk) {
        ui.Say("zantir-cli: " + traces.Failure());
        return traces.Status();
    }
    CliOptions traced = options;
    traced.Trace = traces.Tracer();
    const int status = RunCommandWith(traced, ui);
    if (!traces.Close()) {
        ui.Say("zantir-cli: " + traces.Failure());
        return status == ExitOk ? ExitFile : status;
    }
    return status;
}

namespace {

int RunCommandWith(const CliOptions& options, Terminal& ui) {
    using Command = int (*)(const CliOptions&, Terminal&);
    static const std::pair<const char*, Command> commands[] = {
        {"ident", Ident},
        {"state", State},
        {"read", Read},
        {"write", Write},
        {"write-changed", WriteChanged},
        {"show", Show},
        {"diff", Diff},
        {"search", Search},
        {"ports", Ports},
        {"where", Where},
        {"save-settings", SaveSettingsCommand},
    };
    for (const auto& [name, run] : commands) {
        if (options.Command == name) {
            return run(options, ui);
        }
    }
    return ExitUsage;
}

}  // namespace
