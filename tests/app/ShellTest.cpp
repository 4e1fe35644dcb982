// The shell's own windows without a device: the journal's day file, the monitor's clock
// time, the wait dialog's clock and Прервать, and the comparison of two configurations.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Compare.h"
#include "app/Journal.h"
#include "app/Monitor.h"
#include "app/Qtscreen.h"
#include "app/Wait.h"
#include "config/Configdiff.h"
#include "config/History.h"
#include "link/Conffun.h"
#include "tests/config/EditorDriver.h"

namespace fs = std::filesystem;

namespace {

QString FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return QString::fromStdString(text);
}

// A configuration of a version 5 device and the same with two fields changed.
ConfigRecord Before() {
    ConfigRecord record = NewConfigRecord(5);
    record.IdentPresent = 1;
    record.LinkParams = {11, 3, 5, 1, 0, 1, 50, 1};
    record.FlowComputers[1] = {1, 1, 11};
    record.FlowComputers[3] = {0, 3, 6};
    return record;
}
ConfigRecord After() {
    ConfigRecord record = Before();
    record.LinkParams[AccessPriority] = 0;
    record.FlowComputers[3].Connected = 1;
    return record;
}

std::tm At(int hour) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 9;
    when.tm_hour = hour;
    return when;
}

// The captions of the rows the comparison marks, and of those it shows.
QStringList Rows(const TFormCompare& d, bool marked) {
    QStringList captions;
    for (int row = 0; row < d.StringGrid1->rowCount(); ++row) {
        const QTableWidgetItem* item = d.StringGrid1->item(row, 0);
        if (marked ? item->font().bold() : !d.StringGrid1->isRowHidden(row)) {
            captions << item->text();
        }
    }
    return captions;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    // Every line goes to the day's file, after what an earlier journal left there; a folder
    // that cannot be made is told once, and the journal on the screen goes on.
    void journalLinesGoToTheDayFile_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("journal folder made") << true;
        QTest::newRow("a file where the folder should be") << false;
    }
    void journalLinesGoToTheDayFile() {
        QFETCH(bool, writable);
        QTemporaryDir dir;
        const fs::path root = dir.path().toStdString();
        if (!writable) {
            std::ofstream(root / "blocked") << "x";
        }
        const std::string folder = (root / (writable ? "journal" : "blocked/journal")).string();
        QStringList errors;
        std::string file;
        for (const char* text : {"Связь установлена", "Записана таблица 6"}) {
            Journal journal(nullptr, folder);
            journal.OnFileError = [&](const std::string& error) {
                errors << QString::fromStdString(error);
            };
            journal.Add(text);
            journal.Add(std::string(text) + ", снова");
            QCOMPARE(journal.Lines().size(), 2);
            file = journal.FileOf(QDate::currentDate());
        }
        QCOMPARE(QString::fromStdString(fs::path(file).filename().string()),
                 QDate::currentDate().toString("'zantir-'yyyy-MM-dd'.log'"));
        if (!writable) {
            // Once for each journal, which is once a session.
            QCOMPARE(errors.size(), 2);
            QVERIFY2(errors[0].startsWith("Журнал не записывается в файл " +
                                          QString::fromStdString(file) + ": "),
                     qPrintable(errors[0]));
            return;
        }
        QVERIFY(errors.isEmpty());
        const QStringList lines = FileText(file).split('\n');
        const QStringList texts = {"Связь установлена", "Связь установлена, снова",
                                   "Записана таблица 6", "Записана таблица 6, снова", ""};
        QCOMPARE(lines.size(), texts.size());
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d  " + texts[i] + "$")
                         .match(lines[i])
                         .hasMatch(),
                     qPrintable(lines[i]));
        }
    }

    // Each line carries the clock time of its event with milliseconds, then the offset.
    void monitorLinesCarryTheClockTime() {
        TraceEvent event;
        event.kind = TraceEvent::Kind::Rts;
        event.Micros = 1234;
        event.Value = 1;
        const QString line = ExchangeMonitor::LineOf(QTime(9, 5, 7, 45), event);
        QVERIFY2(line.startsWith("09:05:07.045       1234 µs  "), qPrintable(line));

        QtScreen screen;
        ExchangeMonitor monitor(screen);
        monitor.show();
        const QTime before = QTime::currentTime();
        monitor.Trace().CommandStarted(TableExchange);
        const QTime after = QTime::currentTime();
        QCOMPARE(monitor.Lines().size(), 1);
        const QTime shown = QTime::fromString(monitor.Lines()[0].left(12), "hh:mm:ss.zzz");
        QVERIFY2(shown.isValid(), qPrintable(monitor.Lines()[0]));
        QVERIFY(before.msecsTo(shown) >= 0 || after < before);  // not across midnight
        QVERIFY(shown.msecsTo(after) >= 0 || after < before);
    }

    void waitDialogTellsTheTimeTaken_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << qint64{0} << "Прошло 00:00";
        QTest::newRow("a minute and a bit") << qint64{61999} << "Прошло 01:01";
        QTest::newRow("just under an hour") << qint64{3599000} << "Прошло 59:59";
        QTest::newRow("over an hour") << qint64{3723000} << "Прошло 1:02:03";
    }
    void waitDialogTellsTheTimeTaken() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(TFormWait::ElapsedText(ms), text);
    }

    // The clock goes on while the dialog is up; Прервать is there only with a handler, calls
    // it once and says the request was taken.
    void waitDialogClockAndAbort() {
        TFormWait plain(nullptr);
        plain.WaitMode = WaitReading;
        plain.show();
        QVERIFY(!plain.BitBtnStop->isVisible());
        QCOMPARE(plain.LabelTime->text(), QString("Прошло 00:00"));
        QTRY_COMPARE_WITH_TIMEOUT(plain.LabelTime->text(), QString("Прошло 00:01"), 2500);

        int aborts = 0;
        TFormWait dialog(nullptr);
        dialog.WaitMode = WaitDialing;
        dialog.OnAbort = [&] { ++aborts; };
        dialog.show();
        QCOMPARE(dialog.Label2->text(), QString("Выполняется соединение"));
        QVERIFY(dialog.BitBtnStop->isVisible());
        QCOMPARE(dialog.BitBtnStop->text(), QString("Прервать"));
        dialog.BitBtnStop->click();
        dialog.BitBtnStop->click();
        QCOMPARE(aborts, 1);
        QVERIFY(!dialog.BitBtnStop->isEnabled());
        QCOMPARE(dialog.Label1->text(), QString("Прерывается..."));
        dialog.close();
        QVERIFY(dialog.isVisible());  // the operator cannot close it
    }

    // A history entry against a file: both side by side, the two fields that differ marked,
    // "Только различия" leaves only them, and the text saved says the same.
    void comparisonShowsAndSavesTheDifferences() {
        QTemporaryDir dir;
        const std::string history = (fs::path(dir.path().toStdString()) / "history").string();
        const HistoryEvent read{"чтение", "Непосредственная связь", "COM1", "0 3 5 6 1"};
        std::string older, newer, error;
        QCOMPARE(KeepInHistory(history, Before(), read, At(10), older, error),
                 HistoryResult::Added);
        QCOMPARE(KeepInHistory(history, After(), read, At(11), newer, error), HistoryResult::Added);

        int files = 0;
        TFormCompare d(
            {},
            [&](ConfigRecord& record, QString& name) {
                ++files;
                record = After();
                name = "файл b.cnf";
                return true;
            },
            history);
        d.show();
        QCOMPARE(d.HistoryEntries().size(), size_t{2});
        QCOMPARE(d.HistoryEntries()[0].File, newer);  // newest first
        QCOMPARE(d.ComboBoxes[0]->count(), 4);
        QVERIFY(d.ComboBoxes[0]->itemText(2).startsWith(
            "2026-12-09 11:00:00  чтение  COM1  версия ПО 5"));
        // No device connected: it cannot be chosen.
        const auto* model = qobject_cast<QStandardItemModel*>(d.ComboBoxes[0]->model());
        QVERIFY(!model->item(TFormCompare::ChoiceDevice)->isEnabled());
        QVERIFY(!d.BitBtnSave->isEnabled());

        d.Choose(0, TFormCompare::FirstHistoryChoice + 1);  // the older entry
        d.Choose(1, TFormCompare::ChoiceFile);
        QCOMPARE(files, 1);
        QCOMPARE(d.ComboBoxes[1]->currentIndex(), int{TFormCompare::ChoiceFile});
        QVERIFY(d.BitBtnSave->isEnabled());
        QCOMPARE(d.Differences(), 2);
        QCOMPARE(d.LabelSummary->text(), QString("Различий: 2"));
        const QStringList differing = {"Приоритет", "Вычислитель 3"};
        QCOMPARE(Rows(d, true), differing);
        const qsizetype all = Rows(d, false).size();
        QCOMPARE(all, qsizetype{263});  // 8 link parameters, the modem string, 254 computers
        d.CheckBox1->setChecked(true);
        QCOMPARE(Rows(d, false), differing);

        const QString expected =
            "Сравнение конфигураций\n"
            "A: история: 2026-12-09 10:00:00, чтение, COM1 (" +
            QString::fromStdString(older) +
            ")\n"
            "B: файл b.cnf\n"
            "Различий: 2\n"
            "\n"
            "Приоритет: Низкий → Высокий\n"
            "Вычислитель 3: Нет → C 4800\n";
        QCOMPARE(d.Text(), expected);
        d.CheckBox1->setChecked(false);
        const QStringList full = d.Text().split('\n');
        QCOMPARE(full.size(), 8 + 1 + all + 1);
        QCOMPARE(full[8], QString("Параметр | A | B"));
        QCOMPARE(full[9 + 5], QString("Приоритет | Низкий | Высокий"));
        d.CheckBox1->setChecked(true);

        // Saved through the dialog: an existing file is replaced only after Да.
        const std::string path = (fs::path(dir.path().toStdString()) / "diff.txt").string();
        std::ofstream(path) << "precious";
        std::deque<bool> answers = {false, true};
        QStringList asked;
        int dialogs = 0;
        WithModal<QFileDialog>(
            [&] {
                WithModal<TFormQues>(
                    [&] { d.BitBtnSave->click(); },
                    [&](TFormQues& q) {
                        asked << q.Label1->text() + "|" + q.Label2->text();
                        const bool yes = !answers.empty() && answers.front();
                        if (!answers.empty()) {
                            answers.pop_front();
                        }
                        (q.BitBtn3->isHidden() ? (yes ? q.BitBtn1 : q.BitBtn2) : q.BitBtn3)
                            ->click();
                    });
            },
            [&](QFileDialog& f) {
                ++dialogs;
                QObject::connect(
                    &f, &QDialog::finished, &f, [&f] { f.setProperty("driven", false); },
                    Qt::SingleShotConnection);
                f.findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
                static_cast<QDialog&>(f).accept();
            });
        QCOMPARE(dialogs, 2);
        const QString replace = "Файл diff.txt уже есть.|Вы хотите заменить существующий файл?";
        QCOMPARE(asked, (QStringList{replace, replace,
                                     "Сравнение конфигураций|сохранено в файле diff.txt"}));
        QCOMPARE(FileText(path), expected);
        QVERIFY(!d.SaveTo(path, false));  // never over a file without being asked
        QCOMPARE(FileText(path), expected);
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
