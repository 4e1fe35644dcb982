#include "link/Portlist.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/Posixport.h"
#include "tests/support/Fakeports.h"

namespace {

namespace fs = std::filesystem;

class PortlistTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.UsbAdapter("ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "ftdi_sio",
                        "usb-FTDI_FT232R_USB_UART_A10K3XJ1-if00-port0");
        tree.UsbAdapter("ttyUSB10", "1-3", "1a86", "7523", "", "ch341");
        tree.AcmDevice("ttyACM0", "1-2", "Arduino Uno");
        tree.Uart("ttyS0", 4);
        tree.Uart("ttyS1", 0);
        tree.Console("tty1");
        user.Uid = 0;
    }

    std::vector<FoundPort> Found() const { return FindSerialPorts(tree.roots, user); }
    std::string Ports() const { return (tree.dir.path / "PORTS").string(); }
    std::string DevPath(const std::string& name) const { return tree.Dev(name).string(); }

    FakePortTree tree;
    PortUser user;
};

TEST_F(PortlistTest, FindsAdaptersModemsAndRealUartsOnly) {
    const std::vector<FoundPort> found = Found();
    std::vector<std::string> names;
    for (const FoundPort& port : found) {
        names.push_back(port.Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB10"}));
    ASSERT_EQ(found.size(), 4u);

    const FoundPort& ftdi = found[2];
    EXPECT_TRUE(ftdi.Usb);
    EXPECT_EQ(ftdi.Device, DevPath("ttyUSB0"));
    EXPECT_EQ(
        ftdi.ById,
        (tree.dir.path / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XJ1-if00-port0").string());
    EXPECT_EQ(ftdi.Driver, "ftdi_sio");
    EXPECT_EQ(ftdi.VendorId + ":" + ftdi.ProductId, "0403:6001");
    EXPECT_EQ(ftdi.Manufacturer, "Maker");
    EXPECT_EQ(ftdi.SerialNumber, "SN1-1");
    EXPECT_EQ(FoundPortText(ftdi), DevPath("ttyUSB0") + ", FT232R USB UART");

    EXPECT_EQ(FoundPortText(found[0]), DevPath("ttyACM0") + ", Arduino Uno");
    EXPECT_EQ(found[0].Driver, "cdc_acm");
    EXPECT_TRUE(found[0].ById.empty());
    EXPECT_FALSE(found[1].Usb);
    EXPECT_EQ(FoundPortText(found[1]), DevPath("ttyS0") + ", UART 16550A");
    EXPECT_EQ(FoundPortText(found[3]), DevPath("ttyUSB10") + ", USB 1a86:7523");
}

TEST_F(PortlistTest, PortTheUserMayNotOpenNamesTheGroupThatMay) {
    struct stat info {};
    ASSERT_EQ(stat(DevPath("ttyUSB0").c_str(), &info), 0);
    user.Uid = static_cast<uint32_t>(getuid()) + 4321;  // owns nothing here
    const std::string group = GroupNameOf(info.st_gid);
    EXPECT_FALSE(Found()[2].MayOpen);
    EXPECT_EQ(Found()[2].Group, group);
    EXPECT_EQ(
        FoundPortText(Found()[2]),
        DevPath("ttyUSB0") + ", FT232R USB UART (нет прав доступа: нужна группа " + group + ")");
    chmod(DevPath("ttyUSB0").c_str(), 0600);  // no group may either
    EXPECT_EQ(Found()[2].Group, "");

    chmod(DevPath("ttyUSB0").c_str(), 0660);
    user.Groups = {info.st_gid};
    EXPECT_TRUE(Found()[2].MayOpen);
    user.Groups.clear();
    chmod(DevPath("ttyUSB0").c_str(), 0666);
    EXPECT_TRUE(Found()[2].MayOpen);
}

TEST_F(PortlistTest, EachComNumberSaysWhereItLeads) {
    const std::vector<FoundPort> found = Found();
    fs::create_directory(Ports());
    fs::create_symlink(found[2].ById, fs::path(Ports()) / "COM2");
    fs::create_symlink(tree.dir.path / "dev/serial/by-id/usb-gone", fs::path(Ports()) / "COM3");
    const std::vector<ComBinding> bindings = ComBindings(found, Ports(), tree.roots.Dev);
    ASSERT_EQ(bindings.size(), 8u);
    EXPECT_EQ(ComBindingText(bindings[0]), "COM1 — " + DevPath("ttyS0") + ", UART 16550A");
    EXPECT_EQ(ComBindingText(bindings[1]), "COM2 — " + DevPath("ttyUSB0") + ", FT232R USB UART");
    EXPECT_EQ(
        ComBindingText(bindings[2]),
        "COM3 — " + (tree.dir.path / "dev/serial/by-id/usb-gone").string() + ", не подключён");
    EXPECT_EQ(ComBindingText(bindings[3]), "COM4 — не назначен");
    EXPECT_EQ(ComBindingText(bindings[1]).find("ttyS1"), std::string::npos);

    const std::vector<const FoundPort*> unbound = UnboundPorts(found, bindings);
    ASSERT_EQ(unbound.size(), 2u);
    EXPECT_EQ(unbound[0]->Name, "ttyACM0");
    EXPECT_EQ(unbound[1]->Name, "ttyUSB10");
    EXPECT_EQ(FreeComNumber(bindings), 2 + 2);
}

// Where the system numbers its ports itself (Windows), COMn is the port it calls so, ahead of
// any link; a number above eight stays for the list of others.
TEST_F(PortlistTest, APortTheSystemNumbersTakesItsOwnComNumber) {
    std::vector<FoundPort> found(2);
    found[0].Name = "COM4";
    found[0].Device = "\\\\.\\COM4";
    found[0].Product = "\\Device\\VCP0";
    found[0].ComNumber = 4;
    found[1].Name = "COM12";
    found[1].ComNumber = 12;
    fs::create_directory(Ports());
    fs::create_symlink(DevPath("ttyS1"), fs::path(Ports()) / "COM4");
    const std::vector<ComBinding> bindings = ComBindings(found, Ports(), tree.roots.Dev);
    EXPECT_EQ(ComBindingText(bindings[3]), "COM4 — \\\\.\\COM4, \\Device\\VCP0");
    EXPECT_EQ(bindings[3].Port, &found[0]);
    EXPECT_TRUE(bindings[3].Present);
    const std::vector<const FoundPort*> unbound = UnboundPorts(found, bindings);
    ASSERT_EQ(unbound.size(), 1u);
    EXPECT_EQ(unbound[0], &found[1]);
}

TEST_F(PortlistTest, BindingLinksTheStableNameAndReplacesOnlyLinks) {
    const std::vector<FoundPort> found = Found();
    std::string failure;
    // No PORTS folder yet: the binding makes it.
    ASSERT_TRUE(BindComPort(Ports(), 1, found[2], failure)) << failure;
    EXPECT_EQ(fs::read_symlink(fs::path(Ports()) / "COM1"), found[2].ById);
    ASSERT_TRUE(BindComPort(Ports(), 1, found[0], failure)) << failure;
    EXPECT_EQ(fs::read_symlink(fs::path(Ports()) / "COM1"), found[0].Device);  // no by-id
    EXPECT_EQ(ComBindings(found, Ports(), tree.roots.Dev)[0].Port, &found[0]);
    EXPECT_EQ(fs::directory_iterator(Ports())->path().filename(), "COM1");  // nothing left over

    std::ofstream(fs::path(Ports()) / "COM5") << "notes";
    EXPECT_FALSE(BindComPort(Ports(), 5, found[2], failure));
    EXPECT_NE(failure.find("COM5 не является ссылкой"), std::string::npos);
    EXPECT_FALSE(BindComPort(Ports(), 9, found[2], failure));

    // Every COM number in use, one of them by an adapter that is not plugged in.
    for (int n = 1; n <= ComPortCount; ++n) {
        fs::remove(fs::path(Ports()) / ("COM" + std::to_string(n)));
        fs::create_symlink(found[1].Device, fs::path(Ports()) / ("COM" + std::to_string(n)));
    }
    EXPECT_EQ(FreeComNumber(ComBindings(found, Ports(), tree.roots.Dev)), 0);
    fs::remove(fs::path(Ports()) / "COM6");
    fs::create_symlink("/nonexistent/adapter", fs::path(Ports()) / "COM6");
    EXPECT_EQ(FreeComNumber(ComBindings(found, Ports(), tree.roots.Dev)), 6);
}

TEST(PortlistOnThisMachine, ListsTheUartTheKernelReports) {
    std::ifstream type("/sys/class/tty/ttyS0/type");
    int code = 0;
    if (!(type >> code) || code == 0 || !fs::exists("/dev/ttyS0")) {
        GTEST_SKIP() << "no UART at ttyS0 here";
    }
    bool listed = false;
    for (const FoundPort& port : FindSerialPorts()) {
        listed = listed || port.Device == "/dev/ttyS0";
    }
    EXPECT_TRUE(listed);
}

}  // namespace
