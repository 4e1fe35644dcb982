// The real main window against zantir-sim over a pty: start, connection dialog,
// identification checks, the telephone call, and the settings written at close.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "app/Journal.h"
#include "app/Main.h"
#include "app/Question.h"
#include "config/Codepage.h"
#include "config/Ident.h"
#include "connection/Connpar.h"
#include "tests/app/Operator.h"
#include "tests/app/Programfolder.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string FileText(const fs::path& path) {
    const std::vector<char> bytes = FileBytes(path);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

class MainTest : public QObject {
    Q_OBJECT
private slots:

    void connectsAndShowsTheDeviceCommands() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        Operator op;
        TFormMain main;
        QVERIFY(!main.Nconnect->isVisible());
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.DeviceAccepted, 10000);
        QVERIFY(main.NWorkPar->menuAction()->isVisible());
        QVERIFY(main.NConfData->menuAction()->isVisible());
        QVERIFY(main.Device.Port());
        QCOMPARE(main.Engine.Port, main.Device.Port());
        QCOMPARE(main.StatusBar1[0]->text(), QString(" COM1,   9600 бит/с"));
        QVERIFY(op.messages.isEmpty());
        QVERIFY(fs::is_directory(folder.directory / "CONFIG"));

        main.NidentClick();
        QTRY_COMPARE(op.identViews, 1);
        // Panel 1 is cleared three seconds after the operation.
        main.StatusBar1[1]->setText("x");
        main.TimerMessage.start();
        QTRY_COMPARE_WITH_TIMEOUT(main.StatusBar1[1]->text(), QString(), 4000);

        // The last panel ends inside the window at any width a desk gives it.
        for (int width : {800, 1280, 1920}) {
            main.resize(width, 600);
            QTRY_COMPARE(main.width(), width);
            QTRY_VERIFY(main.StatusBar1[2]->geometry().right() < main.statusBar()->width());
            QVERIFY(main.StatusBar1[1]->width() >= 100);
        }
    }

    void refusesOtherDevicesAndClosesThePort() {
        struct Case {
            std::vector<std::string> options;
            QString message;
        };
        const std::vector<Case> cases = {
            {{"--type", "7", "--version", "2"},
             "Код типа подключенного устройства  7|Программа обслуживает зантиры zrt16-mk"},
            {{"--version", "2"},
             "У подключенного зантира версия ПО = 2.|Программа обслуживает зантиры только с "
             "версией ПО от 3 до 6"},
            {{"--version", "7"},
             "У подключенного зантира версия ПО = 7.|Программа обслуживает зантиры только с "
             "версией ПО от 3 до 6"},
        };
        for (const Case& c : cases) {
            ProgramFolder folder(c.options);
            QVERIFY(folder.ok());
            Operator op;
            TFormMain main;
            main.show();
            QTRY_COMPARE_WITH_TIMEOUT(op.messages.size(), 1, 10000);
            QCOMPARE(op.messages[0], c.message);
            QTRY_VERIFY(main.Nconnect->isVisible());
            QVERIFY(!main.DeviceAccepted);
            QVERIFY(!main.Device.Port());
            QVERIFY(!main.Engine.Port);
            QVERIFY(!main.NWorkPar->menuAction()->isVisible());
        }
    }

    void destroyedTableLeadsIntoTheTableState() {
        ProgramFolder folder({"--destroyed", "5"});
        QVERIFY(folder.ok());
        Operator op;
        QString state;
        op.onTables = [&state](TFormTableInfo& d) {
            state = d.pn2->text() + "|" + d.pw2->text();
            d.BitBtn2->click();
        };
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(!state.isEmpty(), 10000);
        QVERIFY(main.DeviceAccepted);
        QCOMPARE(state, QString(" Табл.  5.  Командная строка модема|Да"));
        // What the status bar showed for a moment stays in the journal.
        QVERIFY(main.Journal1->Lines().filter("Разрушена таблица № 5").size() == 1);
    }

    void telephoneCallShowsItsPanelAndHangsUp() {
        ProgramFolder folder({"--modem", "--log"}, TelephoneSettings());
        QVERIFY(folder.ok());
        Operator op;
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.DeviceAccepted, 20000);
        QVERIFY(main.Device.CallUp());
        QVERIFY(main.pnmodem->isVisible());
        main.CallStart = QDateTime::currentDateTime().addSecs(-(3600 + 2 * 60 + 3));
        main.TimerMoneyTimer();
        QCOMPARE(main.pntime->text(), QString("01:02:03"));

        main.BitBtn3->click();
        QVERIFY(!main.pnmodem->isVisible());
        QVERIFY(!main.Device.CallUp());
        QVERIFY(!main.Device.Port());
        QVERIFY(!main.NWorkPar->menuAction()->isVisible());
        QVERIFY(main.pntime->text().startsWith("01:02:0"));  // the final duration stays
        const std::string log = folder.sim->Stop();
        QVERIFY2(log.find("modem <- ATD5550102") != std::string::npos, log.c_str());
        QVERIFY2(log.find("modem <- ath") != std::string::npos, log.c_str());
    }

    void connectingAnewHangsUpTheCallFirst() {
        ProgramFolder folder({"--modem", "--log"}, TelephoneSettings());
        QVERIFY(folder.ok());
        Operator op;
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.Device.CallUp(), 20000);

        std::string logWhenAsked;
        op.onConnect = [&](TFormConnPar& d) {
            std::ifstream in(folder.directory / "PORTS" / "COM1.log");
            logWhenAsked.assign(std::istreambuf_iterator<char>(in), {});
            d.BitBtn2->click();
        };
        main.NconnectClick();
        QTRY_VERIFY_WITH_TIMEOUT(!logWhenAsked.empty(), 20000);
        // The call was ended ("+++" answered, then "ath") before the dialog came up.
        const size_t dialled = logWhenAsked.find("modem <- ATD5550102");
        QVERIFY(dialled != std::string::npos);
        QVERIFY2(logWhenAsked.find("modem <- ath", dialled) != std::string::npos,
                 logWhenAsked.c_str());
        QVERIFY(!main.Device.CallUp());
        QVERIFY(!main.pnmodem->isVisible());
    }

    void settingsAreWrittenBackAtCloseByteForByte() {
        ConnectionSettings settings;
        settings.Reserved1 = 0x5A;
        settings.Reserved2 = 7;
        settings.Reserved3 = 0xA5;
        settings.RtsPause = 17;
        ProgramFolder folder({}, settings);
        QVERIFY(folder.ok());
        const fs::path file = folder.directory / "INI" / "zantir.ini";
        const std::vector<char> before = FileBytes(file);
        QCOMPARE(before.size(), size_t{286});
        fs::remove(file);
        {
            std::ofstream out(file, std::ios::binary);
            out.write(before.data(), static_cast<std::streamsize>(before.size()));
            out << "trailing bytes that the next save cuts off";
        }
        Operator op;
        op.connectWhenAsked = false;
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.Nconnect->isVisible(), 10000);
        QVERIFY(!main.Device.Port());
        main.close();
        QCOMPARE(FileBytes(file), before);
        // A serial link says so in the network file, which keeps the network's defaults.
        QCOMPARE(FileText(folder.directory / "INI" / "zantir-net.ini"),
                 std::string("link=serial\nhost=\nport=4001\nrfc2217=0\ncallin=0\n"));
    }

    // A network link comes from zantir-net.ini into the dialog and the status bar, and
    // goes back there at close; zantir.ini keeps a direct link for older copies.
    void networkLinkIsLoadedShownAndWrittenBackAtClose() {
        ConnectionSettings settings;
        settings.Reserved1 = 0x5A;
        settings.RtsPause = 17;
        ProgramFolder folder({}, settings);
        QVERIFY(folder.ok());
        const fs::path file = folder.directory / "INI" / "zantir.ini";
        const fs::path networkFile = folder.directory / "INI" / "zantir-net.ini";
        const std::vector<char> before = FileBytes(file);
        std::ofstream(networkFile) << "link=network\nhost=10.0.0.7\nport=4001\nrfc2217=1\n";
        Operator op;
        QString shown;
        op.onConnect = [&shown](TFormConnPar& d) {
            shown = d.ComboBox4->currentText() + "|" + d.Edit11->text() + "|" + d.Edit12->text() +
                    "|" + (d.CheckBox1->isChecked() ? "rfc2217" : "") + "|" +
                    (d.CheckBox2->isChecked() ? "call-in" : "");
            d.BitBtn2->click();
        };
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 10000);
        QCOMPARE(shown, QString("Сеть (TCP/IP)|10.0.0.7|4001|rfc2217|"));
        QCOMPARE(main.Settings.LinkType, uint8_t{2});
        QTRY_VERIFY(main.Nconnect->isVisible());
        main.ShowConnection();
        QCOMPARE(main.StatusBar1[0]->text(), QString(" 10.0.0.7:4001,   9600 бит/с"));
        main.Network.CallIn = true;
        main.ShowConnection();
        QCOMPARE(main.StatusBar1[0]->text(), QString(" :4001,   9600 бит/с"));
        main.Network.CallIn = false;
        main.Network.Port = 4002;

        main.close();
        QCOMPARE(FileBytes(file), before);  // link type 0, as it was
        QCOMPARE(FileText(networkFile),
                 std::string("link=network\nhost=10.0.0.7\nport=4002\nrfc2217=1\ncallin=0\n"));
    }
};

QTEST_MAIN(MainTest)
#include "MainTest.moc"
