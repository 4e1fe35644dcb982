// The configuration editor: what it offers in each mode, the checks on confirm with
// their messages, what it stores, the changed flag, and the grid actions.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <cstring>
#include <map>

#include "app/Changes.h"
#include "config/Config.h"
#include "config/Ident.h"
#include "config/Vichpar.h"
#include "tests/config/EditorDriver.h"

namespace {

constexpr uint32_t AllRates = 0xFFFFFFFF;
constexpr uint32_t Codes2To15 = 0xFFFCu;  // 1200 to 19200 bit/s

void SetModem(ConfigRecord& record, const char* bytes, size_t count) {
    record.ModemInit.fill(0);
    std::memcpy(record.ModemInit.data(), bytes, count);
}

// A record as a whole read of a version 5 device leaves it.
ConfigRecord DeviceRecord(uint8_t version = 5) {
    ConfigRecord record = NewConfigRecord(version);
    record.IdentPresent = 1;
    record.LinkParams = {11, 3, 5, 1, 0, 1, 50, 1};
    SetModem(record, "ATZ\r", 4);
    record.FlowComputers[0] = {1, 1, 11};  // carried along, never shown
    record.FlowComputers[1] = {1, 1, 11};
    record.FlowComputers[2] = {1, 2, 15};
    record.FlowComputers[3] = {0, 3, 6};
    record.FlowComputers[4] = {1, 5, 2};   // a port only a damaged file holds
    record.FlowComputers[5] = {1, 3, 25};  // a code without a rate
    record.FlowComputers[254] = {1, 3, 21};
    return record;
}

bool Same(const ConfigRecord& a, const ConfigRecord& b) {
    return std::memcmp(&a, &b, sizeof(ConfigRecord)) == 0;
}

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->itemText(i);
    }
    return items;
}

QStringList Row(const TFormConfig& d, int address) {
    QStringList cells;
    for (int c = 0; c < 4; ++c) {
        cells << d.StringGrid1->item(address - 1, c)->text();
    }
    return cells;
}

// Confirms; a change list that comes up is answered Записать.
QStringList Confirm(TFormConfig& d) {
    QStringList messages;
    WithModal<TFormChanges>(
        [&] {
            messages =
                MessagesDuring([&] { (d.BitBtn14->isHidden() ? d.BitBtn5 : d.BitBtn14)->click(); });
        },
        [](TFormChanges& changes) { changes.BitBtn1->click(); });
    return messages;
}

// Opens the flow computer dialog of the selected row and hands it to change, which
// closes it.
void ChangeSelected(TFormConfig& d, const std::function<void(TFormVichPar&)>& change) {
    QCOMPARE(WithModal<TFormVichPar>([&] { d.BitBtn3->click(); }, change), 1);
}

void Select(TFormConfig& d, int address) {
    d.StringGrid1->setCurrentCell(address - 1, 0);
}

const QString NotAll = "Введены не все параметры|";

}  // namespace

class ConfigTest : public QObject {
    Q_OBJECT
private slots:
    void deviceModeOffersTheRatesTheDeviceHas() {
        ConfigRecord record = DeviceRecord();
        record.LinkParams[UpperLevelBaudCode] = 0;
        const ConfigRecord original = record;
        TFormConfig d(record, ConfigEditorMode::Device, true, Codes2To15, AllRates, false);
        d.show();
        QCOMPARE(d.windowTitle(), QString("Параметры конфигурации ЗАНТИРа"));
        QCOMPARE(d.frameGeometry().size(), QSize(800, 534));
        QCOMPARE(Items(d.ComboBox1),
                 QStringList({"1200", "2400", "3200", "3600", "4800", "5760", "6400", "7200",
                              "7680", "9600", "11520", "12800", "14400", "19200"}));
        QVERIFY(d.ComboBox1->isEnabled());
        QVERIFY(d.BitBtn14->isVisible());
        QVERIFY(!d.BitBtn5->isVisible());
        QCOMPARE(d.BitBtn14->text(), QString("Записать в устройство"));
        // Code 0 is not offered: nothing is selected and the confirm is refused.
        QCOMPARE(d.ComboBox1->currentIndex(), -1);
        QCOMPARE(Confirm(d), QStringList({NotAll}));
        QVERIFY(d.isVisible());
        QCOMPARE(d.Accepted, 0);
        QVERIFY(Same(record, original));

        d.ComboBox1->setCurrentIndex(d.ComboBox1->findText("19200"));
        QCOMPARE(Confirm(d), QStringList());
        QCOMPARE(d.Accepted, 1);
        QCOMPARE(d.Changed, 1);
        QCOMPARE(record.LinkParams[UpperLevelBaudCode], uint8_t{15});
    }

    void fileModeOffersEveryRateWhateverTheMasks() {
        ConfigRecord record = DeviceRecord();
        record.LinkParams[UpperLevelBaudCode] = 21;
        TFormConfig d(record, ConfigEditorMode::File, false, 0, 0, true);
        d.show();
        QCOMPARE(d.ComboBox1->count(), 22);
        QCOMPARE(d.ComboBox1->itemText(0), QString("300"));
        QCOMPARE(d.ComboBox1->currentText(), QString("230400"));
        // The telephone link does not matter to a file.
        QVERIFY(d.ComboBox1->isEnabled());
        QVERIFY(d.BitBtn5->isVisible());
        QVERIFY(!d.BitBtn14->isVisible());
        QCOMPARE(d.BitBtn5->text(), QString("Принять"));
        // Neither does the device's flow computer mask.
        ChangeSelected(d, [](TFormVichPar& v) {
            QCOMPARE(v.ComboBox2->count(), 22);
            v.BitBtn2->click();
        });

        ConfigRecord damaged = DeviceRecord();
        damaged.LinkParams[UpperLevelBaudCode] = 25;
        TFormConfig e(damaged, ConfigEditorMode::File, false, AllRates, AllRates, false);
        e.show();
        QCOMPARE(e.ComboBox1->currentIndex(), -1);
        QCOMPARE(Confirm(e), QStringList({NotAll}));
    }

    void telephoneLinkLocksTheUpperLevelRate() {
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, true);
        d.show();
        QVERIFY(!d.ComboBox1->isEnabled());
        QCOMPARE(d.ComboBox1->currentText(), QString("9600"));
        QCOMPARE(Confirm(d), QStringList());
        QCOMPARE(record.LinkParams[UpperLevelBaudCode], uint8_t{11});
    }

    void deviceModePassesTheFlowComputerMaskOn() {
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, 1u << 11 | 1u << 15, false);
        d.show();
        ChangeSelected(d, [](TFormVichPar& v) {
            QCOMPARE(Items(v.ComboBox2), QStringList({"9600", "19200"}));
            v.BitBtn2->click();
        });
    }

    void rtsControlFollowsTheSoftwareVersion() {
        // Versions 3 and 4 have no RTS field: the list is off, empty and not required,
        // and the byte the record holds there is kept.
        ConfigRecord old = DeviceRecord(4);
        TFormConfig d(old, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        QVERIFY(!d.ComboBox5->isEnabled());
        QVERIFY(!d.Label12->isEnabled());
        QVERIFY(!d.Label13->isEnabled());
        QCOMPARE(d.ComboBox5->currentIndex(), -1);
        QCOMPARE(Confirm(d), QStringList());
        QCOMPARE(d.Accepted, 1);
        QCOMPARE(old.LinkParams[UpperLevelRtsControl], uint8_t{1});

        ConfigRecord current = DeviceRecord(6);
        current.LinkParams[UpperLevelRtsControl] = 2;
        TFormConfig e(current, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        e.show();
        QVERIFY(e.ComboBox5->isEnabled());
        QCOMPARE(e.ComboBox5->currentIndex(), -1);
        QCOMPARE(Confirm(e), QStringList({NotAll}));
        e.ComboBox5->setCurrentIndex(0);
        QCOMPARE(Confirm(e), QStringList());
        QCOMPARE(current.LinkParams[UpperLevelRtsControl], uint8_t{0});
    }

    void unknownChoiceMustBeMadeBeforeConfirming() {
        ConfigRecord record = DeviceRecord();
        record.LinkParams[AccessPriority] = 2;
        TFormConfig d(record, ConfigEditorMode::File, false, AllRates, AllRates, false);
        d.show();
        QCOMPARE(d.ComboBox2->currentIndex(), -1);
        QCOMPARE(Confirm(d), QStringList({NotAll}));
        QCOMPARE(record.LinkParams[AccessPriority], uint8_t{2});
        d.ComboBox2->setCurrentIndex(0);
        QCOMPARE(Confirm(d), QStringList());
        QCOMPARE(record.LinkParams[AccessPriority], uint8_t{0});
    }

    void numberFieldsAreCheckedInOrder_data() {
        QTest::addColumn<QString>("edit2");
        QTest::addColumn<QString>("edit3");
        QTest::addColumn<QString>("edit4");
        QTest::addColumn<QString>("message");
        const QString preambles = "Количество преамбул|";
        const QString wait = "Длительность ожидания ответа от вычислителя|";
        const QString outOfRange = "вне допустимого диапазона";
        const QString notANumber = "\"%1\" не является целым числом";
        auto row = [](const char* name, const char* edit2, const char* edit3, const char* edit4,
                      const QString& message) {
            QTest::newRow(name) << QString(edit2) << QString(edit3) << QString(edit4) << message;
        };
        row("empty wait", "3", "5", "", NotAll);
        row("empty wait before a bad count", "3", "256", "", NotAll);
        row("256 preambles to a computer", "3", "256", "10", preambles + outOfRange);
        row("256 preambles to the client", "256", "5", "10", preambles + outOfRange);
        row("count before wait", "999", "5", "300", preambles + outOfRange);
        row("256 wait", "3", "5", "256", wait + outOfRange);
        row("pasted minus", "-1", "5", "10", preambles + outOfRange);
        row("pasted letters", "1a", "5", "10", preambles + notANumber.arg("1a"));
        row("pasted letters in the wait", "3", "5", "x", wait + notANumber.arg("x"));
        row("pasted blank wait", "3", "5", " ", wait + notANumber.arg(" "));
    }
    void numberFieldsAreCheckedInOrder() {
        QFETCH(QString, edit2);
        QFETCH(QString, edit3);
        QFETCH(QString, edit4);
        QFETCH(QString, message);
        ConfigRecord record = DeviceRecord();
        const ConfigRecord original = record;
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        d.Edit2->setText(edit2);
        d.Edit3->setText(edit3);
        d.Edit4->setText(edit4);
        QCOMPARE(Confirm(d), QStringList({message}));
        QCOMPARE(d.Accepted, 0);
        QVERIFY(d.isVisible());
        QVERIFY(Same(record, original));
    }

    void confirmStoresEveryParameter() {
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        QCOMPARE(d.Edit2->text(), QString("3"));
        QCOMPARE(d.Edit3->text(), QString("5"));
        QCOMPARE(d.Edit4->text(), QString("50"));
        QCOMPARE(d.ComboBox2->currentText(), QString(" Низкий"));
        QCOMPARE(d.ComboBox3->currentText(), QString(" Не ожидать"));
        QCOMPARE(d.ComboBox4->currentText(), QString(" Большая"));
        QCOMPARE(d.ComboBox5->currentText(), QString(" Требуется"));
        QCOMPARE(d.Edit1->text(), QString("ATZ"));

        d.ComboBox1->setCurrentIndex(d.ComboBox1->findText("57600"));
        d.Edit2->clear();  // empty counts as 0
        d.Edit3->setText("255");
        d.Edit4->setText("0");
        d.ComboBox2->setCurrentIndex(0);
        d.ComboBox3->setCurrentIndex(1);
        d.ComboBox4->setCurrentIndex(0);
        d.ComboBox5->setCurrentIndex(0);
        QCOMPARE(Confirm(d), QStringList());
        QCOMPARE(d.Accepted, 1);
        QCOMPARE(d.Changed, 1);
        QVERIFY(!d.isVisible());
        const std::array<uint8_t, 8> expected = {19, 0, 255, 0, 1, 0, 0, 0};
        QVERIFY(record.LinkParams == expected);
    }

    void numberFieldsTakeOnlyTypedDigits() {
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        for (QLineEdit* edit : {d.Edit2, d.Edit3, d.Edit4}) {
            edit->clear();
            QTest::keyClicks(edit, "1a -,2");
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString("ж"), {});
            QCOMPARE(edit->text(), QString("12"));
            QTest::keyClick(edit, Qt::Key_Backspace);
            QCOMPARE(edit->text(), QString("1"));
            QTest::keyClicks(edit, "2345");  // three characters at most
            QCOMPARE(edit->text(), QString("123"));
        }
        // The modem string takes any text.
        d.Edit1->clear();
        QTest::keyClicks(d.Edit1, "AT E0");
        QCOMPARE(d.Edit1->text(), QString("AT E0"));
    }

    void modemStringIsStoredWithItsCarriageReturn() {
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::File, false, AllRates, AllRates, false);
        d.show();
        QString longest = "AT";
        while (longest.size() < 62) {
            longest += QString::number(longest.size() % 10);
        }
        d.Edit1->setText(longest);
        QCOMPARE(d.Edit1->text(), longest);
        QCOMPARE(Confirm(d), QStringList());
        QVERIFY(std::memcmp(record.ModemInit.data(), longest.toLatin1().constData(), 62) == 0);
        QCOMPARE(record.ModemInit[62], uint8_t{0x0D});
        QCOMPARE(record.ModemInit[63], uint8_t{0});

        // Cyrillic goes in as Windows-1251; an empty string leaves 64 zeros.
        ConfigRecord second = DeviceRecord();
        TFormConfig e(second, ConfigEditorMode::File, false, AllRates, AllRates, false);
        e.show();
        e.Edit1->setText("ATПж");
        QCOMPARE(Confirm(e), QStringList());
        const uint8_t cyrillic[] = {'A', 'T', 0xCF, 0xE6, 0x0D, 0};
        QVERIFY(std::memcmp(second.ModemInit.data(), cyrillic, sizeof cyrillic) == 0);

        ConfigRecord third = DeviceRecord();
        TFormConfig f(third, ConfigEditorMode::File, false, AllRates, AllRates, false);
        f.show();
        f.Edit1->clear();
        QCOMPARE(Confirm(f), QStringList());
        QVERIFY(third.ModemInit == (std::array<uint8_t, 64>{}));
    }

    void modemCharacterWithoutWindows1251IsRefused() {
        ConfigRecord record = DeviceRecord();
        const ConfigRecord original = record;
        TFormConfig d(record, ConfigEditorMode::File, false, AllRates, AllRates, false);
        d.show();
        d.Edit1->setText("AT中E0");
        QCOMPARE(Confirm(d),
                 QStringList({"Строка инициализации модема|содержит символ \"中\", которого нет "
                              "в Windows-1251"}));
        QCOMPARE(d.Accepted, 0);
        QVERIFY(d.isVisible());
        QVERIFY(Same(record, original));
        QCOMPARE(d.Edit1->text(), QString("AT中E0"));
    }

    void modemStringIsShownWithoutBlanksAndControlCharacters() {
        ConfigRecord record = DeviceRecord();
        SetModem(record, " \tAT&F Z\r\n", 10);
        TFormConfig d(record, ConfigEditorMode::File, false, AllRates, AllRates, false);
        d.show();
        QCOMPARE(d.Edit1->text(), QString("AT&F Z"));

        // A field with no zero at all is read up to its end and no further.
        ConfigRecord full = DeviceRecord();
        full.ModemInit.fill('A');
        full.Reserved4.fill('B');
        TFormConfig e(full, ConfigEditorMode::File, false, AllRates, AllRates, false);
        e.show();
        QVERIFY(!e.Edit1->text().contains('B'));
    }

    void changedFlagComparesTheWholeRecord() {
        // Stored form already: nothing changes.
        ConfigRecord record = DeviceRecord();
        {
            TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
            d.show();
            QCOMPARE(Confirm(d), QStringList());
            QCOMPARE(d.Accepted, 1);
            QCOMPARE(d.Changed, 0);
        }
        // A device string without its carriage return gets one.
        SetModem(record, "ATZ", 3);
        {
            TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
            d.show();
            QCOMPARE(Confirm(d), QStringList());
            QCOMPARE(d.Changed, 1);
            QCOMPARE(record.ModemInit[3], uint8_t{0x0D});
        }
        // One computer disconnected.
        {
            TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
            d.show();
            Select(d, 2);
            ChangeSelected(d, [](TFormVichPar& v) {
                v.CheckBox1->click();
                v.BitBtn1->click();
            });
            QCOMPARE(Row(d, 2), QStringList({"      2", "         Нет", "", ""}));
            QCOMPARE(Confirm(d), QStringList());
            QCOMPARE(d.Changed, 1);
        }
        // Disconnected and connected again as it was.
        record = DeviceRecord();
        {
            TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
            d.show();
            Select(d, 2);
            for (int i = 0; i < 2; ++i) {
                ChangeSelected(d, [](TFormVichPar& v) {
                    v.CheckBox1->click();
                    v.BitBtn1->click();
                });
            }
            QCOMPARE(Row(d, 2),
                     QStringList({"      2", "         Да", "         B", "        19200"}));
            QCOMPARE(Confirm(d), QStringList());
            QCOMPARE(d.Changed, 0);
        }
    }

    void gridShowsEveryAddressWithItsBlanks() {
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        QCOMPARE(d.StringGrid1->rowCount(), 254);
        QCOMPARE(d.StringGrid1->columnCount(), 4);
        // At least the form's widths, wider where the font needs it.
        const int widths[] = {48, 88, 69, 108};
        for (int c = 0; c < 4; ++c) {
            QVERIFY(d.StringGrid1->columnWidth(c) >= widths[c]);
        }
        QCOMPARE(d.StringGrid1->rowHeight(100), 16);
        QCOMPARE(Row(d, 1), QStringList({"      1", "         Да", "         A", "        9600"}));
        QCOMPARE(Row(d, 3), QStringList({"      3", "         Нет", "", ""}));
        QCOMPARE(Row(d, 4), QStringList({"      4", "         Да", "         ?", "        1200"}));
        QCOMPARE(Row(d, 5), QStringList({"      5", "         Да", "         C", "        0"}));
        QCOMPARE(Row(d, 254),
                 QStringList({"      254", "         Да", "         C", "        230400"}));
        QCOMPARE(Row(d, 100), QStringList({"      100", "         Нет", "", ""}));
        // Every cell text fits its column inside the cell's own margins.
        const QFontMetrics metrics(d.StringGrid1->font());
        const int margin =
            2 * (d.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, d.StringGrid1) + 1);
        for (int row : {99, 253}) {
            for (int c = 0; c < 4; ++c) {
                const QString text = d.StringGrid1->item(row, c)->text();
                QVERIFY2(metrics.horizontalAdvance(text) + margin <= d.StringGrid1->columnWidth(c),
                         qPrintable(text));
            }
        }
        // The headers stand over their columns.
        QCOMPARE(d.Panel3->width(), d.StringGrid1->columnWidth(1));
    }

    void changeOpensTheSelectedAddressAndRedrawsItsRow() {
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        const QColor own(210, 210, 210);
        const QColor face = QApplication::palette().color(QPalette::Button);
        QVERIFY(face != own);
        QCOMPARE(d.Panel1->palette().color(QPalette::Window), own);

        // Nothing chosen yet: the first row, never the hidden address 0.
        ChangeSelected(d, [&](TFormVichPar& v) {
            QCOMPARE(v.Label3->text(), QString("1"));
            QCOMPARE(d.Panel1->palette().color(QPalette::Window), face);
            v.ComboBox1->setCurrentIndex(2);
            v.BitBtn1->click();
        });
        QCOMPARE(d.Panel1->palette().color(QPalette::Window), own);
        QCOMPARE(Row(d, 1), QStringList({"      1", "         Да", "         C", "        9600"}));
        QCOMPARE(record.FlowComputers[1].Port, uint8_t{3});
        QCOMPARE(record.FlowComputers[0].Port, uint8_t{1});

        // A double click on a row opens that row's address.
        QTableWidgetItem* item = d.StringGrid1->item(9, 1);
        const QPoint centre = d.StringGrid1->visualItemRect(item).center();
        const int opened = WithModal<TFormVichPar>(
            [&] {
                // What a system sends for a double click: a click, then the second press.
                QTest::mouseClick(d.StringGrid1->viewport(), Qt::LeftButton, {}, centre);
                QTest::mouseDClick(d.StringGrid1->viewport(), Qt::LeftButton, {}, centre);
            },
            [](TFormVichPar& v) {
                QCOMPARE(v.Label3->text(), QString("10"));
                v.CheckBox1->click();
                v.ComboBox1->setCurrentIndex(1);
                v.ComboBox2->setCurrentIndex(v.ComboBox2->findText("4800"));
                v.BitBtn1->click();
            });
        QCOMPARE(opened, 1);
        QCOMPARE(Row(d, 10),
                 QStringList({"      10", "         Да", "         B", "        4800"}));

        // Cancelling leaves the row as it was.
        Select(d, 3);
        ChangeSelected(d, [](TFormVichPar& v) {
            v.CheckBox1->click();
            v.BitBtn2->click();
        });
        QCOMPARE(Row(d, 3), QStringList({"      3", "         Нет", "", ""}));
        QCOMPARE(record.FlowComputers[3].Connected, uint8_t{0});
    }

    void disconnectAllAsksFirstAndKeepsPortsAndRates() {
        ConfigRecord record = DeviceRecord();
        const ConfigRecord original = record;
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        const QString question =
            "Вы действительно хотите удалить|все вычислители из списка "
            "подключенных?";
        QCOMPARE(MessagesDuring([&] { d.BitBtn4->click(); }, false), QStringList({question}));
        QVERIFY(Same(record, original));
        QCOMPARE(Row(d, 1)[1], QString("         Да"));

        QCOMPARE(MessagesDuring([&] { d.BitBtn4->click(); }, true), QStringList({question}));
        for (int address = 1; address <= 254; ++address) {
            const FlowComputerRecord& now = record.FlowComputers[address];
            const FlowComputerRecord& was = original.FlowComputers[address];
            QCOMPARE(now.Connected, uint8_t{0});
            QCOMPARE(now.Port, was.Port);
            QCOMPARE(now.BaudCode, was.BaudCode);
            QCOMPARE(Row(d, address).mid(1), QStringList({"         Нет", "", ""}));
        }
        QCOMPARE(record.FlowComputers[0].Connected, uint8_t{1});
        QCOMPARE(Confirm(d), QStringList());
        QCOMPARE(d.Changed, 1);
    }

    // Выход, Escape and the close box alike: edits that were not confirmed go only after
    // the question; Нет keeps the editor open with every edit, Да gives the record back.
    void leavingWithEditsAsksFirst_data() {
        QTest::addColumn<int>("way");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("yes");
        const char* ways[] = {"Выход", "Escape", "close box"};
        for (int way = 0; way < 3; ++way) {
            QTest::addRow("%s, edited, Да", ways[way]) << way << true << true;
            QTest::addRow("%s, edited, Нет", ways[way]) << way << true << false;
            QTest::addRow("%s, edit undone", ways[way]) << way << false << false;
        }
    }
    void leavingWithEditsAsksFirst() {
        QFETCH(int, way);
        QFETCH(bool, edited);
        QFETCH(bool, yes);
        ConfigRecord record = DeviceRecord();
        const ConfigRecord original = record;
        TFormConfig d(record, ConfigEditorMode::File, false, AllRates, AllRates, false);
        d.show();
        if (edited) {
            MessagesDuring([&] { d.BitBtn4->click(); }, true);
        }
        d.Edit2->setText("7");
        if (!edited) {
            d.Edit2->setText("3");  // typed back as it was
        }
        const QStringList asked = MessagesDuring(
            [&] {
                if (way == 0) {
                    d.BitBtn2->click();
                } else if (way == 1) {
                    QTest::keyClick(&d, Qt::Key_Escape);
                } else {
                    d.close();
                }
            },
            yes);
        QCOMPARE(asked, edited ? QStringList{"Изменения не сохранены.|Закрыть без сохранения?"}
                               : QStringList());
        if (edited && !yes) {
            QVERIFY(d.isVisible());
            QCOMPARE(d.Edit2->text(), QString("7"));
            QCOMPARE(record.FlowComputers[1].Connected, uint8_t{0});
            QVERIFY(d.Unsaved());
            return;
        }
        QVERIFY(!d.isVisible());
        QCOMPARE(d.Accepted, 0);
        QVERIFY(Same(record, original));
    }

    // A field the edit changes is marked, with what it was; taken back, the mark goes.
    void marksFollowTheEdits_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("was");
        QTest::newRow("upper-level rate") << "ComboBox1"
                                          << "Было: 9600";
        QTest::newRow("reply preambles") << "Edit2"
                                         << "Было: 3";
        QTest::newRow("reply wait emptied") << "Edit4"
                                            << "Было: 50";
        QTest::newRow("priority") << "ComboBox2"
                                  << "Было: Низкий";
        QTest::newRow("RTS control") << "ComboBox5"
                                     << "Было: Требуется";
        QTest::newRow("modem string") << "Edit1"
                                      << "Было: ATZ";
        QTest::newRow("flow computer 3") << "row 3"
                                         << "Было: Нет";
        QTest::newRow("flow computer 254") << "row 254"
                                           << "Было: C 230400";
    }
    void marksFollowTheEdits() {
        QFETCH(QString, field);
        QFETCH(QString, was);
        ConfigRecord record = DeviceRecord();
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.show();
        const auto marked = [&] {
            QStringList all;
            for (QWidget* w : d.findChildren<QWidget*>()) {
                if (w->property("changed").toBool()) {
                    all << w->toolTip();
                }
            }
            for (int row = 0; row < d.StringGrid1->rowCount(); ++row) {
                const QTableWidgetItem* item = d.StringGrid1->item(row, 0);
                if (item->font().bold()) {
                    all << QString("row %1 ").arg(row + 1) + item->toolTip();
                }
            }
            return all;
        };
        QCOMPARE(marked(), QStringList());
        QVERIFY(!d.Unsaved());

        const auto toggleEntry = [&](int address) {
            Select(d, address);
            ChangeSelected(d, [](TFormVichPar& v) {
                v.CheckBox1->click();
                v.BitBtn1->click();
            });
        };
        const std::map<QString, QWidget*> controls = {
            {"ComboBox1", d.ComboBox1}, {"ComboBox2", d.ComboBox2}, {"ComboBox5", d.ComboBox5},
            {"Edit1", d.Edit1},         {"Edit2", d.Edit2},         {"Edit4", d.Edit4}};
        QWidget* control = controls.count(field) ? controls.at(field) : nullptr;
        std::function<void()> undo;
        if (field.startsWith("row ")) {
            const int address = field.mid(4).toInt();
            toggleEntry(address);
            undo = [&, address] { toggleEntry(address); };
            QCOMPARE(marked(), QStringList{field + " " + was});
            const QTableWidgetItem* rate = d.StringGrid1->item(address - 1, 3);
            QVERIFY(rate->font().bold());
            QCOMPARE(rate->background().color(), QColor(255, 226, 150));
        } else if (auto* list = qobject_cast<QComboBox*>(control)) {
            const int before = list->currentIndex();
            list->setCurrentIndex(before == 0 ? 1 : 0);
            undo = [list, before] { list->setCurrentIndex(before); };
        } else {
            auto* edit = qobject_cast<QLineEdit*>(control);
            QVERIFY(edit);
            const QString before = edit->text();
            edit->setText(field == "Edit4" ? QString() : before + "0");
            undo = [edit, before] { edit->setText(before); };
        }
        if (!field.startsWith("row ")) {
            QCOMPARE(marked(), QStringList{was});
            QVERIFY(control->styleSheet().contains("bold"));
        }
        QVERIFY(d.Unsaved());
        undo();
        QCOMPARE(marked(), QStringList());
        QVERIFY(!d.Unsaved());
    }

    // Записать в устройство lists the changes field by field first; Отмена goes back to the
    // editor with every edit, Записать confirms. A write of changes alone with nothing
    // changed has nothing to list; a write from a file lists even no changes.
    void changeListComesBeforeAWrite_data() {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<bool>("changesOnly");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QStringList>("lines");
        const QStringList edits = {"Приоритет: Низкий → Высокий", "Вычислитель 2: B 19200 → Нет",
                                   "Вычислитель 3: Нет → C 4800"};
        QTest::newRow("edited, read from the device")
            << true << true
            << "Изменено параметров: 3 (относительно прочитанной из устройства конфигурации)."
            << edits;
        QTest::newRow("edited, from a file") << true << false
                                             << "Изменено параметров: 3 (относительно файла "
                                                "a.cnf)."
                                             << edits;
        QTest::newRow("unchanged, from a file")
            << false << false << "Параметры не отличаются от файла a.cnf." << QStringList();
        QTest::newRow("unchanged, read from the device")
            << false << true << QString() << QStringList();
        QTest::newRow("modem string read without its carriage return")
            << false << true
            << "Значения параметров не отличаются от прочитанной из устройства конфигурации, но "
               "хранятся иначе: они будут записаны в том виде, в каком их хранит программа."
            << QStringList();
    }
    void changeListComesBeforeAWrite() {
        QFETCH(bool, edit);
        QFETCH(bool, changesOnly);
        QFETCH(QString, heading);
        QFETCH(QStringList, lines);
        ConfigRecord record = DeviceRecord();
        if (QByteArray(QTest::currentDataTag()).startsWith("modem")) {
            SetModem(record, "ATZ", 3);
        }
        const ConfigRecord original = record;
        TFormConfig d(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        d.WritesOnlyChanges = changesOnly;
        if (!changesOnly) {
            d.ChangesAgainst = "файла a.cnf";
        }
        d.show();
        if (edit) {
            d.ComboBox2->setCurrentIndex(0);
            for (int address : {2, 3}) {
                Select(d, address);
                ChangeSelected(d, [](TFormVichPar& v) {
                    v.CheckBox1->click();
                    v.BitBtn1->click();
                });
            }
        }
        const ConfigRecord edited = record;  // the grid's edits are in place
        QStringList shown;
        QString shownHeading;
        const auto answer = [&](bool write) {
            return WithModal<TFormChanges>([&] { d.BitBtn14->click(); },
                                           [&](TFormChanges& c) {
                                               shown = c.Lines();
                                               shownHeading = c.Label1->text();
                                               (write ? c.BitBtn1 : c.BitBtn2)->click();
                                           });
        };
        if (!edit && changesOnly && heading.isEmpty()) {
            QCOMPARE(answer(true), 0);
            QCOMPARE(d.Accepted, 1);
            QCOMPARE(d.Changed, 0);
            return;
        }
        QCOMPARE(answer(false), 1);
        QCOMPARE(shownHeading, heading);
        QCOMPARE(shown, lines);
        QVERIFY(d.isVisible());
        QCOMPARE(d.Accepted, 0);
        QCOMPARE(d.ComboBox2->currentIndex(), edit ? 0 : 1);
        QVERIFY(Same(record, edited));
        QCOMPARE(record.LinkParams[AccessPriority], original.LinkParams[AccessPriority]);

        QCOMPARE(answer(true), 1);
        QCOMPARE(d.Accepted, 1);
        QCOMPARE(d.Changed, edit || !heading.startsWith("Параметры") ? 1 : 0);
        QCOMPARE(record.LinkParams[AccessPriority], static_cast<uint8_t>(edit ? 0 : 1));
    }

    void identificationButtonShowsTheRecordsBlock() {
        for (const uint8_t present : {uint8_t{1}, uint8_t{0}}) {
            ConfigRecord record = DeviceRecord();
            record.IdentPresent = present;
            TFormConfig d(record, ConfigEditorMode::File, false, AllRates, AllRates, false);
            d.show();
            QVERIFY(d.BitBtn24->isVisible());
            QCOMPARE(d.Label34->text(), QString("Параметры идентификации"));
            // Reduced mode knows only the software version class.
            const QString version = present != 0 ? "5 (Чтение и запись)" : "5 или 6";
            auto check = [&](TFormIdent& view) {
                QCOMPARE(view.Panel13->text(), QString("8"));
                QCOMPARE(view.Panel8->text(), version);
                view.BitBtn2->click();
            };
            const int shown = WithModal<TFormIdent>([&] { d.BitBtn24->click(); }, check);
            QCOMPARE(shown, 1);
        }
    }

    void hiddenIdentificationLiftsTheParameterGroup() {
        ConfigRecord record = DeviceRecord();
        TFormConfig shown(record, ConfigEditorMode::Device, false, AllRates, AllRates, false);
        shown.show();
        QVERIFY(shown.GroupBox1->y() > 12 + shown.BitBtn24->height() - 1);
        TFormConfig hidden(record, ConfigEditorMode::Device, true, AllRates, AllRates, false);
        hidden.show();
        QVERIFY(!hidden.BitBtn24->isVisible());
        QVERIFY(!hidden.Label34->isVisible());
        QCOMPARE(hidden.GroupBox1->y(), 12);
    }

    void everyTextFitsAWindowWithAFrame() {
        ConfigRecord record = DeviceRecord();
        const char modem[] = "AT&F E0 V1 X4 &C1 &D2 S0=1 S7=60 S10=20";
        SetModem(record, modem, sizeof modem - 1);
        TFormConfig d(record, ConfigEditorMode::Device, false, AllRates, AllRates, false);
        d.show();
        QCOMPARE(d.GroupBox1->title(), QString(" Параметры связи "));
        QCOMPARE(d.GroupBox2->title(), QString(" Строка инициализации модема "));
        QCOMPARE(d.Label1->text(), QString(" Параметры связи  с отдельным вычислителем"));
        QCOMPARE(d.Label11->text(), QString("* 20 мс + 1000 мс"));
        // A modem string longer than its field opens at its beginning.
        QCOMPARE(d.Edit1->cursorPosition(), 0);
        for (QLabel* label : d.findChildren<QLabel*>()) {
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
        }
        for (QPushButton* button : d.findChildren<QPushButton*>()) {
            QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
        }
        // Room for a window manager's title bar and borders inside the outer size.
        const QSize least = d.minimumSizeHint();
        QVERIFY2(least.width() <= 800 - 16 && least.height() <= 534 - 40,
                 qPrintable(QString("%1 x %2").arg(least.width()).arg(least.height())));
    }
};

QTEST_MAIN(ConfigTest)
#include "ConfigTest.moc"
