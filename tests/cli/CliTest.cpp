// zantir-cli as a process against zantir-sim on a pty: what each command sends to the
// device, what it prints and the exit status it gives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/Baudrates.h"
#include "config/History.h"
#include "connection/Settings.h"
#include "link/Comportfunctions.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/SimProcess.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

using Header = std::vector<int>;  // a table exchange header: read table, field, count, write ...

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A program folder: zantir-cli linked into it, PORTS/COM1 linked to the simulator.
class CliFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zantir-cli-XXXXXX";
        directory = mkdtemp(pattern);
        fs::create_directory(directory / "PORTS");
        fs::create_symlink(ZANTIR_CLI_PATH, directory / "zantir-cli");
        // The program's own settings file beside it gives the link: COM1 at 9600 bit/s.
        fs::create_directory(directory / "INI");
        ConnectionSettings settings;
        settings.BaudRate = 9600;
        ASSERT_TRUE(SaveSettings(settings, (directory / "INI" / "zantir.ini").string()));
    }
    void TearDown() override {
        sim.reset();
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    void StartSim(std::vector<std::string> options) {
        options.push_back("--log");
        sim = std::make_unique<SimProcess>(directory.string(), std::move(options), "PORTS/COM1");
        ASSERT_TRUE(sim->ok());
    }
    // Runs the program with no terminal on stdin, as a script does.
    // runAs: a command line the program is run under (setpriv and its options).
    // closed: a standard descriptor the program starts without.
    Outcome Cli(std::vector<std::string> arguments, std::vector<std::string> runAs = {},
                int closed = -1) {
        arguments.insert(arguments.begin(), (directory / "zantir-cli").string());
        arguments.insert(arguments.begin(), runAs.begin(), runAs.end());
        const fs::path out = directory / "out.txt";
        const fs::path err = directory / "err.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in, 0);
            dup2(o, 1);
            dup2(e, 2);
            for (int fd : {in, o, e, closed}) {
                close(fd);
            }
            std::vector<char*> argv;
            for (auto& a : arguments) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            if (chdir(directory.c_str()) != 0) {
                _exit(126);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
    }
    // Requests the simulator took, as table exchange headers.
    std::vector<Header> Requests() { return RequestHeaders(sim->Stop()); }
    std::vector<Header> Writes() {
        std::vector<Header> writes;
        for (const Header& h : Requests()) {
            if (h[5] > 0) {
                writes.push_back(h);
            }
        }
        return writes;
    }
    // The request that follows the last write: the identification, before the read back.
    static Header AfterLastWrite(const std::vector<Header>& requests) {
        auto last = std::find_if(requests.rbegin(), requests.rend(),
                                 [](const Header& h) { return h[5] > 0; });
        return last == requests.rbegin() || last == requests.rend() ? Header{} : *(last - 1);
    }
    // Saves the device's configuration into the folder.
    fs::path Saved(const std::string& name = "saved.cnf") {
        const Outcome read = Cli({"read", name});
        EXPECT_EQ(read.status, 0) << read.err;
        EXPECT_EQ(fs::file_size(directory / name), 1247u);
        return directory / name;
    }
    void Patch(const fs::path& file, size_t offset, char value) {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(offset));
        f.put(value);
    }

    fs::path directory;
    std::unique_ptr<SimProcess> sim;
};

constexpr size_t FlowComputerEntry12 = 63 + 3 * 12;
constexpr size_t UpperLevelRateInFile = 1 + 17 + 20;  // byte 0 of table 3 in a .cnf file

TEST_F(CliFolder, WriteChangedWritesOnlyWhatTheFileChanges) {
    StartSim({});
    const fs::path file = Saved();
    const Outcome same = Cli({"write-changed", file.string()});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_NE(same.err.find("Запись таблиц не выполняется. Нет измененных данных"),
              std::string::npos);
    EXPECT_TRUE(Writes().empty());

    StartSim({});
    Patch(file, FlowComputerEntry12 + 1, 3);  // flow computer 12 to port C
    const Outcome edited = Cli({"write-changed", file.string()});
    EXPECT_EQ(edited.status, 0) << edited.err;
    EXPECT_EQ(Writes(), (std::vector<Header>{{0, 0, 0, 6, 12, 1}}));
}

TEST_F(CliFolder, WriteChosenTablesThenIdentifies) {
    StartSim({"--destroyed", "6"});
    const fs::path file = Saved();
    StartSim({"--destroyed", "6"});
    const Outcome five = Cli({"write", file.string(), "--tables", "5"});
    // Table 6 stays destroyed, which is not what was written.
    EXPECT_EQ(five.status, 0) << five.err;
    EXPECT_NE(five.err.find("Разрушена таблица 6"), std::string::npos);
    const std::vector<Header> requests = Requests();
    std::vector<Header> writes;
    for (const Header& h : requests) {
        if (h[5] > 0) {
            writes.push_back(h);
        }
    }
    EXPECT_EQ(writes, (std::vector<Header>{{0, 0, 0, 5, 0, 1}}));
    EXPECT_EQ(AfterLastWrite(requests), (Header{0, 0, 17, 0, 0, 0}));  // the identification

    StartSim({"--destroyed", "6"});
    const Outcome all = Cli({"write", file.string()});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.err.find("Разрушена таблица 6"), std::string::npos) << all.err;
    EXPECT_EQ(
        Writes(),
        (std::vector<Header>{
            {0, 0, 0, 3, 0, 8}, {0, 0, 0, 5, 0, 1}, {0, 0, 0, 6, 0, 243}, {0, 0, 0, 6, 243, 12}}));
}

// A file of versions 3 and 4 holds seven fields of table 3; a version 5 device has eight.
// The eighth keeps the device's value, and the operator is told before anything is written.
TEST_F(CliFolder, FileOfAnotherVersionNeverWritesFieldsItDoesNotHold) {
    StartSim({});
    const fs::path file = Saved();
    constexpr size_t VersionInFile = 4, RtsControlInFile = UpperLevelRateInFile + 7;
    Patch(file, VersionInFile, 3);
    Patch(file, RtsControlInFile, static_cast<char>(Slurp(file)[RtsControlInFile] ^ 1));

    StartSim({});
    const Outcome unchanged = Cli({"write-changed", file.string()});
    EXPECT_EQ(unchanged.status, 0) << unchanged.err;
    EXPECT_NE(unchanged.err.find("Файл конфигурации составлен для версии ПО 3, устройство имеет "
                                 "версию ПО 5 поля, которых нет в файле, сохранят значения "
                                 "устройства"),
              std::string::npos)
        << unchanged.err;
    EXPECT_NE(unchanged.err.find("Нет измененных данных"), std::string::npos);
    EXPECT_TRUE(Writes().empty());

    StartSim({});
    const Outcome restored = Cli({"--json", "write", file.string(), "--tables", "3"});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out,
              "{\"complete\":true,\"requests\":[{\"table\":3,\"first_field\":0,"
              "\"field_count\":7,\"result\":\"confirmed\"}],\"check\":\"verified\","
              "\"mismatches\":[],\"backup\":\"\"}\n");
    EXPECT_EQ(Writes(), (std::vector<Header>{{0, 0, 0, 3, 0, 7}}));
}

// A write cut short says on stderr and in --json what became of every request.
TEST_F(CliFolder, InterruptedWriteIsAccountedFor) {
    StartSim({});
    const fs::path file = Saved();
    Patch(file, FlowComputerEntry12 + 1, 3);
    Patch(file, 63 + 3 * 20 + 1, 1);
    // The identification and the whole read pass; the first write's answer is damaged.
    StartSim({"--fault", "silent+7"});
    const Outcome cut = Cli({"--json", "write-changed", file.string()});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("Запись в устройство прервана не подтверждена: таблица 6 (поле 12); "
                           "не отправлена: таблица 6 (поле 20)"),
              std::string::npos)
        << cut.err;
    EXPECT_EQ(cut.err.find("Не выполнена"), std::string::npos) << cut.err;
    // Nothing to check after a write cut short; the configuration before it was kept.
    EXPECT_TRUE(std::regex_match(
        cut.out,
        std::regex("\\{\"complete\":false,\"requests\":\\[\\{\"table\":6,\"first_field\":12,"
                   "\"field_count\":1,\"result\":\"unconfirmed\"\\},\\{\"table\":6,"
                   "\"first_field\":20,\"field_count\":1,\"result\":\"not_sent\"\\}\\],"
                   "\"check\":\"not_checked\",\"mismatches\":\\[\\],"
                   "\"backup\":\"zrt16-mk5-[-0-9]+\\.cnf\"\\}\n")))
        << cut.out;
}

TEST_F(CliFolder, StateReportsADestroyedTable) {
    StartSim({"--destroyed", "6"});
    const Outcome state = Cli({"state"});
    EXPECT_EQ(state.status, 0) << state.err;
    EXPECT_NE(state.out.find("6\tДа\t"), std::string::npos) << state.out;
    EXPECT_NE(state.out.find("3\tНет\t"), std::string::npos) << state.out;
    const Outcome json = Cli({"--json", "state"});
    EXPECT_NE(json.out.find("{\"table\":6,"), std::string::npos);
    EXPECT_NE(json.out.find("\"destroyed\":true}"), std::string::npos);
}

TEST_F(CliFolder, FailuresGiveTheirExitStatus) {
    StartSim({"--fault", "silent"});
    const Outcome silent = Cli({"--first-byte-timeout", "1", "--attempts", "1", "ident"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("Устройство не отвечает"), std::string::npos) << silent.err;
    EXPECT_EQ(silent.out, "");

    // A retry budget really retries: the device answers the second request.
    StartSim({"--fault", "silent@1"});
    const Outcome retried =
        Cli({"--first-byte-timeout", "1", "--attempts", "1", "--retries", "1", "ident"});
    EXPECT_EQ(retried.status, 0) << retried.err;
    EXPECT_EQ(Requests().size(), 2u);

    StartSim({"--version", "2"});
    const Outcome old = Cli({"read", "x.cnf"});
    EXPECT_EQ(old.status, 1);
    EXPECT_NE(old.err.find("У подключенного зантира версия ПО = 2."), std::string::npos);
    EXPECT_FALSE(fs::exists(directory / "x.cnf"));

    // A damaged file is refused before the device is touched.
    StartSim({});
    const fs::path file = Saved();
    fs::resize_file(file, 1246);
    for (const char* command : {"write", "write-changed", "show"}) {
        const Outcome refused = Cli({command, file.string()});
        EXPECT_EQ(refused.status, 3) << command;
        EXPECT_NE(refused.err.find("не является файлом конфигурации"), std::string::npos);
    }
    EXPECT_EQ(Cli({"diff", file.string(), "device"}).status, 3);
    EXPECT_EQ(Requests().size(), 7u);  // the read of Saved() alone

    // A save that cannot be written is no success.
    StartSim({});
    const Outcome unwritable = Cli({"read", (directory / "missing" / "x.cnf").string()});
    EXPECT_EQ(unwritable.status, 3);
    EXPECT_EQ(unwritable.out, "");

    EXPECT_EQ(Cli({"--rate", "9601", "ident"}).status, 2);
}

TEST_F(CliFolder, ReadIntoAFolderShowAndDiff) {
    StartSim({});
    const Outcome read = Cli({"read", "."});
    ASSERT_EQ(read.status, 0) << read.err;
    const std::string name = read.out.substr(0, read.out.find('\n'));
    EXPECT_NE(name.find("zrt16-mk5-"), std::string::npos);
    const fs::path file = directory / name;
    ASSERT_EQ(fs::file_size(file), 1247u);

    const Outcome show = Cli({"show", file.string()});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("Скорость обмена с ВУ: 9600\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("Вычислитель 12: B 9600\n"), std::string::npos) << show.out;

    const Outcome itself = Cli({"diff", file.string(), file.string()});
    EXPECT_EQ(itself.status, 0);
    EXPECT_EQ(itself.out, "");
    EXPECT_EQ(Cli({"diff", file.string(), "device"}).out, "");

    fs::copy_file(file, directory / "edited.cnf");
    Patch(directory / "edited.cnf", FlowComputerEntry12 + 1, 3);
    const Outcome edited = Cli({"diff", "device", (directory / "edited.cnf").string()});
    EXPECT_EQ(edited.out, "Вычислитель 12: B 9600 -> C 9600\n");
}

TEST_F(CliFolder, IdentOverDirectAndTelephoneLinks) {
    StartSim({});
    const Outcome direct = Cli({"ident"});
    EXPECT_EQ(direct.status, 0) << direct.err;
    EXPECT_NE(direct.out.find("Дата создания ПО: 15.03.24  10:30:00\n"), std::string::npos);
    EXPECT_NE(direct.out.find("Версия программного обеспечения: 5 (Чтение и запись)\n"),
              std::string::npos);

    StartSim({"--modem", "--phone", "74951234567"});
    const Outcome phone = Cli({"--phone", "7 495 123-45-67", "--connect-wait", "5", "ident"});
    EXPECT_EQ(phone.status, 0) << phone.err;
    EXPECT_NE(phone.out.find("Код типа контроллера: 8\n"), std::string::npos) << phone.err;
}

// A new upper-level rate written over a telephone link is the device's, not the modem
// line's: the identification after the write and the hang-up go out at 9600 bit/s.
TEST_F(CliFolder, TelephoneWriteOfTableThreeKeepsTheModemLineRate) {
    StartSim({});
    const fs::path file = Saved();
    Patch(file, UpperLevelRateInFile, static_cast<char>(BaudCodeOf(19200)));
    StartSim({"--modem", "--rate", "9600"});
    const Outcome write =
        Cli({"--phone", "555", "--connect-wait", "5", "write", file.string(), "--tables", "3"});
    EXPECT_EQ(write.status, 0) << write.err;
    const std::string log = sim->Stop();
    EXPECT_EQ(log.find("no answer"), std::string::npos) << log;
    EXPECT_NE(log.find("modem <- ath"), std::string::npos) << log;
    EXPECT_EQ(AfterLastWrite(RequestHeaders(log)), (Header{0, 0, 17, 0, 0, 0}));
}

// "read -" is the file for a pipe; a path that names no regular file is left as it was.
TEST_F(CliFolder, ReadToStandardOutputAndNeverOverAFifo) {
    StartSim({});
    const fs::path file = Saved();
    const Outcome piped = Cli({"read", "-"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, Slurp(file));
    const fs::path fifo = directory / "fifo.cnf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const Outcome refused = Cli({"read", fifo.string()});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("is there already"), std::string::npos) << refused.err;
    const Outcome forced = Cli({"read", fifo.string(), "--force"});
    EXPECT_EQ(forced.status, 3);
    EXPECT_NE(forced.err.find("Ошибка открытия файла"), std::string::npos) << forced.err;
    EXPECT_TRUE(fs::is_fifo(fifo));
    const Outcome show = Cli({"show", fifo.string()});
    EXPECT_NE(show.status, 0);
}

// A settings file with a value out of its range: the value is named, nothing is sent.
TEST_F(CliFolder, OutOfRangeSettingsValueIsAUsageError) {
    ConnectionSettings settings;
    settings.BaudRate = 9600;
    settings.NextByteTimeout = 10;
    ASSERT_TRUE(SaveSettings(settings, (directory / "INI" / "zantir.ini").string()));
    StartSim({});
    const Outcome ident = Cli({"ident"});
    EXPECT_EQ(ident.status, 2);
    EXPECT_NE(ident.err.find("--next-byte-timeout 10 is outside 55..5000"), std::string::npos)
        << ident.err;
    EXPECT_TRUE(Requests().empty());
    StartSim({});
    EXPECT_EQ(Cli({"--next-byte-timeout", "60", "ident"}).status, 0);  // the option mends it
}

// A pty has no RS-485 mode: asked for, it is refused with the reason, never ignored.
TEST_F(CliFolder, Rs485ModeTheDriverLacksIsRefused) {
    StartSim({});
    const Outcome ident = Cli({"--rs485", "ident"});
    EXPECT_EQ(ident.status, 1);
    EXPECT_NE(ident.err.find("COM1 недоступен драйвер порта не поддерживает режим RS-485"),
              std::string::npos)
        << ident.err;
    EXPECT_TRUE(Requests().empty());
}

// Why a port cannot be had is said after the port.
struct PortFailure {
    const char* name;
    std::string port;  // what --port gets; "sim" for the simulator's line
    const char* cause;
};

void PrintTo(const PortFailure& c, std::ostream* out) {
    *out << c.name;
}

struct PortFailures : CliFolder, testing::WithParamInterface<PortFailure> {};

TEST_P(PortFailures, CauseIsNamed) {
    const PortFailure& c = GetParam();
    const std::string name = c.name;
    std::string port = c.port;
    std::vector<std::string> runAs;
    TransportHandle holder;
    if (name == "dangling") {
        fs::create_symlink(directory / "no-such-adapter", directory / "PORTS" / "COM2");
    } else if (name == "held" || name == "denied") {
        StartSim({});
        port = sim->LinkPath();
        if (name == "held") {
            holder = OpenComPortAt(port, LineSettings{});
            ASSERT_TRUE(holder);
        } else {
            if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
                GTEST_SKIP() << "needs root and setpriv to run as another user";
            }
            // A build below a folder only root may enter (/root) is out of nobody's reach.
            const std::string reach =
                "/usr/bin/setpriv --reuid=65534 --regid=65534 "
                "--clear-groups /usr/bin/test -x '" ZANTIR_CLI_PATH "'";
            if (std::system(reach.c_str()) != 0) {
                GTEST_SKIP() << "user nobody cannot reach " << ZANTIR_CLI_PATH;
            }
            // The line as a distribution gives it: root's, group dialout, 0660.
            ASSERT_EQ(chown(sim->SlavePath().c_str(), 0, 20), 0);
            ASSERT_EQ(chmod(sim->SlavePath().c_str(), 0660), 0);
            fs::permissions(directory, fs::perms::owner_all | fs::perms::group_read |
                                           fs::perms::group_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
            runAs = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
    } else if (name == "directory") {
        port = directory.string();
    }
    const Outcome ident = Cli({"--port", port, "ident"}, runAs);
    EXPECT_NE(ident.status, 0);
    const std::string said =
        (port == "COM2" ? "Коммуникационный порт COM2" : "Порт " + port) + " недоступен " + c.cause;
    EXPECT_NE(ident.err.find(said), std::string::npos) << ident.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, PortFailures,
    testing::Values(PortFailure{"missing", "/dev/no-such-tty", "нет такого устройства"},
                    PortFailure{"dangling", "COM2", "нет такого устройства"},
                    PortFailure{"devnull", "/dev/null", "не является последовательным портом"},
                    PortFailure{"directory", "", "не является последовательным портом"},
                    PortFailure{"held", "", "порт занят другой программой"},
                    PortFailure{"denied", "",
                                "нет прав доступа: пользователь не входит в группу dialout"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliFolder, SearchFindsTheDevicesRate) {
    StartSim({"--rate", "9600"});
    const Outcome search = Cli({"--rate", "1200", "search"});
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_EQ(search.out, "9600\n");
    EXPECT_NE(search.err.find("при скорости обмена - 9600 бит/с"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(CliFolder, PortsListsTheComBindingsThenThePortsFound) {
    StartSim({});
    fs::create_symlink(directory / "unplugged", directory / "PORTS" / "COM2");
    const std::string pty = fs::read_symlink(directory / "PORTS" / "COM1").string();
    const Outcome text = Cli({"ports"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("COM1 — " + pty + "\nCOM2 — " + (directory / "unplugged").string() +
                                 ", не подключён\nCOM3 — не назначен\n",
                             0),
              0u)
        << text.out;
    // COM1 leads elsewhere, so a UART at ttyS0 is found and reached by none.
    std::ifstream type("/sys/class/tty/ttyS0/type");
    int code = 0;
    if (type >> code && code != 0 && fs::exists("/dev/ttyS0")) {
        EXPECT_NE(text.out.find("COM8 — не назначен\nНайдены, не назначены:\n/dev/ttyS0, UART"),
                  std::string::npos)
            << text.out;
    }

    const Outcome json = Cli({"ports", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"com\":[{\"number\":1,\"link\":\"" +
                                 (directory / "PORTS" / "COM1").string() + "\",\"target\":\"" +
                                 pty + "\",\"present\":true,",
                             0),
              0u)
        << json.out;
    EXPECT_NE(json.out.find("{\"number\":2,\"link\":\"" + (directory / "PORTS" / "COM2").string() +
                            "\",\"target\":\"" + (directory / "unplugged").string() +
                            "\",\"present\":false,"),
              std::string::npos);
    EXPECT_NE(json.out.find("],\"unbound\":["), std::string::npos);
    EXPECT_EQ(json.out.back(), '\n');
}

}  // namespace

namespace {

TEST_F(CliFolder, WhereNamesTheFoldersAndSaveSettingsStoresTheLinkOptions) {
    const Outcome where = Cli({"where"});
    EXPECT_EQ(where.status, 0) << where.err;
    EXPECT_EQ(where.out, "CONFIG\t" + (directory / "CONFIG").string() + "\nINI\t" +
                             (directory / "INI").string() + "\nPORTS\t" +
                             (directory / "PORTS").string() + "\n");

    const Outcome save = Cli({"--rate", "19200", "--port", "COM4", "save-settings"});
    EXPECT_EQ(save.status, 0) << save.err;
    ConnectionSettings saved;
    ASSERT_TRUE(LoadSettings(saved, (directory / "INI" / "zantir.ini").string()));
    const int32_t rate = saved.BaudRate;
    EXPECT_EQ(rate, 19200);
    EXPECT_EQ(saved.PortNumber, 4);
    EXPECT_EQ(fs::file_size(directory / "INI" / "zantir.ini"), 286u);
}

}  // namespace

namespace {

TEST_F(CliFolder, TraceDecodesTheFramesTheSimulatorLogsByteForByte) {
    StartSim({"--fault", "badcrc@1"});
    const Outcome read = Cli(
        {"--retries", "1", "--trace", "trace.txt", "--trace-json", "trace.json", "read", "t.cnf"});
    ASSERT_EQ(read.status, 0) << read.err;
    const std::vector<std::string> traced =
        TracedFrames(Slurp(directory / "trace.txt"), "-> ", "<- ");
    EXPECT_EQ(traced, TracedFrames(sim->Stop(), "<- ", "-> "));
    ASSERT_GE(traced.size(), 16u);
    EXPECT_NE(traced[1].find("Несовпадение КС ответа контроллера"), std::string::npos) << traced[1];
    // The same events as JSON lines, one each.
    std::istringstream text(Slurp(directory / "trace.txt")), json(Slurp(directory / "trace.json"));
    std::string a, b;
    while (std::getline(text, a)) {
        ASSERT_TRUE(std::getline(json, b));
        EXPECT_EQ(b.rfind("{\"us\":", 0), 0u) << b;
    }
    EXPECT_FALSE(std::getline(json, b));
    // Noise before the answer: the ident succeeds and its trace finds the whole frame.
    StartSim({"--fault", "noise"});
    const Outcome noisy = Cli({"--trace", "-", "ident"});
    ASSERT_EQ(noisy.status, 0) << noisy.err;
    EXPECT_EQ(noisy.err.find("Ответ получен не полностью"), std::string::npos) << noisy.err;
    EXPECT_NE(noisy.err.find("байт до начала кадра, адрес 0, длина 26, функция 29, принято"),
              std::string::npos)
        << noisy.err;
    sim->Stop();
    // A trace that cannot be written stops the command before anything is sent.
    const Outcome denied = Cli({"--trace", "no-such-folder/trace.txt", "ident"});
    EXPECT_EQ(denied.status, 3);
    EXPECT_NE(denied.err.find("cannot write the trace"), std::string::npos);
}

}  // namespace

namespace {

// The changes are shown before they are written, the configuration before the write is
// kept, what was written is read back; the history keeps one entry for each configuration
// a device was found with, and its index only grows.
TEST_F(CliFolder, WriteOfChangesIsShownBackedUpAndReadBack) {
    StartSim({});
    const fs::path file = Saved();
    Patch(file, FlowComputerEntry12 + 1, 3);  // flow computer 12 to port C
    const fs::path history = directory / "CONFIG" / "history";
    ASSERT_EQ(ReadHistoryIndex(history.string()).size(), 1u);

    StartSim({});
    const Outcome dry = Cli({"write-changed", file.string(), "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(std::regex_match(dry.out, std::regex("Вычислитель 12: . [0-9]+ -> C [0-9]+\n")))
        << dry.out;
    EXPECT_TRUE(Writes().empty());
    StartSim({});
    const Outcome dryJson = Cli({"--json", "write-changed", file.string(), "--dry-run"});
    EXPECT_EQ(dryJson.out.rfind("[{\"field\":\"Вычислитель 12\",\"a\":", 0), 0u) << dryJson.out;
    EXPECT_TRUE(Writes().empty());

    const std::string indexBefore = Slurp(history / "index.csv");
    StartSim({});
    const Outcome written = Cli({"write-changed", file.string()});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.err.find("Записано и проверено"), std::string::npos) << written.err;
    const std::vector<Header> requests = Requests();
    std::vector<Header> writes;
    std::copy_if(requests.begin(), requests.end(), std::back_inserter(writes),
                 [](const Header& h) { return h[5] > 0; });
    EXPECT_EQ(writes, (std::vector<Header>{{0, 0, 0, 6, 12, 1}}));
    EXPECT_EQ(AfterLastWrite(requests), (Header{0, 0, 17, 0, 0, 0}));
    EXPECT_EQ(requests.back(), (Header{1, 0, 2, 0, 0, 0}));  // read back whole

    // A read of the unchanged device before the write, then the written configuration.
    std::vector<HistoryEntry> entries = ReadHistoryIndex(history.string());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].Event, "запись");
    EXPECT_EQ(entries[1].Place, "COM1");
    EXPECT_EQ(entries[1].Tables, "6");
    EXPECT_NE(entries[1].Changed.find("Вычислитель 12: "), std::string::npos);
    const std::string indexAfter = Slurp(history / "index.csv");
    EXPECT_EQ(indexAfter.rfind(indexBefore, 0), 0u);

    // A device found as it was kept adds nothing; one found otherwise adds an entry.
    for (int i = 0; i < 2; ++i) {
        StartSim({});  // holds its first configuration again
        EXPECT_EQ(Cli({"read", "again" + std::to_string(i) + ".cnf"}).status, 0);
    }
    entries = ReadHistoryIndex(history.string());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].Event, "чтение");
    std::set<std::string> files;
    for (const HistoryEntry& entry : entries) {
        files.insert(entry.File);
        EXPECT_TRUE(fs::is_regular_file(history / entry.File)) << entry.File;
    }
    EXPECT_EQ(files.size(), 3u);
}

struct UntrustedWrite {
    const char* name;
    std::vector<std::string> sim;
    std::vector<std::string> options;
    bool historyBlocked;  // CONFIG/history cannot be made
    int status;
    const char* said;  // on stderr
    size_t writes;     // write requests the device took
    bool readBack;     // the tables were read after the write
};

void PrintTo(const UntrustedWrite& c, std::ostream* out) {
    *out << c.name;
}

class CliWriteCheck : public CliFolder, public ::testing::WithParamInterface<UntrustedWrite> {};

// A write the device does not keep as sent fails naming the field; without a backup
// nothing is written; --no-verify leaves out the read back and so cannot see it.
TEST_P(CliWriteCheck, OnlyAWriteReadBackAsSentSucceeds) {
    const UntrustedWrite& c = GetParam();
    StartSim({});
    const fs::path file = Saved();
    Patch(file, FlowComputerEntry12 + 1, 3);
    if (c.historyBlocked) {
        fs::remove_all(directory / "CONFIG" / "history");
        std::ofstream(directory / "CONFIG" / "history") << "not a folder";
    }
    StartSim(c.sim);
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin() + 1, file.string());
    const Outcome write = Cli(arguments);
    EXPECT_EQ(write.status, c.status) << write.err;
    EXPECT_NE(write.err.find(c.said), std::string::npos) << write.err;
    const std::vector<Header> requests = Requests();
    const auto writes =
        std::count_if(requests.begin(), requests.end(), [](const Header& h) { return h[5] > 0; });
    EXPECT_EQ(static_cast<size_t>(writes), c.writes);
    if (c.writes > 0) {
        EXPECT_EQ(requests.back() == (Header{1, 0, 2, 0, 0, 0}), c.readBack);
    }
}

INSTANTIATE_TEST_SUITE_P(Checks, CliWriteCheck,
                         testing::Values(
                             UntrustedWrite{
                                 "corruptedChange",
                                 {"--fault", "corrupt"},
                                 {"write-changed"},
                                 false,
                                 1,
                                 "Проверка записи не пройдена: устройство хранит другое Записано → "
                                 "прочитано: Вычислитель 12: C",
                                 1,
                                 true},
                             UntrustedWrite{"corruptedTable",
                                            {"--fault", "corrupt"},
                                            {"write", "--tables", "6"},
                                            false,
                                            1,
                                            "Таблица 6, поле 0: 0x",
                                            2,
                                            true},
                             UntrustedWrite{"corruptedUnchecked",
                                            {"--fault", "corrupt"},
                                            {"write-changed", "--no-verify"},
                                            false,
                                            0,
                                            "",
                                            1,
                                            false},
                             UntrustedWrite{"noBackup",
                                            {},
                                            {"write-changed"},
                                            true,
                                            1,
                                            "Резервная копия конфигурации не сохранена",
                                            0,
                                            false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Backups in a loop each keep a file of their own; a file that is there is replaced only
// when the command line says so, and is told before the device is bothered.
TEST_F(CliFolder, ReadsNeverReplaceAFile) {
    StartSim({});
    std::set<std::string> saved;
    for (int i = 0; i < 3; ++i) {
        const Outcome read = Cli({"read"});
        ASSERT_EQ(read.status, 0) << read.err;
        saved.insert(read.out);
        if (i == 0) {
            EXPECT_TRUE(std::regex_match(
                read.out, std::regex(".*/CONFIG/zrt16-mk5-[0-9]{6}-[0-9]{4}\\.cnf\n")))
                << read.out;
        }
    }
    EXPECT_EQ(saved.size(), 3u);
    // Beside them only the history of the device.
    EXPECT_EQ(std::distance(fs::directory_iterator(directory / "CONFIG"), {}), 4);
    EXPECT_TRUE(fs::is_directory(directory / "CONFIG/history"));

    const fs::path kept = directory / "kept.cnf";
    { std::ofstream(kept) << "precious"; }
    StartSim({});
    const Outcome refused = Cli({"read", kept.string()});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("kept.cnf is there already: nothing is written (--force"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Slurp(kept), "precious");
    EXPECT_TRUE(Requests().empty());
    StartSim({});
    const Outcome forced = Cli({"read", kept.string(), "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(fs::file_size(kept), 1247u);
}

// A trace never empties a file the command uses: its files (by any name), the other
// trace, the settings file or the port. Nothing is sent, nothing is touched.
TEST_F(CliFolder, ATraceMayNotBeAFileOfTheCommand) {
    StartSim({});
    const fs::path file = Saved();
    const std::string bytes = Slurp(file);
    fs::create_hard_link(file, directory / "hard.cnf");
    const std::string settings = Slurp(directory / "INI" / "zantir.ini");
    StartSim({});
    const std::vector<std::vector<std::string>> refused = {
        {"--trace", "saved.cnf", "write", "saved.cnf"},
        {"--trace-json", "./no-such/../saved.cnf", "show", file.string()},
        {"--trace", "hard.cnf", "write-changed", "saved.cnf"},
        {"--trace", "saved.cnf", "diff", "device", "hard.cnf"},
        {"--trace", "new.cnf", "read", "new.cnf"},
        {"--trace", "t.txt", "--trace-json", "t.txt", "ident"},
        {"--trace", "INI/zantir.ini", "ident"},
        {"--trace", "PORTS/COM1", "ident"},
    };
    for (const auto& arguments : refused) {
        const Outcome outcome = Cli(arguments);
        EXPECT_EQ(outcome.status, 2) << arguments[1] << " " << arguments[2];
        EXPECT_EQ(outcome.err.rfind("zantir-cli: --trace", 0), 0u) << outcome.err;
    }
    EXPECT_EQ(Slurp(file), bytes);
    EXPECT_EQ(Slurp(directory / "INI" / "zantir.ini"), settings);
    for (const char* name : {"new.cnf", "t.txt"}) {
        EXPECT_FALSE(fs::exists(directory / name)) << name;
    }
    EXPECT_TRUE(Requests().empty());
}

// A FIFO is written only when a program reads it, and a trace that could not be written
// all through is a file error, unless the device failed, which stays the status.
TEST_F(CliFolder, ATraceIsWrittenWholeOrTheStatusSaysSo) {
    const fs::path fifo = directory / "trace.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    StartSim({});
    const Outcome unread = Cli({"--trace", fifo.string(), "ident"});
    EXPECT_EQ(unread.status, 3);
    EXPECT_NE(unread.err.find("no program reads the FIFO"), std::string::npos) << unread.err;
    EXPECT_TRUE(Requests().empty());

    StartSim({});
    std::string traced;
    std::thread reader([&] { traced = Slurp(fifo); });
    const Outcome read = Cli({"--trace-json", fifo.string(), "ident"});
    reader.join();
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_NE(traced.find("{\"us\":"), std::string::npos) << traced;

    StartSim({});
    const Outcome full = Cli({"--trace", "/dev/full", "ident"});
    EXPECT_EQ(full.status, 3);
    EXPECT_NE(full.err.find("the trace to /dev/full was not written"), std::string::npos)
        << full.err;
    EXPECT_NE(full.out.find("Код типа контроллера: 8"), std::string::npos);  // still told
    StartSim({"--fault", "silent"});
    const Outcome failed =
        Cli({"--trace", "/dev/full", "--first-byte-timeout", "1", "--attempts", "1", "ident"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("the trace to /dev/full was not written"), std::string::npos);
}

// Bytes that reach the far end of a silent line while the program runs.
class LineListener {
public:
    LineListener() : reader_([this] { Listen(); }) {}
    ~LineListener() { Stop(); }
    const std::string& SlavePath() const { return pty_.SlavePath(); }
    std::string Stop() {
        stop_ = true;
        if (reader_.joinable()) {
            reader_.join();
        }
        return heard_;
    }

private:
    // Read the moment they come: a purge of the program's port drops what the far end has
    // not read yet.
    void Listen() {
        while (!stop_) {
            pollfd pfd{pty_.MasterFd(), POLLIN, 0};
            char buffer[256];
            if (poll(&pfd, 1, 10) > 0 && (pfd.revents & POLLIN)) {
                const ssize_t n = read(pty_.MasterFd(), buffer, sizeof buffer);
                heard_.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
            }
        }
    }
    PtyPeer pty_;
    std::atomic<bool> stop_{false};
    std::string heard_;
    std::thread reader_;
};

// With a standard descriptor closed from the start, the port must not take its number:
// the line carries the request and nothing the program says, and a result for a closed
// stdout is no success.
class ClosedStandardDescriptor : public CliFolder, public testing::WithParamInterface<int> {};

TEST_P(ClosedStandardDescriptor, NothingButFramesReachTheLine) {
    const int closed = GetParam();
    {
        LineListener line;
        fs::create_symlink(line.SlavePath(), directory / "PORTS" / "COM1");
        const Outcome silent =
            Cli({"--first-byte-timeout", "1", "--attempts", "1", "ident"}, {}, closed);
        EXPECT_EQ(silent.status, 1) << silent.err;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(line.Stop(), "\xCC\x00\x0C\x1D\x00\x00\x11\x00\x00\x00\x7D\x6C"s);
        fs::remove(directory / "PORTS" / "COM1");
    }
    StartSim({});
    const Outcome ident = Cli({"ident"}, {}, closed);
    EXPECT_EQ(ident.status, closed == 1 ? 3 : 0) << ident.err;
    if (closed == 1) {
        EXPECT_NE(ident.err.find("standard output is closed"), std::string::npos) << ident.err;
    }
    EXPECT_EQ(Requests(), (std::vector<Header>{{0, 0, 17, 0, 0, 0}}));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ClosedStandardDescriptor, testing::Values(0, 1, 2), [](const auto& info) {
        return std::string(info.param == 0 ? "stdin" : info.param == 1 ? "stdout" : "stderr");
    });

}  // namespace
