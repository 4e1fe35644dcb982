// The identification view: every row's text in full mode, the reduced mode of a record
// without a device's block, and a layout in which every text fits.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <array>
#include <functional>
#include <vector>

#include "config/Ident.h"

using Block = std::array<uint8_t, 17>;
Q_DECLARE_METATYPE(Block)

namespace {

// Type 8, hardware 1, software 5, built 15.03.24 10:30:00, low byte at the lower
// address, several baud rates, changeable address, protocol 1.0.12.
Block TypicalBlock() {
    return {0, 8, 1, 5, 24, 3, 15, 10, 30, 0, 1, 1, 0x5A, 0, 1, 0, 12};
}

// Runs the dialog modally as its callers do, checks it once it is up and leaves by Выход.
void ShowIdent(const uint8_t* ident, bool fullMode, const std::function<void(TFormIdent&)>& check) {
    TFormIdent dialog(ident, fullMode);
    bool checked = false;
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget() == &dialog) {
            check(dialog);
            checked = true;
        }
        dialog.BitBtn2->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY2(checked, "the dialog was not the active modal window");
}

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::vector<QLabel*> Captions(const TFormIdent& d) {
    return {d.Label9, d.Label4, d.Label1,  d.Label6,  d.Label2,  d.Label3, d.Label8,
            d.Label5, d.Label7, d.Label10, d.Label11, d.Label12, d.Label13};
}

std::vector<QLabel*> Panels(const TFormIdent& d) {
    return {d.Panel13, d.Panel7,  d.Panel8,  d.Panel11, d.Panel9,
            d.Panel10, d.Panel15, d.Panel16, d.Panel18};
}

// Pixels of the widget as drawn that are clearly red.
int RedPixels(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 150 && c.green() < 90 && c.blue() < 90 ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

class IdentTest : public QObject {
    Q_OBJECT
private slots:
    void fullModeShowsEveryRowOfATypicalBlock() {
        const Block block = TypicalBlock();
        ShowIdent(block.data(), true, [](TFormIdent& d) {
            QCOMPARE(d.windowTitle(), Text("Параметры идентификации"));
            const std::vector<const char*> captions = {"Код типа контроллера",
                                                       "Версия аппаратного обеспечения",
                                                       "Версия программного обеспечения",
                                                       "Дата создания ПО",
                                                       "Порядок расположения байтов",
                                                       "Наличие разрушенных таблиц",
                                                       "Возможность работы на разных",
                                                       "скоростях обмена",
                                                       "Возможность изменения адреса",
                                                       "контроллера",
                                                       "Номер последней версии протокола",
                                                       "KRV-DM71-S, которая поддерживается",
                                                       "контроллером"};
            const std::vector<QLabel*> labels = Captions(d);
            for (size_t i = 0; i < labels.size(); ++i) {
                QCOMPARE(labels[i]->text(), Text(captions[i]));
                QVERIFY(labels[i]->isEnabled());
            }
            QCOMPARE(d.Panel13->text(), Text("8"));
            QCOMPARE(d.Panel7->text(), Text("1"));
            QCOMPARE(d.Panel8->text(), Text("5 (Чтение и запись)"));
            QCOMPARE(d.Panel11->text(), Text("15.03.24  10:30:00"));
            QCOMPARE(d.Panel9->text(), Text("Мл. адрес - мл. байт"));
            QCOMPARE(d.Panel10->text(), Text("Разрушенных таблиц нет"));
            QCOMPARE(d.Panel15->text(), Text("Есть"));
            QCOMPARE(d.Panel16->text(), Text("Есть"));
            QCOMPARE(d.Panel18->text(), Text("1.0.12"));
            QCOMPARE(d.BitBtn2->text(), Text("Выход"));
            QCOMPARE(d.focusWidget(), d.BitBtn2);
        });
    }

    void softwareVersionText_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("fullMode");
        QTest::addColumn<QString>("text");
        QTest::newRow("full 3") << 3 << true << Text("3 (Чтение и запись)");
        QTest::newRow("full 4") << 4 << true << Text("4 (Только чтение)");
        QTest::newRow("full 5") << 5 << true << Text("5 (Чтение и запись)");
        QTest::newRow("full 6") << 6 << true << Text("6 (Только чтение)");
        QTest::newRow("full 7") << 7 << true << Text("7");
        QTest::newRow("full 2") << 2 << true << Text("2");
        QTest::newRow("full 255") << 255 << true << Text("255");
        QTest::newRow("reduced 3") << 3 << false << Text("3 или 4");
        QTest::newRow("reduced 5") << 5 << false << Text("5 или 6");
        QTest::newRow("reduced 4") << 4 << false << Text("4");
        QTest::newRow("reduced 6") << 6 << false << Text("6");
        QTest::newRow("reduced 7") << 7 << false << Text("7");
    }
    void softwareVersionText() {
        QFETCH(int, version);
        QFETCH(bool, fullMode);
        QFETCH(QString, text);
        Block block = TypicalBlock();
        block[3] = static_cast<uint8_t>(version);
        ShowIdent(block.data(), fullMode, [&](TFormIdent& d) { QCOMPARE(d.Panel8->text(), text); });
    }

    void buildDateShowsAnInvalidPartAsTwoAsterisks_data() {
        QTest::addColumn<Block>("date");  // year, month, day, hour, minute, second
        QTest::addColumn<QString>("text");
        QTest::newRow("valid") << Block{9, 12, 7, 14, 5, 0} << Text("07.12.09  14:05:00");
        QTest::newRow("highest valid")
            << Block{99, 12, 31, 23, 59, 59} << Text("31.12.99  23:59:59");
        QTest::newRow("lowest valid") << Block{0, 1, 1, 0, 0, 0} << Text("01.01.00  00:00:00");
        QTest::newRow("day, month, hour, second out of range")
            << Block{9, 13, 0, 24, 5, 60} << Text("**.**.09  **:05:**");
        QTest::newRow("month 0, day 32") << Block{9, 0, 32, 1, 1, 1} << Text("**.**.09  01:01:01");
        QTest::newRow("year 100, minute 60")
            << Block{100, 1, 1, 1, 60, 1} << Text("01.01.**  01:**:01");
        QTest::newRow("all 255") << Block{255, 255, 255, 255, 255, 255}
                                 << Text("**.**.**  **:**:**");
    }
    void buildDateShowsAnInvalidPartAsTwoAsterisks() {
        QFETCH(Block, date);
        QFETCH(QString, text);
        Block block = TypicalBlock();
        std::copy_n(date.begin(), 6, block.begin() + 4);
        ShowIdent(block.data(), true, [&](TFormIdent& d) { QCOMPARE(d.Panel11->text(), text); });
    }

    void byteOrderBaudRatesAndAddress_data() {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        // Reads the panel of the row that shows the byte.
        QTest::newRow("byte order 0") << 10 << 0 << Text("Мл. адрес - ст. байт");
        QTest::newRow("byte order 1") << 10 << 1 << Text("Мл. адрес - мл. байт");
        QTest::newRow("byte order 2") << 10 << 2 << Text(" ? ");
        QTest::newRow("byte order 255") << 10 << 255 << Text(" ? ");
        QTest::newRow("one baud rate") << 11 << 0 << Text("Нет");
        QTest::newRow("several baud rates") << 11 << 1 << Text("Есть");
        QTest::newRow("several baud rates 255") << 11 << 255 << Text("Есть");
        QTest::newRow("address changeable") << 13 << 0 << Text("Есть");
        QTest::newRow("address fixed at 17") << 13 << 17 << Text("Нет. Адрес = 17");
        QTest::newRow("address fixed at 255") << 13 << 255 << Text("Нет. Адрес = 255");
        QTest::newRow("hardware 0") << 2 << 0 << Text("0");
        QTest::newRow("hardware 200") << 2 << 200 << Text("200");
        QTest::newRow("type code 7") << 1 << 7 << Text("7");
    }
    void byteOrderBaudRatesAndAddress() {
        QFETCH(int, byte);
        QFETCH(int, value);
        QFETCH(QString, text);
        Block block = TypicalBlock();
        block[byte] = static_cast<uint8_t>(value);
        ShowIdent(block.data(), true, [&](TFormIdent& d) {
            QLabel* panel = byte == 10   ? d.Panel9
                            : byte == 11 ? d.Panel15
                            : byte == 13 ? d.Panel16
                            : byte == 2  ? d.Panel7
                                         : d.Panel13;
            QCOMPARE(panel->text(), text);
        });
    }

    void protocolVersionIsEachByteInTurn() {
        Block block = TypicalBlock();
        block[14] = 255;
        block[15] = 7;
        block[16] = 0;
        ShowIdent(block.data(), true,
                  [](TFormIdent& d) { QCOMPARE(d.Panel18->text(), Text("255.7.0")); });
    }

    void destroyedTableIsShownInRed() {
        Block block = TypicalBlock();
        block[0] = 6;
        ShowIdent(block.data(), true, [](TFormIdent& d) {
            QCOMPARE(d.Panel10->text(), Text("Разрушена таблица 6"));
            QCOMPARE(d.Panel10->palette().color(QPalette::WindowText), QColor(Qt::red));
            QVERIFY(RedPixels(d.Panel10) > 20);
            // Only that row is red.
            QCOMPARE(RedPixels(d.Panel16), 0);
        });
        block[0] = 0;
        ShowIdent(block.data(), true, [](TFormIdent& d) {
            QCOMPARE(d.Panel10->text(), Text("Разрушенных таблиц нет"));
            QCOMPARE(d.Panel10->palette().color(QPalette::WindowText),
                     d.Panel13->palette().color(QPalette::WindowText));
            QCOMPARE(RedPixels(d.Panel10), 0);
        });
    }

    void reducedModeShowsTypeAndVersionClassOnly() {
        // A block with something in every byte, so that an empty field is not by chance.
        Block block = TypicalBlock();
        block[0] = 6;
        block[13] = 17;
        ShowIdent(block.data(), false, [](TFormIdent& d) {
            QCOMPARE(d.Panel13->text(), Text("8"));
            QCOMPARE(d.Panel8->text(), Text("5 или 6"));
            QVERIFY(d.Label9->isEnabled());
            QVERIFY(d.Label1->isEnabled());
            for (QLabel* label : {d.Label4, d.Label6, d.Label2, d.Label3, d.Label8, d.Label5,
                                  d.Label7, d.Label10, d.Label11, d.Label12, d.Label13}) {
                QVERIFY2(!label->isEnabled(), qPrintable(label->text()));
            }
            for (QLabel* panel :
                 {d.Panel7, d.Panel11, d.Panel9, d.Panel10, d.Panel15, d.Panel16, d.Panel18}) {
                QCOMPARE(panel->text(), QString());
            }
            QCOMPARE(d.focusWidget(), d.BitBtn2);
        });
    }

    void missingBlockShowsNothing() {
        for (const bool fullMode : {true, false}) {
            ShowIdent(nullptr, fullMode, [](TFormIdent& d) {
                for (QLabel* panel : Panels(d)) {
                    QCOMPARE(panel->text(), QString());
                }
            });
        }
    }

    // The longest texts each row can show must fit, and the rows must line up.
    void layoutFitsTheLongestTexts() {
        const Block block = {255, 255, 255, 3, 99, 12, 31, 23, 59, 59, 0, 1, 0, 255, 255, 255, 255};
        ShowIdent(block.data(), true, [](TFormIdent& d) {
            QCOMPARE(d.frameGeometry().size(), QSize(482, 406));
            if (const QScreen* screen = d.screen()) {
                QVERIFY(
                    (d.frameGeometry().center() - screen->geometry().center()).manhattanLength() <=
                    2);
            }
            const QRect client = d.rect();
            auto fits = [&](QLabel* label) {
                const int needed = label->fontMetrics().horizontalAdvance(label->text());
                QVERIFY2(needed <= label->contentsRect().width(), qPrintable(label->text()));
                QVERIFY2(client.contains(label->geometry()), qPrintable(label->text()));
            };
            for (QLabel* label : Captions(d)) {
                fits(label);
            }
            const std::vector<QLabel*> panels = Panels(d);
            for (QLabel* panel : panels) {
                fits(panel);
                QCOMPARE(panel->x(), d.Panel13->x());
                QCOMPARE(panel->width(), d.Panel13->width());
            }
            for (size_t i = 1; i < panels.size(); ++i) {
                QVERIFY(panels[i]->y() >= panels[i - 1]->geometry().bottom());
            }
            // Each caption ends left of the values and beside its own value field.
            auto beside = [&](std::initializer_list<QLabel*> captions, QLabel* panel) {
                const QLabel* first = *captions.begin();
                const QLabel* last = *(captions.end() - 1);
                for (const QLabel* caption : captions) {
                    QVERIFY(caption->geometry().right() < panel->x());
                    QCOMPARE(caption->alignment() & Qt::AlignHorizontal_Mask,
                             Qt::Alignment(Qt::AlignRight));
                }
                const int middle = panel->geometry().center().y();
                QVERIFY2(first->y() <= middle && middle <= last->geometry().bottom(),
                         qPrintable(first->text()));
            };
            beside({d.Label9}, d.Panel13);
            beside({d.Label4}, d.Panel7);
            beside({d.Label1}, d.Panel8);
            beside({d.Label6}, d.Panel11);
            beside({d.Label2}, d.Panel9);
            beside({d.Label3}, d.Panel10);
            beside({d.Label8, d.Label5}, d.Panel15);
            beside({d.Label7, d.Label10}, d.Panel16);
            beside({d.Label11, d.Label12, d.Label13}, d.Panel18);
            QVERIFY(d.BitBtn2->y() > d.Label13->geometry().bottom());
            QVERIFY(client.contains(d.BitBtn2->geometry()));
            QVERIFY(qAbs(d.BitBtn2->geometry().center().x() - client.center().x()) <= 1);
        });
    }
};

QTEST_MAIN(IdentTest)
#include "IdentTest.moc"
