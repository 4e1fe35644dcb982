// The configuration commands of the real main window against zantir-sim: read, edit and
// write what changed; the table state and restoring from a file; configuration files.
#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "app/Compare.h"
#include "app/Journal.h"
#include "app/Main.h"
#include "app/Monitor.h"
#include "config/Cnffile.h"
#include "sim/Simdevice.h"
#include "tests/app/Operator.h"
#include "tests/app/Programfolder.h"

namespace fs = std::filesystem;

namespace {

using Header = std::vector<int>;

// Headers of the write requests in the simulator's log, in order.
std::vector<Header> Writes(const std::string& log) {
    std::vector<Header> writes;
    for (const Header& header : RequestHeaders(log)) {
        if (header[5] > 0) {
            writes.push_back(header);
        }
    }
    return writes;
}

std::vector<char> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The journal's lines without their times of day, which must lead each one.
QStringList JournalOf(const TFormMain& main) {
    QStringList lines;
    for (const QString& line : main.Journal1->Lines()) {
        const bool timed = QRegularExpression("^\\d\\d:\\d\\d:\\d\\d  ").match(line).hasMatch();
        lines << (timed ? line.mid(10) : "untimed: " + line);
    }
    return lines;
}

// The journal names the history file that keeps the configuration from before a write.
const QString BackupLine = "Резервная копия конфигурации до записи: ";

// The rows a comparison marks as differing: "caption|A|B".
QStringList Rows(const TFormCompare& d) {
    QStringList rows;
    for (int row = 0; row < d.StringGrid1->rowCount(); ++row) {
        if (d.StringGrid1->item(row, 0)->font().bold()) {
            rows << d.StringGrid1->item(row, 0)->text() + "|" +
                        d.StringGrid1->item(row, 1)->text() + "|" +
                        d.StringGrid1->item(row, 2)->text();
        }
    }
    return rows;
}

// Opens the entry of an address in the editor and lets the operator change it.
void EditEntry(TFormConfig& editor, int address) {
    editor.StringGrid1->setCurrentCell(address - 1, 0);
    editor.BitBtn3->click();
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private:
    // Waits for the start sequence to connect the device.
    static bool Connected(TFormMain& main) {
        main.show();
        return QTest::qWaitFor([&] { return main.DeviceAccepted; }, 10000);
    }

private slots:
    // The monitor, opened before the connection, shows every frame of the identification
    // and of a whole read as the simulator logged it, holds lines back while paused,
    // saves what it shows, and traces nothing once closed.
    void monitorShowsAWholeReadAndSavesIt() {
        ProgramFolder folder({"--log"});
        QVERIFY(folder.ok());
        Operator op;
        TFormMain main;
        main.Nmonitor->trigger();
        QVERIFY(main.Monitor->isVisible());
        QVERIFY(Connected(main));
        main.N2Click();
        const QStringList read = main.Monitor->Lines();
        // Closed, it hears nothing: another read leaves its lines as they were.
        main.Monitor->close();
        QVERIFY(!main.Monitor->Trace().Enabled());
        main.N2Click();
        QCOMPARE(main.Monitor->Lines(), read);
        const std::string shown = read.join('\n').toStdString() + "\n";
        std::vector<std::string> frames = TracedFrames(shown, "-> ", "<- ");
        std::vector<std::string> logged = TracedFrames(folder.sim->Stop(), "<- ", "-> ");
        QVERIFY2(frames.size() >= 14, std::to_string(frames.size()).c_str());
        QVERIFY(logged.size() > frames.size());  // the second read went unseen
        logged.resize(frames.size());
        QCOMPARE(frames, logged);
        QVERIFY(shown.find("RTS снят") != std::string::npos);

        main.Monitor->show();
        const qsizetype before = main.Monitor->Lines().size();
        main.Monitor->PauseButton->click();
        main.Monitor->Trace().CommandStarted(TableExchange);
        QCOMPARE(main.Monitor->Lines().size(), before);
        main.Monitor->PauseButton->click();
        QCOMPARE(main.Monitor->Lines().size(), before + 1);

        const fs::path saved = folder.directory / "monitor.txt";
        QVERIFY(main.Monitor->SaveTo(saved.string()));
        const std::vector<char> file = Bytes(saved);
        QCOMPARE(QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size())),
                 main.Monitor->Lines().join('\n') + '\n');
        main.Monitor->CopyButton->click();  // nothing selected: all of it
        QCOMPARE(QApplication::clipboard()->text(), main.Monitor->Lines().join('\n') + '\n');

        for (int i = 0; i < ExchangeMonitor::MaxLines + 50; ++i) {
            main.Monitor->Trace().CommandStarted(TableExchange);
        }
        QCOMPARE(main.Monitor->Lines().size(), qsizetype{ExchangeMonitor::MaxLines});
        main.Monitor->ClearButton->click();
        QVERIFY(main.Monitor->Lines().isEmpty());
        QTest::keyClick(main.Monitor, Qt::Key_Escape);
        QVERIFY(!main.Monitor->isVisible());
        QVERIFY(!main.Monitor->Trace().Enabled());
    }

    void editingNothingWritesNothing() {
        ProgramFolder folder({"--log"});
        QVERIFY(folder.ok());
        Operator op;
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        QCOMPARE(op.editors, 1);
        QCOMPARE(op.messages, QStringList{"Запись таблиц не выполняется.|Нет измененных данных"});
        QCOMPARE(JournalOf(main),
                 QStringList({"Связь установлена: COM1, 9600 бит/с, непосредственная связь; "
                              "код типа 8, версия ПО 5 (Чтение и запись)",
                              "Параметры конфигурации: прочитано (таблицы 0, 3, 5, 6, 1)",
                              "Запись таблиц не выполняется. Нет измененных данных"}));
        QVERIFY(main.isEnabled());
        QVERIFY(Writes(folder.sim->Stop()).empty());
    }

    void changedEntriesAreWrittenInRuns() {
        ProgramFolder folder({"--log"});
        QVERIFY(folder.ok());
        Operator op;
        op.onEditor = [](TFormConfig& editor) {
            for (int address : {1, 2, 9}) {
                EditEntry(editor, address);
            }
            Operator::Confirm(editor);
        };
        op.onEntry = [](TFormVichPar& entry) {
            if (!entry.CheckBox1->isChecked()) {
                entry.CheckBox1->click();
            }
            entry.ComboBox1->setCurrentIndex(2);  // port C
        };
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        QVERIFY(op.messages.isEmpty());
        QCOMPARE(op.changeLists, (QList<QStringList>{{"Вычислитель 1: A 9600 → C 9600",
                                                      "Вычислитель 2: A 9600 → C 9600",
                                                      "Вычислитель 9: Нет → C 300"}}));
        // The configuration before the write is kept, and the write is read back.
        const QStringList journal = JournalOf(main);
        QCOMPARE(journal.last(), QString("Записана таблица 6: записано и проверено"));
        const QString kept = journal[journal.size() - 2];
        QVERIFY2(
            kept.startsWith(BackupLine + QString::fromStdString(
                                             (folder.directory / "CONFIG" / "history").string())),
            qPrintable(kept));
        QVERIFY(fs::is_regular_file(kept.section(": ", 1).toStdString()));
        const std::vector<Header> expected = {{0, 0, 0, 6, 1, 2}, {0, 0, 0, 6, 9, 1}};
        QCOMPARE(Writes(folder.sim->Stop()), expected);
        QCOMPARE(main.Image.Bytes[FlowComputerOffset + 9] >> EntryPortShift, 3);
    }

    void disconnectingEveryComputerWritesTwoRuns() {
        ProgramFolder folder({});
        // A device with all 254 flow computers connected.
        SimDevice device(8, 5);
        for (int a = 1; a <= 254; ++a) {
            device.tables.FlowComputers[a] = 0x2B;
        }
        const std::string state = (folder.directory / "device.state").string();
        QVERIFY(device.SaveState(state));
        folder.sim = std::make_unique<SimProcess>(
            folder.directory.string(), std::vector<std::string>{"--state", state, "--log"},
            "PORTS/COM1");
        QVERIFY(folder.sim->ok());
        Operator op;
        op.answers = {true};  // "Отключить все вычислители"?
        op.onEditor = [](TFormConfig& editor) {
            editor.BitBtn4->click();
            Operator::Confirm(editor);
        };
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        const std::vector<Header> expected = {{0, 0, 0, 6, 1, 243}, {0, 0, 0, 6, 244, 11}};
        QCOMPARE(Writes(folder.sim->Stop()), expected);
    }

    void newUpperLevelRateMovesTheProgram() {
        ProgramFolder folder({"--rate", "9600"});
        QVERIFY(folder.ok());
        Operator op;
        op.onEditor = [](TFormConfig& editor) {
            editor.ComboBox1->setCurrentIndex(editor.ComboBox1->findText("19200"));
            Operator::Confirm(editor);
        };
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        QCOMPARE(main.Engine.BaudRate, 19200);
        QCOMPARE(static_cast<int32_t>(main.Settings.BaudRate), 19200);
        QCOMPARE(main.StatusBar1[0]->text(), QString(" COM1,   19200 бит/с"));
        main.NidentClick();
        QTRY_COMPARE(op.identViews, 1);
    }

    void destroyedTableIsRestoredFromAFile() {
        ProgramFolder folder({"--destroyed", "5", "--log"});
        QVERIFY(folder.ok());
        ConfigRecord record = NewConfigRecord(5);
        const char modem[] = "ATZ\r";
        std::copy(modem, modem + 4, record.ModemInit.begin());
        FileNotice notice;
        const fs::path file = folder.Config("restore.cnf");
        QVERIFY(WriteConfigFile(file.string(), record, notice));

        Operator op;
        op.onFile = [file](QFileDialog& d) { Operator::Choose(d, file.string()); };
        TFormMain main;
        QVERIFY(Connected(main));
        // The start sequence went on into the table state, the file, the editor and the write.
        QTRY_COMPARE_WITH_TIMEOUT(op.editors, 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(main.Image.Bytes[IdentDestroyedTable] == 0 && main.isEnabled(),
                                 10000);
        QVERIFY(op.messages.isEmpty());
        const std::vector<Header> writes = Writes(folder.sim->Stop());
        QCOMPARE(writes, (std::vector<Header>{{0, 0, 0, 5, 0, 1}}));
    }

    void savedConfigurationReopensTheSame() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        Operator op;
        op.onFile = [](QFileDialog& d) { Operator::Choose(d); };  // the proposed name
        TFormMain main;
        QVERIFY(Connected(main));
        main.N3Click();
        QCOMPARE(op.messages.size(), 1);
        QVERIFY(op.messages[0].startsWith("Параметры конфигурации|сохранены в файле zrt16-mk5-"));
        QVERIFY(JournalOf(main).last().startsWith(
            "Параметры конфигурации сохранены в файле zrt16-mk5-"));
        std::vector<fs::path> saved;
        for (const auto& entry : fs::directory_iterator(folder.directory / "CONFIG")) {
            if (entry.is_regular_file()) {  // the history has a folder of its own
                saved.push_back(entry.path());
            }
        }
        QCOMPARE(saved.size(), size_t{1});
        ConfigRecord expected{};
        LoadEditorRecord(main.Image, expected);
        const std::vector<char> bytes = Bytes(saved[0]);
        QCOMPARE(bytes.size(), sizeof expected);
        QVERIFY(std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char*>(&expected)));

        // Opened again and accepted unchanged: nothing is offered for saving.
        op.messages.clear();
        op.onFile = [path = saved[0]](QFileDialog& d) { Operator::Choose(d, path.string()); };
        main.NCnfClick(1);
        QCOMPARE(op.editors, 1);
        QVERIFY(op.messages.isEmpty());
        QCOMPARE(JournalOf(main).last(),
                 QString::fromStdString("Открыт файл " + saved[0].string()));
        QCOMPARE(Bytes(saved[0]), bytes);

        // A second save offers a name of its own; one that is there by the time the operator
        // accepts it is replaced only after the question.
        op.messages.clear();
        QString offered;
        op.onFile = [&](QFileDialog& d) {
            if (offered.isEmpty()) {
                offered = d.selectedFiles().value(0);
                std::ofstream(offered.toStdString()) << "precious";
                Operator::Choose(d);
            } else {
                d.reject();
            }
        };
        main.N3Click();
        QVERIFY(!offered.isEmpty());
        QVERIFY(offered != QString::fromStdString(saved[0].string()));
        QVERIFY(QRegularExpression("/CONFIG/zrt16-mk5-\\d{6}-\\d{4,6}\\.cnf$")
                    .match(offered)
                    .hasMatch());
        QCOMPARE(op.messages, QStringList{"Файл " + QFileInfo(offered).fileName() +
                                          " уже есть.|Вы хотите заменить существующий файл?"});
        QCOMPARE(Bytes(offered.toStdString()),
                 (std::vector<char>{'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
        QCOMPARE(Bytes(saved[0]), bytes);
    }

    void legacyFileOpensAsVersionThree() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        const fs::path legacy = folder.Config("old.cnf");
        {
            std::vector<char> bytes(LegacyConfigFileSize, 0);
            bytes[0] = 11;  // 9600 bit/s
            std::ofstream(legacy, std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        Operator op;
        op.connectWhenAsked = false;
        bool rtsControlOffered = true;
        QString rate;
        op.onFile = [legacy](QFileDialog& d) { Operator::Choose(d, legacy.string()); };
        op.onEditor = [&](TFormConfig& editor) {
            rtsControlOffered = editor.ComboBox5->isEnabled();
            rate = editor.ComboBox1->currentText();
            Operator::Confirm(editor);
        };
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.Nconnect->isVisible(), 10000);
        main.NCnfClick(1);
        QCOMPARE(op.editors, 1);
        QVERIFY(!rtsControlOffered);  // a version 3 configuration
        QCOMPARE(rate, QString("9600"));
    }

    void newFileIsMadeForTheChosenVersionAndSavedUnderTheTypedName() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        Operator op;
        op.connectWhenAsked = false;
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.Nconnect->isVisible(), 10000);

        main.NCnfClick(0);  // the version choice cancelled: no editor
        QCOMPARE(op.editors, 0);

        const fs::path typed = folder.Config("test");
        op.selectResult = 5;
        op.answers = {true};  // save it?
        bool rtsControlOffered = false;
        op.onEditor = [&](TFormConfig& editor) {
            rtsControlOffered = editor.ComboBox5->isEnabled();
            Operator::Confirm(editor);  // unchanged, yet a new file is offered for saving
        };
        op.onFile = [typed](QFileDialog& d) { Operator::Choose(d, typed.string()); };
        main.NCnfClick(0);
        QVERIFY(rtsControlOffered);
        QCOMPARE(op.messages, (QStringList{"Сохранить параметры конфигурации в файле?|",
                                           "Параметры конфигурации|сохранены в файле test.cnf"}));
        ConfigRecord saved{};
        FileNotice notice;
        QVERIFY(ReadConfigFile(typed.string() + ".cnf", saved, notice));
        QCOMPARE(saved.Ident[IdentSoftwareVersion], 5);
        QCOMPARE(saved.LinkParams[UpperLevelBaudCode], 2);
    }

    void anotherExistingFileIsReplacedOnlyWhenTheOperatorAgrees() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        const fs::path existing = folder.Config("keep.cnf");
        { std::ofstream(existing, std::ios::binary) << "precious"; }
        Operator op;
        op.connectWhenAsked = false;
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.Nconnect->isVisible(), 10000);

        op.selectResult = 3;
        op.answers = {true, false, true};  // save it? yes; replace keep.cnf? no; close? yes
        int shown = 0;
        QString offeredAgain;
        op.onFile = [&](QFileDialog& d) {
            if (++shown == 1) {
                Operator::Choose(d, existing.string());
                return;
            }
            offeredAgain = d.selectedFiles().value(0);
            // The operator gives up this time: the file he was asked about stays as it was.
            d.reject();
        };
        main.NCnfClick(0);
        QCOMPARE(shown, 2);
        QCOMPARE(offeredAgain, QString::fromStdString(existing.string()));
        QCOMPARE(op.messages.size(), 3);
        QCOMPARE(op.messages[1],
                 QString("Файл keep.cnf уже есть.|Вы хотите заменить существующий файл?"));
        QCOMPARE(op.messages[2],
                 QString("Новый файл конфигурации не сохранён.|Закрыть без сохранения?"));
        QCOMPARE(op.editors, 1);
        QCOMPARE(Bytes(existing), (std::vector<char>{'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));

        // Typed without its extension, the name is still the file asked about; accepting the
        // name offered again asks again, and yes replaces the file.
        op.messages.clear();
        op.answers = {true, false, true};
        shown = 0;
        op.onFile = [&](QFileDialog& d) {
            Operator::Choose(d, ++shown == 1 ? folder.Config("keep").string() : std::string());
        };
        main.NCnfClick(0);
        QCOMPARE(shown, 2);
        QCOMPARE(op.messages,
                 (QStringList{"Сохранить параметры конфигурации в файле?|",
                              "Файл keep.cnf уже есть.|Вы хотите заменить существующий файл?",
                              "Файл keep.cnf уже есть.|Вы хотите заменить существующий файл?",
                              "Параметры конфигурации|сохранены в файле keep.cnf"}));
        QCOMPARE(Bytes(existing).size(), sizeof(ConfigRecord));
        QVERIFY(!fs::exists(folder.Config("keep")));
    }

    // The journal says what the read-back after a write found.
    void journalSaysWhatTheCheckAfterAWriteFound_data() {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<bool>("computer");  // flow computer 1 edited, else the priority
        QTest::addColumn<QString>("said");   // the start of the journal line
        QTest::newRow("read back alike")
            << QStringList{} << false << "Записана таблица 3: записано и проверено";
        // The connection's identification, the whole read and the write pass; the read back
        // is answered for another table.
        QTest::newRow("not read back")
            << QStringList{"--fault", "echo+8"} << false
            << "Записана таблица 3; записанное не проверено: таблицы не прочитаны";
        // The device keeps the entry with its rate code damaged.
        QTest::newRow("held otherwise")
            << QStringList{"--fault", "corrupt"} << true
            << "Записана таблица 6; проверка не пройдена, записано → прочитано: Вычислитель 1: ";
    }
    void journalSaysWhatTheCheckAfterAWriteFound() {
        QFETCH(QStringList, sim);
        QFETCH(bool, computer);
        QFETCH(QString, said);
        std::vector<std::string> options;
        for (const QString& option : sim) {
            options.push_back(option.toStdString());
        }
        ProgramFolder folder(options);
        QVERIFY(folder.ok());
        Operator op;
        op.onEditor = [computer](TFormConfig& editor) {
            if (computer) {
                EditEntry(editor, 1);
            } else {
                editor.ComboBox2->setCurrentIndex(1 - editor.ComboBox2->currentIndex());
            }
            Operator::Confirm(editor);
        };
        op.onEntry = [](TFormVichPar& entry) { entry.ComboBox1->setCurrentIndex(2); };  // port C
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        const QStringList journal = JournalOf(main);
        QVERIFY2(std::any_of(journal.begin(), journal.end(),
                             [&](const QString& line) { return line.startsWith(said); }),
                 qPrintable(journal.join('\n')));
        // The message about the check is the operator's; the journal has it in one line.
        for (const QString& line : JournalOf(main)) {
            QVERIFY(!line.startsWith(VerifyNotReadText));
        }
    }

    // A write is kept in the history with the read before it: the device read now matches
    // the write's entry and differs from the read's by the edit alone.
    void deviceIsComparedWithItsHistory() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        Operator op;
        op.onEditor = [](TFormConfig& editor) {
            editor.ComboBox2->setCurrentIndex(1 - editor.ComboBox2->currentIndex());
            Operator::Confirm(editor);
        };
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        QStringList events, againstRead, againstWrite;
        op.onCompare = [&](TFormCompare& d) {
            for (const HistoryEntry& entry : d.HistoryEntries()) {
                events << QString::fromStdString(entry.Event);
            }
            d.Choose(0, TFormCompare::ChoiceDevice);
            d.Choose(1, TFormCompare::FirstHistoryChoice + 1);
            againstRead = Rows(d);
            d.Choose(1, TFormCompare::FirstHistoryChoice);
            againstWrite = Rows(d);
            againstWrite << d.LabelSummary->text();
        };
        main.NCompare->trigger();
        QTRY_VERIFY(!events.isEmpty());
        QCOMPARE(events, (QStringList{"запись", "чтение"}));
        QCOMPARE(againstRead.size(), 1);
        QVERIFY2(againstRead[0].startsWith("Приоритет|"), qPrintable(againstRead[0]));
        QCOMPARE(againstWrite, QStringList{"Конфигурации совпадают"});
        QVERIFY(op.messages.isEmpty());
    }

    // Edits of a file that were not saved go only when the operator says so: Нет brings the
    // editor back with them, marked against the file as it was opened.
    void unsavedFileEditsAreDroppedOnlyWhenTheOperatorSays() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        const fs::path file = folder.Config("site.cnf");
        FileNotice notice;
        QVERIFY(WriteConfigFile(file.string(), NewConfigRecord(5), notice));
        const std::vector<char> before = Bytes(file);
        Operator op;
        op.connectWhenAsked = false;
        op.onFile = [file](QFileDialog& d) { Operator::Choose(d, file.string()); };
        QStringList secondEdit;
        op.onEditor = [&](TFormConfig& editor) {
            if (op.editors == 1) {
                editor.Edit2->setText("9");
            } else {
                secondEdit << editor.Edit2->text() << editor.Edit2->toolTip();
            }
            Operator::Confirm(editor);
        };
        // Save? no; close without saving? no; (the editor again) save? no; close? yes.
        op.answers = {false, false, false, true};
        TFormMain main;
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(main.Nconnect->isVisible(), 10000);
        main.NCnfClick(1);
        QCOMPARE(op.editors, 2);
        QCOMPARE(secondEdit, (QStringList{"9", "Было: 3"}));
        const QString save = "Сохранить параметры конфигурации в файле?|";
        const QString close = "Изменения не сохранены.|Закрыть без сохранения?";
        QCOMPARE(op.messages, (QStringList{save, close, save, close}));
        QCOMPARE(Bytes(file), before);
    }

    // The line goes before the write: nothing is asked to retry over a dead port, the
    // summary says what was not sent, the window says "нет связи", and the next command
    // offers to connect again and then works.
    void lostLineIsToldAndTheNextCommandOffersToReconnect() {
        ProgramFolder folder({});
        QVERIFY(folder.ok());
        Operator op;
        op.onEditor = [&folder](TFormConfig& editor) {
            EditEntry(editor, 3);
            folder.sim->Stop();  // the line goes before the write
            Operator::Confirm(editor);
        };
        op.onEntry = [](TFormVichPar& entry) { entry.CheckBox1->click(); };  // disconnected
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        QCOMPARE(op.messages, QStringList{"Запись в устройство прервана|не отправлена: таблица 6 "
                                          "(поле 3)"});
        QCOMPARE(main.StatusBar1[0]->text(), QString(" COM1,   нет связи"));
        QCOMPARE(main.StatusBar1[1]->text(), QString(LinkLostText));
        const QStringList journal = JournalOf(main);
        QVERIFY(journal.size() >= 3);
        QCOMPARE(journal.mid(journal.size() - 3, 2),
                 (QStringList{"Запись в устройство прервана не отправлена: таблица 6 (поле 3)",
                              LinkLostText}));
        QVERIFY(journal.last().startsWith(BackupLine));
        QVERIFY(main.isEnabled());
        QVERIFY(main.N2->isEnabled());

        // Declined: nothing is tried.
        op.answers = {false};
        main.N2Click();
        QCOMPARE(op.messages.size(), 2);
        QCOMPARE(op.messages[1], QString("Связаться заново?|") + LinkLostText);
        QCOMPARE(op.editors, 1);

        // The adapter is back: accepted, the program connects and reads.
        folder.sim = std::make_unique<SimProcess>(folder.directory.string(),
                                                  std::vector<std::string>{}, "PORTS/COM1");
        QVERIFY(folder.sim->ok());
        op.answers = {true};
        op.onEditor = [](TFormConfig& editor) { editor.BitBtn2->click(); };  // Выход
        main.N2Click();
        QCOMPARE(op.editors, 2);
        QCOMPARE(main.StatusBar1[0]->text(), QString(" COM1,   9600 бит/с"));
        QVERIFY(
            JournalOf(main).contains("Параметры конфигурации: прочитано (таблицы 0, 3, 5, 6, "
                                     "1)"));
    }

    // A write whose answer is damaged may have been carried out: it is "not confirmed",
    // and the requests after it are "not sent".
    void interruptedWriteSaysWhatReachedTheDevice() {
        // The identification and the six requests of the whole read pass; the second write
        // (table 6, field 3) meets a damaged answer; field 12 is never sent.
        ProgramFolder folder({"--fault", "badcrc+8", "--log"});
        QVERIFY(folder.ok());
        Operator op;
        op.onEditor = [](TFormConfig& editor) {
            editor.ComboBox2->setCurrentIndex(1 - editor.ComboBox2->currentIndex());  // table 3
            EditEntry(editor, 3);
            EditEntry(editor, 12);
            Operator::Confirm(editor);
        };
        op.onEntry = [](TFormVichPar& entry) { entry.CheckBox1->click(); };
        TFormMain main;
        QVERIFY(Connected(main));
        main.N2Click();
        QCOMPARE(op.messages.size(), 2);
        QCOMPARE(op.messages[0], QString("Запись в таблицу 6 не подтверждена.|\"Скорость обмена с "
                                         "подкл. вычислителем и порт подключения\""));
        QCOMPARE(op.messages[1],
                 QString("Запись в устройство прервана|подтверждена: таблица 3; не подтверждена: "
                         "таблица 6 (поле 3); не отправлена: таблица 6 (поле 12)"));
        const QStringList journal = JournalOf(main);
        QVERIFY(journal[journal.size() - 2].startsWith("Запись в устройство прервана"));
        QVERIFY(journal.last().startsWith(BackupLine));
    }
};

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
