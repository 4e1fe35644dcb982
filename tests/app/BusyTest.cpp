// The real main window against a slow zantir-sim: while each device operation waits for
// the device, the window is closed, or every command of the window is chosen.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/Journal.h"
#include "app/Main.h"
#include "app/Wait.h"
#include "config/Cnffile.h"
#include "config/Codepage.h"
#include "config/Vichpar.h"
#include "connection/Connpar.h"
#include "tests/app/Operator.h"
#include "tests/app/Programfolder.h"

namespace fs = std::filesystem;

namespace {

using Header = std::vector<int>;
constexpr char Latency[] = "1000";  // ms before every answer of the device

// Fires act once, the first time `during` holds; it looks from a timer, so it runs
// inside whatever wait lets messages run.
class Watch : public QObject {
public:
    Watch(std::function<bool()> during, std::function<void()> act)
        : during_(std::move(during)), act_(std::move(act)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (!fired && during_()) {
                fired = true;
                act_();
            }
        });
        timer_.start(5);
    }
    bool fired = false;

private:
    std::function<bool()> during_;
    std::function<void()> act_;
    QTimer timer_;
};

QString Panel(const TFormMain& main, int panel) {
    return main.StatusBar1[static_cast<size_t>(panel)]->text();
}

bool Exchanging(const TFormMain& main, const char* what) {
    return Panel(main, StatusExchangePanel) == ExchangeStatusText &&
           Panel(main, OperationPanel).startsWith(QString::fromUtf8(what));
}

std::string Log(const ProgramFolder& folder) {
    std::ifstream in(folder.directory / "PORTS" / "COM1.log");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Later(const std::function<void()>& what) {
    QTimer::singleShot(0, what);
}

// A device operation, how it is reached, and how to tell that it waits for the device.
struct Moment {
    std::vector<std::string> sim;
    ConnectionSettings settings;
    std::function<void(TFormMain&, Operator&, ProgramFolder&)> start;
    std::function<bool(TFormMain&)> during;
    std::vector<Header> requests;  // what the device hears when nothing else runs
    // The search: a busy simulator misses some of its reads, so only their kind is known.
    bool identReadsOnly = false;
};

const Header Ident = {0, 0, 17, 0, 0, 0};
const std::vector<Header> WholeRead = {Ident,
                                       {3, 0, 8, 0, 0, 0},
                                       {5, 0, 1, 0, 0, 0},
                                       {6, 0, 130, 0, 0, 0},
                                       {6, 130, 125, 0, 0, 0},
                                       {1, 0, 2, 0, 0, 0}};

void Connected(TFormMain& main) {
    QVERIFY(QTest::qWaitFor([&] { return main.DeviceAccepted && !main.Device.Busy(); }, 20000));
}

std::vector<Header> Concat(std::vector<std::vector<Header>> parts) {
    std::vector<Header> all;
    for (auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Moment MomentOf(const QByteArray& name) {
    if (name == "ident at connection") {
        return {{},
                {},
                [](TFormMain&, Operator&, ProgramFolder&) {},
                [](TFormMain& m) { return Exchanging(m, "Чтение из таблицы 0"); },
                {Ident}};
    }
    if (name == "whole read") {
        return {{},
                {},
                [](TFormMain& m, Operator&, ProgramFolder&) {
                    Connected(m);
                    Later([&m] { m.N3->trigger(); });  // the save dialog is cancelled
                },
                [](TFormMain& m) { return Exchanging(m, "Чтение из таблицы 6"); },
                Concat({{Ident}, WholeRead})};
    }
    if (name == "editor write") {
        return {{},
                {},
                [](TFormMain& m, Operator& op, ProgramFolder&) {
                    op.onEditor = [](TFormConfig& editor) {
                        editor.StringGrid1->setCurrentCell(0, 0);
                        editor.BitBtn3->click();
                        Operator::Confirm(editor);
                    };
                    op.onEntry = [](TFormVichPar& entry) { entry.CheckBox1->click(); };
                    Connected(m);
                    Later([&m] { m.N2->trigger(); });
                },
                [](TFormMain& m) { return Exchanging(m, "Запись в таблицу 6"); },
                // The write is read back whole.
                Concat({{Ident}, WholeRead, {{0, 0, 0, 6, 1, 1}}, WholeRead})};
    }
    if (name == "table-state write") {
        return {{"--destroyed", "5"},
                {},
                [](TFormMain&, Operator& op, ProgramFolder& folder) {
                    FileNotice notice;
                    const fs::path file = folder.Config("restore.cnf");
                    QVERIFY(WriteConfigFile(file.string(), NewConfigRecord(5), notice));
                    op.onFile = [file](QFileDialog& d) { Operator::Choose(d, file.string()); };
                },
                [](TFormMain& m) { return Exchanging(m, "Запись в таблицу 5"); },
                Concat({{Ident, {7, 0, 8, 0, 0, 0}, {1, 0, 2, 0, 0, 0}, {0, 0, 0, 5, 0, 1}},
                        WholeRead})};
    }
    if (name == "dial wait") {
        return {
            {"--modem", "--dial-result", "silence"},
            TelephoneSettings(),
            [](TFormMain&, Operator&, ProgramFolder&) {},
            [](TFormMain& m) {
                return Panel(m, OperationPanel).startsWith("Установление связи по телефону:  ATD");
            },
            {}};
    }
    if (name == "hang-up") {
        return {{"--modem"},
                TelephoneSettings(),
                [](TFormMain& m, Operator&, ProgramFolder&) {
                    Connected(m);
                    Later([&m] {
                        m.setProperty("hangingUp", true);
                        emit m.BitBtn3->clicked();
                    });
                },
                [](TFormMain& m) { return m.property("hangingUp").toBool() && m.Device.Busy(); },
                {Ident}};
    }
    // the rate search of the connection dialog
    return {{},
            {},
            [](TFormMain&, Operator& op, ProgramFolder&) {
                op.onConnect = [](TFormConnPar& d) {
                    d.BitBtn4->click();  // returns when the search has ended
                    if (d.isVisible()) {
                        d.BitBtn2->click();
                    }
                };
            },
            [](TFormMain&) {
                auto* d = qobject_cast<TFormConnPar*>(QApplication::activeModalWidget());
                return d && d->StatusBar1->currentMessage().startsWith("Скорость обмена");
            },
            {},
            true};
}

}  // namespace

class BusyTest : public QObject {
    Q_OBJECT
private slots:
    void closeOrCommandDuringAnOperation_data() {
        QTest::addColumn<QByteArray>("moment");
        QTest::addColumn<bool>("close");
        for (const char* moment : {"ident at connection", "whole read", "editor write",
                                   "table-state write", "dial wait", "hang-up", "rate search"}) {
            QTest::addRow("close during %s", moment) << QByteArray(moment) << true;
            QTest::addRow("commands during %s", moment) << QByteArray(moment) << false;
        }
    }

    void closeOrCommandDuringAnOperation() {
        QFETCH(QByteArray, moment);
        QFETCH(bool, close);
        const Moment m = MomentOf(moment);
        std::vector<std::string> options = m.sim;
        options.insert(options.end(), {"--latency", Latency, "--log"});
        ProgramFolder folder(options, m.settings);
        QVERIFY(folder.ok());
        const fs::path ini = folder.directory / "INI" / "zantir.ini";
        Operator op;
        TFormMain main;
        size_t heardAtClose = 0;
        QElapsedTimer sinceClose;
        Watch watch(
            [&] { return m.during(main); },
            [&] {
                if (close) {
                    heardAtClose = RequestHeaders(Log(folder)).size();
                    sinceClose.start();
                    main.close();
                    return;
                }
                for (QAction* command : {main.Nident, main.N2, main.N1, main.N3, main.Nconnect,
                                         main.NNewCnf, main.NEditCnf, main.Nabout}) {
                    command->trigger();
                }
                emit main.BitBtn3->clicked();
            });
        main.show();
        m.start(main, op, folder);
        QTRY_VERIFY_WITH_TIMEOUT(watch.fired, 30000);
        if (close) {
            QTRY_VERIFY_WITH_TIMEOUT(!main.isVisible(), 10000);
            QVERIFY2(sinceClose.elapsed() < 10000,
                     qPrintable(QString::number(sinceClose.elapsed())));
            QVERIFY(!main.Device.Port());
            QCOMPARE(fs::file_size(ini), uintmax_t{286});
            // Nothing went to the device after the close but what was under way then.
            const std::string log = folder.sim->Stop();
            QCOMPARE(RequestHeaders(log).size(), heardAtClose);
            if (m.settings.LinkType == 1 && moment != "dial wait") {
                QVERIFY2(log.find("modem <- ath") != std::string::npos, log.c_str());
            }
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!main.Device.Busy(), 30000);
        QCOMPARE(op.identViews, 0);
        QCOMPARE(op.editors, moment == "editor write" || moment == "table-state write" ? 1 : 0);
        QVERIFY(main.isVisible());
        main.close();
        QCOMPARE(fs::file_size(ini), uintmax_t{286});
        std::vector<std::vector<int>> heard = RequestHeaders(folder.sim->Stop());
        if (m.identReadsOnly) {
            QVERIFY(!heard.empty() && heard.size() <= 21);
            heard.erase(std::remove(heard.begin(), heard.end(), Ident), heard.end());
        }
        QCOMPARE(heard, m.requests);
    }

    // Прервать in the wait dialog ends the operation at its next wait, not after it; the
    // journal says so (on the screen and in the day file), and the program goes on.
    void abortEndsTheOperationAndTheProgramGoesOn_data() {
        QTest::addColumn<QByteArray>("moment");
        QTest::addColumn<QString>("said");
        QTest::newRow("whole read")
            << QByteArray("whole read") << "Чтение параметров конфигурации: прервано оператором";
        QTest::newRow("editor write")
            << QByteArray("editor write") << "Запись в устройство: прервано оператором";
        QTest::newRow("table-state write")
            << QByteArray("table-state write") << "Запись в устройство: прервано оператором";
        QTest::newRow("dial wait")
            << QByteArray("dial wait") << "Установление связи: прервано оператором";
    }
    void abortEndsTheOperationAndTheProgramGoesOn() {
        QFETCH(QByteArray, moment);
        QFETCH(QString, said);
        const Moment m = MomentOf(moment);
        std::vector<std::string> options = m.sim;
        options.insert(options.end(), {"--latency", Latency});
        ProgramFolder folder(options, m.settings);
        QVERIFY(folder.ok());
        Operator op;
        TFormMain main;
        const auto waitDialog = [] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<TFormWait*>(window);
                if (dialog && dialog->isVisible() && dialog->BitBtnStop->isVisible()) {
                    return dialog;
                }
            }
            return static_cast<TFormWait*>(nullptr);
        };
        QElapsedTimer sinceAbort;
        Watch watch([&] { return m.during(main) && waitDialog(); },
                    [&] {
                        sinceAbort.start();
                        waitDialog()->BitBtnStop->click();
                    });
        main.show();
        m.start(main, op, folder);
        QTRY_VERIFY_WITH_TIMEOUT(watch.fired, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!main.Device.Busy(), 10000);
        // Every answer of the device takes a second: the operation did not run its course.
        QVERIFY2(sinceAbort.elapsed() < 2500, qPrintable(QString::number(sinceAbort.elapsed())));
        QVERIFY(main.isVisible());
        QVERIFY(main.isEnabled());
        QVERIFY(!waitDialog());
        QStringList journal;
        for (const QString& line : main.Journal1->Lines()) {
            journal << line.mid(10);
        }
        QVERIFY2(journal.contains(said), qPrintable(journal.join('\n')));
        std::ifstream day(folder.directory / "journal" /
                          QDate::currentDate().toString("'zantir-'yyyy-MM-dd'.log'").toStdString());
        const std::string kept{std::istreambuf_iterator<char>(day),
                               std::istreambuf_iterator<char>()};
        QVERIFY(kept.find(said.toStdString()) != std::string::npos);
        if (moment == "dial wait" || moment == "hang-up") {
            QVERIFY(!main.Device.CallUp());
            return;
        }
        QVERIFY(main.DeviceAccepted);
        // The device still answers the request that was ended: the next command at once
        // lets that answer go by instead of taking it for its own.
        main.NidentClick();
        QVERIFY2(QTest::qWaitFor([&] { return op.identViews == 1; }, 5000),
                 qPrintable(op.messages.join('\n')));
    }

    // An Escape pressed before the dial does not end its waits.
    void escapeBeforeTheDialDoesNotEndIt() {
        ProgramFolder folder({"--modem"}, TelephoneSettings());
        QVERIFY(folder.ok());
        Operator op;
        TFormMain main;
        QTest::keyClick(&main, Qt::Key_Escape);
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.DeviceAccepted, 20000);
        QVERIFY(main.Device.CallUp());
        QVERIFY(op.messages.isEmpty());
    }
};

QTEST_MAIN(BusyTest)
#include "BusyTest.moc"
