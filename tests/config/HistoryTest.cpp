#include "config/History.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/Cnffile.h"
#include "tests/support/Filetesting.h"

namespace {

namespace fs = std::filesystem;

std::tm At(int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 9;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    return local;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class History : public testing::Test {
protected:
    HistoryResult Keep(const ConfigRecord& record, const std::string& place, int second) {
        error.clear();
        return KeepInHistory(folder(), record, {"чтение", "Непосредственная связь", place, "0 3"},
                             At(14, 32, second), file, error);
    }
    std::string folder() const { return (scratch.path / "history").string(); }

    filetesting::ScratchDir scratch;
    ConfigRecord device = NewConfigRecord(5);
    std::string file, error;
};

// One entry for each configuration a device is found with; another device has its own;
// a name is never used twice and the index only grows.
TEST_F(History, KeepsEachConfigurationOfADeviceOnce) {
    ASSERT_EQ(Keep(device, "COM1", 5), HistoryResult::Added) << error;
    const std::string first = file;
    EXPECT_EQ(first, "zrt16-mk5-261209-1432.cnf");
    EXPECT_EQ(Keep(device, "COM1", 6), HistoryResult::Unchanged);
    EXPECT_EQ(file, first);
    const std::string index = Slurp(fs::path(folder()) / HistoryIndexName);

    device.FlowComputers[12] = {1, 2, 11};
    ASSERT_EQ(Keep(device, "COM1", 7), HistoryResult::Added) << error;
    EXPECT_EQ(file, "zrt16-mk5-261209-143207.cnf");                    // the minute's name is taken
    EXPECT_EQ(Keep(device, "/dev/ttyUSB0", 8), HistoryResult::Added);  // another device

    const std::vector<HistoryEntry> entries = ReadHistoryIndex(folder());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Changed, "первая запись");
    EXPECT_EQ(entries[1].Changed, "Вычислитель 12: Нет → B 9600");
    EXPECT_EQ(entries[1].Time, "2026-12-09 14:32:07");
    EXPECT_EQ(entries[2].Place, "/dev/ttyUSB0");
    EXPECT_EQ(entries[2].SoftwareVersion, 5);
    EXPECT_EQ(Slurp(fs::path(folder()) / HistoryIndexName).rfind(index, 0), 0u);
    ConfigRecord kept;
    FileNotice notice;
    ASSERT_TRUE(ReadConfigFile((fs::path(folder()) / entries[1].File).string(), kept, notice));
    EXPECT_EQ(ConfigFileData(kept), ConfigFileData(device));
}

// The history trusts nothing it finds: a kept file that was damaged is followed by a new
// entry, a line that names a file elsewhere or cannot be read is passed over, and a
// folder that cannot be made is said.
TEST_F(History, DamagedHistoryIsNeverTrusted) {
    ASSERT_EQ(Keep(device, "COM1", 5), HistoryResult::Added);
    filetesting::WriteBytes((fs::path(folder()) / file).string(), {1, 2, 3});
    ASSERT_EQ(Keep(device, "COM1", 6), HistoryResult::Added);
    EXPECT_EQ(ReadHistoryIndex(folder()).back().Changed,
              "файл zrt16-mk5-261209-1432.cnf не прочитан");

    std::ofstream(fs::path(folder()) / HistoryIndexName, std::ios::app)
        << "\"2026\",\"чтение\",\"x\",\"COM1\",\"8\",\"5\",\"\",\"../../etc/passwd\",\"\"\n"
        << "\"unclosed,\"x\n"
        << "\"2026\",\"чтение\",\"x\",\"COM1\",\"eight\",\"5\",\"\",\"a.cnf\",\"\"\n";
    EXPECT_EQ(ReadHistoryIndex(folder()).size(), 2u);

    const std::string blocked = (scratch.path / "file").string();
    std::ofstream(blocked) << "x";
    std::string name, why;
    EXPECT_EQ(KeepInHistory(blocked + "/history", device, {}, At(1, 2, 3), name, why),
              HistoryResult::Failed);
    EXPECT_FALSE(why.empty());
}

struct CsvCase {
    const char* name;
    std::vector<std::string> fields;
    std::vector<std::string> read;  // what comes back
};

void PrintTo(const CsvCase& c, std::ostream* out) {
    *out << c.name;
}

class Csv : public testing::TestWithParam<CsvCase> {};

// Whatever a port name or a phone number holds, the index stays one line an entry.
TEST_P(Csv, LinesComeBackAsWritten) {
    const std::string line = CsvLine(GetParam().fields);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    std::vector<std::string> read;
    ASSERT_TRUE(SplitCsvLine(line, read));
    EXPECT_EQ(read, GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Csv,
    testing::Values(
        CsvCase{"plain", {"a", "b"}, {"a", "b"}}, CsvCase{"empty", {"", ""}, {"", ""}},
        CsvCase{"quotes", {"say \"hi\", then"}, {"say \"hi\", then"}},
        CsvCase{"controls", {"line\nfeed\x1b[2J"}, {"line feed [2J"}},
        CsvCase{"cyrillic", {"Вычислитель 12: Нет → B 9600"}, {"Вычислитель 12: Нет → B 9600"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
