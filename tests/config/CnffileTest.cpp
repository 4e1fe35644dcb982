#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>

#include "config/Cnffile.h"
#include "config/Filestore.h"
#include "tests/support/Filetesting.h"

namespace {

using namespace filetesting;

const char NotConfigLine2[] = "устройства zrt16-mk (\"Зантир\")";

Bytes RecordBytes(const ConfigRecord& record) {
    Bytes bytes(ConfigRecordSize);
    std::memcpy(bytes.data(), &record, bytes.size());
    return bytes;
}

// A file as a device read leaves it, reserved areas included, so that nothing is lost.
Bytes ConfigFileBytes(size_t size) {
    Bytes bytes = Pattern(size, 3);
    bytes[0] = 1;
    bytes[2] = DeviceTypeCode;
    bytes[4] = 5;
    return bytes;
}

struct CnfFileTest : testing::Test {
    // Reads the file into a record that shows whether it was touched.
    bool Read(const std::string& path) {
        record = NewConfigRecord(6);
        record.Reserved4.fill(0xEE);
        untouched = RecordBytes(record);
        return ReadConfigFile(path, record, notice);
    }
    void ExpectRefused(const std::string& name) {
        EXPECT_FALSE(Read(dir / name));
        EXPECT_FALSE(notice.Error);
        EXPECT_EQ(notice.Line1, "Файл " + name + " не является файлом конфигурации");
        EXPECT_EQ(notice.Line2, NotConfigLine2);
        EXPECT_EQ(RecordBytes(record), untouched);
    }

    ScratchDir dir;
    ConfigRecord record;
    Bytes untouched;
    FileNotice notice;
};

TEST_F(CnfFileTest, TheFirst1247BytesOfALongEnoughFileAreTheRecord) {
    for (size_t size : {ConfigRecordSize, size_t{1300}}) {
        SCOPED_TRACE(size);
        const Bytes file = ConfigFileBytes(size);
        WriteBytes(dir / "long.cnf", file);
        ASSERT_TRUE(Read(dir / "long.cnf"));
        EXPECT_EQ(RecordBytes(record), Bytes(file.begin(), file.begin() + ConfigRecordSize));
    }
}

TEST_F(CnfFileTest, LegacyFileIsConvertedToAVersionThreeRecord) {
    const Bytes file = Pattern(LegacyConfigFileSize, 9);
    WriteBytes(dir / "old.cnf", file);
    ASSERT_TRUE(Read(dir / "old.cnf"));
    Bytes expected(ConfigRecordSize, 0);
    expected[2] = 8;
    expected[4] = 3;
    std::copy_n(file.begin(), 7, expected.begin() + 38);
    std::copy_n(file.begin() + 25, 765, expected.begin() + 63);
    std::copy_n(file.begin() + 1045, 64, expected.begin() + 1083);
    EXPECT_EQ(RecordBytes(record), expected);
    EXPECT_EQ(record.IdentPresent, 0);
}

TEST_F(CnfFileTest, FilesOfOtherSizesOrAnotherDeviceAreRefused) {
    for (size_t size : {size_t{1210}, size_t{1212}, size_t{1246}}) {
        SCOPED_TRACE(size);
        WriteBytes(dir / "odd.cnf", ConfigFileBytes(size));  // byte 2 is 8 all the same
        ExpectRefused("odd.cnf");
    }
    WriteBytes(dir / "empty.cnf", {});
    ExpectRefused("empty.cnf");
    Bytes other = ConfigFileBytes(ConfigRecordSize);
    other[2] = 7;
    WriteBytes(dir / "other.cnf", other);
    ExpectRefused("other.cnf");
}

TEST_F(CnfFileTest, AFileThatCannotBeReadIsAnOpeningError) {
    for (const std::string& path : {dir / "missing.cnf", dir.path.string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(Read(path));
        EXPECT_TRUE(notice.Error);
        EXPECT_EQ(notice.Line1, "Ошибка открытия файла");
        EXPECT_EQ(notice.Line2, "");
        EXPECT_EQ(RecordBytes(record), untouched);
    }
}

TEST_F(CnfFileTest, SavedFileReopensByteForByte) {
    const Bytes original = ConfigFileBytes(ConfigRecordSize);
    std::memcpy(&record, original.data(), original.size());
    WriteBytes(dir / "zrt16-mk5-240307.cnf", Bytes(3000, 0x55));  // replaced, not patched

    ASSERT_TRUE(WriteConfigFile(dir / "zrt16-mk5-240307.cnf", record, notice));
    EXPECT_FALSE(notice.Error);
    EXPECT_EQ(notice.Line1, "Параметры конфигурации");
    EXPECT_EQ(notice.Line2, "сохранены в файле zrt16-mk5-240307.cnf");
    EXPECT_EQ(ReadBytes(dir / "zrt16-mk5-240307.cnf"), original);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"zrt16-mk5-240307.cnf"});

    ConfigRecord reopened{};
    ASSERT_TRUE(ReadConfigFile(dir / "zrt16-mk5-240307.cnf", reopened, notice));
    EXPECT_EQ(RecordBytes(reopened), original);
}

TEST_F(CnfFileTest, ASaveThatCannotCreateTheFileKeepsTheOldOne) {
    const Bytes old = ConfigFileBytes(ConfigRecordSize);
    WriteBytes(dir / "kept.cnf", old);
    record = NewConfigRecord(3);
    {
        ReadOnlyDir readOnly(dir.path);
        if (readOnly.Writable()) {
            GTEST_SKIP() << "this process writes into read-only directories";
        }
        EXPECT_FALSE(WriteConfigFile(dir / "kept.cnf", record, notice));
        EXPECT_FALSE(WriteConfigFile(dir / "new.cnf", record, notice));
    }
    EXPECT_TRUE(notice.Error);
    EXPECT_EQ(notice.Line1, "Ошибка открытия файла");
    EXPECT_EQ(ReadBytes(dir / "kept.cnf"), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"kept.cnf"});
}

TEST_F(CnfFileTest, AWriteThatFailsHalfwayIsReportedAndKeepsTheOldFile) {
    const Bytes old = ConfigFileBytes(ConfigRecordSize);
    WriteBytes(dir / "kept.cnf", old);
    record = NewConfigRecord(3);

    // A file size limit below one record: the write stops partway, as on a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = WriteConfigFile(dir / "kept.cnf", record, notice);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(saved_ok);
    EXPECT_TRUE(notice.Error);
    EXPECT_EQ(notice.Line1, "Ошибка записи файла kept.cnf");
    EXPECT_EQ(notice.Line2, "Параметры конфигурации не сохранены");
    EXPECT_EQ(ReadBytes(dir / "kept.cnf"), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"kept.cnf"});
}

// A save killed between writing its new file and renaming it leaves the old target and
// one temporary file of its own; the next save into the folder removes that once it is a
// minute old, and nothing else.
TEST_F(CnfFileTest, ASaveKilledHalfwayLeavesTheTargetAndItsLeftoverGoesAtTheNextSave) {
    const Bytes old = ConfigFileBytes(ConfigRecordSize);
    WriteBytes(dir / "kept.cnf", old);
    // Big enough that the child is still writing when it is seen; untouched anonymous
    // pages cost no memory.
    constexpr size_t Size = size_t{512} << 20;
    void* big = mmap(nullptr, Size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(big, MAP_FAILED);
    std::string leftover;
    for (int attempt = 0; attempt < 5 && leftover.empty(); ++attempt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ReplaceFile(dir / "kept.cnf", static_cast<const uint8_t*>(big), Size);
            _exit(0);
        }
        for (int poll = 0; poll < 200000 && leftover.empty(); ++poll) {
            for (const std::string& name : dir.Names()) {
                if (IsSaveTemporary(name)) {
                    kill(child, SIGKILL);
                    leftover = name;
                }
            }
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!leftover.empty() && !fs::exists(dir / leftover)) {
            leftover.clear();  // it had finished after all: try again
            WriteBytes(dir / "kept.cnf", old);
        }
    }
    munmap(big, Size);
    ASSERT_FALSE(leftover.empty()) << "the save was never caught halfway";
    EXPECT_EQ(ReadBytes(dir / "kept.cnf"), old);
    EXPECT_TRUE(leftover.starts_with("kept.cnf.zantir-")) << leftover;

    // What must stay: another save's fresh file, and names that only look alike.
    const std::vector<std::string> others = {"other.cnf.zantir-99-0.tmp", "notes.tmp",
                                             "x.cnf.zantir-1-a.tmp", ".zantir-1-2.tmp"};
    for (const std::string& name : others) {
        WriteBytes(dir / name, {1});
    }
    const timespec aged[2] = {{time(nullptr) - 2 * StaleTemporaryAge, 0},
                              {time(nullptr) - 2 * StaleTemporaryAge, 0}};
    for (const std::string& name : {leftover, others[1], others[2], others[3]}) {
        ASSERT_EQ(utimensat(AT_FDCWD, (dir / name).c_str(), aged, 0), 0);
    }
    record = NewConfigRecord(5);
    ASSERT_TRUE(WriteConfigFile(dir / "new.cnf", record, notice));
    std::vector<std::string> expected = others;
    expected.insert(expected.end(), {"kept.cnf", "new.cnf"});
    std::vector<std::string> names = dir.Names();
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    EXPECT_EQ(ReadBytes(dir / "kept.cnf"), old);
}

// What a save may not replace and a read may not wait on: each stays as it was, the
// save says "Ошибка открытия файла" and leaves nothing behind, the read is refused at once.
struct NotARegularFile : CnfFileTest, testing::WithParamInterface<const char*> {
    // Makes the named thing in the scratch folder; false when this process cannot.
    bool Make(const std::string& kind) {
        const std::string path = dir / "target.cnf";
        if (kind == "fifo") {
            return mkfifo(path.c_str(), 0644) == 0;
        }
        if (kind == "directory") {
            return fs::create_directory(path);
        }
        if (kind == "device") {
            return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // a null device
        }
        if (kind == "link-to-fifo") {
            return mkfifo((dir / "fifo").c_str(), 0644) == 0 &&
                   symlink((dir / "fifo").c_str(), path.c_str()) == 0;
        }
        WriteBytes(path, ConfigFileBytes(ConfigRecordSize));  // read-only
        return chmod(path.c_str(), 0444) == 0;
    }
};

TEST_P(NotARegularFile, IsNeitherReplacedNorWaitedOn) {
    const std::string kind = GetParam();
    if (!Make(kind)) {
        GTEST_SKIP() << "cannot make a " << kind << " here";
    }
    const std::string path = dir / "target.cnf";
    struct stat before {};
    ASSERT_EQ(lstat(path.c_str(), &before), 0);
    const std::vector<std::string> names = dir.Names();
    const Bytes content = kind == "read-only" ? ReadBytes(path) : Bytes{};

    record = NewConfigRecord(5);
    EXPECT_FALSE(WriteConfigFile(path, record, notice));
    EXPECT_TRUE(notice.Error);
    EXPECT_EQ(notice.Line1, "Ошибка открытия файла");
    struct stat after {};
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(dir.Names(), names);
    if (kind == "read-only") {
        EXPECT_EQ(ReadBytes(path), content);
        return;  // a read-only file is still read
    }
    EXPECT_FALSE(Read(path));  // a FIFO with no writer would block a plain open for ever
    EXPECT_TRUE(notice.Error);
    EXPECT_EQ(RecordBytes(record), untouched);
}

INSTANTIATE_TEST_SUITE_P(Targets, NotARegularFile,
                         testing::Values("fifo", "directory", "device", "link-to-fifo",
                                         "read-only"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(CnfFileNames, DefaultNameAndExtension) {
    std::tm march7{};
    march7.tm_year = 124;
    march7.tm_mon = 2;
    march7.tm_mday = 7;
    march7.tm_hour = 9;
    march7.tm_min = 5;
    march7.tm_sec = 3;
    EXPECT_EQ(DefaultConfigFileName("/opt/zantir/CONFIG", 5, march7),
              "/opt/zantir/CONFIG/zrt16-mk5-240307-0905.cnf");
    EXPECT_EQ(DefaultConfigFileName("CONFIG/", 3, march7, true),
              "CONFIG/zrt16-mk3-240307-090503.cnf");
    EXPECT_EQ(DefaultConfigFileName("CONFIG", 3, march7, true, 12),
              "CONFIG/zrt16-mk3-240307-090503-12.cnf");

    EXPECT_EQ(WithConfigExtension("/data/test"), "/data/test.cnf");
    EXPECT_EQ(WithConfigExtension("/data/test.txt"), "/data/test.txt");
    EXPECT_EQ(WithConfigExtension("/data/v1.2/test"), "/data/v1.2/test.cnf");
    EXPECT_EQ(FileNameOf("/data/v1.2/test.cnf"), "test.cnf");
}

// Backups of one minute, one second even, each get a name of their own: anything that has
// a name (a link that leads nowhere too) keeps it.
TEST(CnfFileNames, TheFreeNameSkipsEveryNameTaken) {
    ScratchDir dir;
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 9;
    when.tm_hour = 14;
    when.tm_min = 32;
    when.tm_sec = 7;
    const std::vector<std::string> expected = {
        "zrt16-mk5-261209-1432.cnf", "zrt16-mk5-261209-143207.cnf", "zrt16-mk5-261209-143207-2.cnf",
        "zrt16-mk5-261209-143207-3.cnf"};
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string name = FreeConfigFileName(dir.path.string(), 5, when);
        ASSERT_EQ(name, dir / expected[i]);
        if (i == 1) {
            fs::create_symlink(dir / "nowhere", name);
        } else {
            WriteBytes(name, {1});
        }
    }
}

// Saves that name no file or the default name: an existing file is never replaced, even one
// that appears while the new file is written, and nothing is left behind.
TEST_F(CnfFileTest, ANewFileNeverReplacesOne) {
    const Bytes old = ConfigFileBytes(ConfigRecordSize);
    WriteBytes(dir / "kept.cnf", old);
    record = NewConfigRecord(5);
    EXPECT_EQ(WriteNewConfigFile(dir / "kept.cnf", record, notice), SaveResult::Exists);
    EXPECT_EQ(notice.Line1, "Файл kept.cnf уже есть.");
    const Bytes file = RecordBytes(record);
    // The last step alone, as when the file appears after the name was seen free.
    EXPECT_EQ(WriteInPlaceOf(dir / "kept.cnf", file.data(), file.size(), false),
              ReplaceResult::Exists);
    EXPECT_EQ(ReadBytes(dir / "kept.cnf"), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"kept.cnf"});

    EXPECT_EQ(WriteNewConfigFile(dir / "new.cnf", record, notice), SaveResult::Saved);
    EXPECT_EQ(notice.Line2, "сохранены в файле new.cnf");
    EXPECT_EQ(ReadBytes(dir / "new.cnf"), file);

    // Three saves into a folder within a second: three files.
    std::vector<std::string> saved;
    for (int i = 0; i < 3; ++i) {
        std::string path;
        ASSERT_TRUE(SaveConfigFileInFolder(dir.path.string(), record, path, notice));
        EXPECT_EQ(ReadBytes(path), file);
        saved.push_back(path);
    }
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(std::unique(saved.begin(), saved.end()), saved.end());
    EXPECT_EQ(dir.Names().size(), 5u);
    EXPECT_EQ(ReadBytes(dir / "kept.cnf"), old);
}

}  // namespace
