// The table-state record as the table-state command builds it, and the dialog: its rows,
// what it shows for destroyed tables, the choices its buttons leave in the record, the
// notice for an empty choice, and a telephone link that offers no writing.
#include <QtTest/qtestspontaneevent.h>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QtTest>
#include <array>
#include <cstring>
#include <functional>
#include <vector>

#include "app/Question.h"
#include "app/Suplfunc.h"
#include "config/Tableinfo.h"
#include "config/Tablestate.h"

namespace {

using Bytes = std::array<uint8_t, 24>;

Bytes BytesOf(const TableStateSet& set) {
    Bytes bytes;
    std::memcpy(bytes.data(), &set, bytes.size());
    return bytes;
}

// The set for a device whose table 7 flags the given tables destroyed.
TableStateSet SetWithDestroyed(std::initializer_list<int> destroyed) {
    std::array<uint8_t, 8> table7{};
    for (int table : destroyed) {
        table7[static_cast<size_t>(table)] = 1;
    }
    return MakeTableStateSet(table7.data());
}

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::vector<QLabel*> Names(const TFormTableInfo& d) {
    return {d.pn1, d.pn2, d.pn3, d.pn4, d.pn5};
}
std::vector<QLabel*> States(const TFormTableInfo& d) {
    return {d.pw1, d.pw2, d.pw3, d.pw4, d.pw5};
}
std::vector<QCheckBox*> Boxes(const TFormTableInfo& d) {
    return {d.cb1, d.cb2, d.cb3, d.cb4, d.cb5};
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

// Runs the dialog modally as the main window does; act runs once it is up and must
// close it. Returns what exec() returned.
int RunDialog(TFormTableInfo& dialog, const std::function<void(TFormTableInfo&)>& act) {
    bool acted = false;
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget() == &dialog) {
            act(dialog);
            acted = true;
        }
        if (dialog.isVisible()) {
            dialog.reject();
        }
    });
    const int code = dialog.exec();
    [&] { QVERIFY2(acted, "the dialog was not the active modal window"); }();
    return code;
}

// Presses a button that opens the message dialog, checks the message and acknowledges it.
void ExpectNotice(QPushButton* button, const QString& first) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* notice = qobject_cast<TFormQues*>(QApplication::activeModalWidget());
        if (notice) {
            seen = true;
            QCOMPARE(notice->windowTitle(), QString());
            QCOMPARE(notice->Label1->text(), first);
            QCOMPARE(notice->Label2->text(), QString());
            QVERIFY(notice->BitBtn3->isVisible());
            QVERIFY(!notice->BitBtn1->isVisible());
            notice->BitBtn3->click();
        }
    });
    button->click();
    QVERIFY2(seen, "no message dialog");
}

}  // namespace

class TableinfoTest : public QObject {
    Q_OBJECT
private slots:
    void setHoldsTheConfigTablesTheRestoreFlagsAndNoChoice() {
        const std::array<uint8_t, 8> table7 = {0, 0, 0, 0, 0, 0x55, 0, 9};
        const TableStateSet set = MakeTableStateSet(table7.data());
        const Bytes expected = {0, 0, 0, 1, 0, 1,    1, 0,  // tables 3, 5, 6
                                0, 0, 0, 0, 0, 0x55, 0, 9,  // as read
                                0, 0, 0, 0, 0, 0,    0, 0};
        QCOMPARE(BytesOf(set), expected);
    }

    void standardTablesFillThreeRowsInOrder() {
        TableStateSet set = SetWithDestroyed({});
        TFormTableInfo dialog(set, false);
        RunDialog(dialog, [](TFormTableInfo& d) {
            QCOMPARE(d.windowTitle(), Text("Состояние таблиц параметров конфигурации"));
            QCOMPARE(d.frameGeometry().height(), 210);
            QVERIFY(d.frameGeometry().width() >= 590);
            QCOMPARE(d.Label1->text(), Text("Наименование таблицы"));
            QCOMPARE(d.Label2->text() + d.Label3->text(), Text("Разру-шена"));
            QCOMPARE(d.Label4->text() + "|" + d.Label5->text(), Text("Записать|таблицу"));
            QCOMPARE(d.BitBtn1->text(), Text("Записать все таблицы"));
            QCOMPARE(d.BitBtn3->text(), Text("Записать избранные таблицы"));
            QCOMPARE(d.BitBtn2->text(), Text("Выход"));
            QVERIFY(d.BitBtn1->isEnabled() && d.BitBtn3->isEnabled() && d.BitBtn2->isEnabled());

            const QStringList names = {
                Text(" Табл.  3.  Параметры связи"),
                Text(" Табл.  5.  Командная строка модема"),
                Text(" Табл.  6.  Скорость обмена с подкл. вычислителем и порт подключения"),
                QString(),
                QString(),
            };
            for (int n = 0; n < 5; ++n) {
                QCOMPARE(Names(d)[n]->text(), names[n]);
                QCOMPARE(States(d)[n]->text(), n < 3 ? Text("Нет") : QString());
                QCOMPARE(Boxes(d)[n]->isVisible(), n < 3);
                QVERIFY(!Boxes(d)[n]->isChecked());
                QCOMPARE(RedPixels(States(d)[n]), 0);
            }
            // The longest name is shown whole, inside the dialog, and the headers stand
            // over their columns.
            QVERIFY(d.pn3->fontMetrics().horizontalAdvance(d.pn3->text()) < d.pn3->width());
            QVERIFY(d.rect().contains(QRect(d.pn3->mapTo(&d, QPoint(0, 0)), d.pn3->size())));
            QVERIFY(d.rect().contains(QRect(d.cb3->mapTo(&d, QPoint(0, 0)), d.cb3->size())));
            QCOMPARE(d.Label2->geometry().center().x(),
                     d.pw1->mapTo(&d, d.pw1->rect().center()).x());
            QCOMPARE(d.Label4->geometry().center().x(),
                     d.cb1->mapTo(&d, d.cb1->rect().center()).x());
            d.BitBtn2->click();
        });
        QCOMPARE(dialog.Result, 0);
    }

    void dialogIs590By210WhenTheNamesFit() {
        TableStateSet set{};
        set.ConfigTables[3] = 1;
        TFormTableInfo dialog(set, false);
        RunDialog(dialog, [](TFormTableInfo& d) {
            QCOMPARE(d.frameGeometry().size(), QSize(590, 210));
            QCOMPARE(d.pn1->text(), Text(" Табл.  3.  Параметры связи"));
            QVERIFY(!d.cb2->isVisible());
        });
    }

    void nothingDestroyedNeedsAChoiceButWriteAllTakesEveryTable() {
        TableStateSet set = SetWithDestroyed({});
        TFormTableInfo dialog(set, false);
        RunDialog(dialog, [](TFormTableInfo& d) {
            ExpectNotice(d.BitBtn3, Text("Не заданы таблицы для записи"));
            QVERIFY(d.isVisible());
            QCOMPARE(d.Result, 0);
            d.BitBtn1->click();
            QVERIFY(!d.isVisible());
        });
        QCOMPARE(dialog.Result, 2);
        QCOMPARE(BytesOf(set), (Bytes{0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                      0, 0, 0, 1, 0, 1, 1, 0}));
    }

    void destroyedTableIsShownRedAndChosenAlone() {
        TableStateSet set = SetWithDestroyed({5});
        TFormTableInfo dialog(set, false);
        QCOMPARE(RunDialog(dialog,
                           [](TFormTableInfo& d) {
                               QCOMPARE(d.pw2->text(), Text("Да"));
                               QVERIFY(RedPixels(d.pw2) > 10);
                               QCOMPARE(d.pw1->text(), Text("Нет"));
                               QCOMPARE(RedPixels(d.pw1), 0);
                               QCOMPARE(RedPixels(d.pw3), 0);
                               QVERIFY(!d.cb1->isChecked());
                               QVERIFY(d.cb2->isChecked());
                               QVERIFY(!d.cb3->isChecked());
                               d.BitBtn3->click();
                           }),
                 int(QDialog::Accepted));
        QCOMPARE(dialog.Result, 1);
        Bytes expected = BytesOf(SetWithDestroyed({5}));
        expected[16 + 5] = 1;
        QCOMPARE(BytesOf(set), expected);
    }

    void choiceFollowsTheBoxesTheOperatorSets() {
        TableStateSet set = SetWithDestroyed({5});
        TFormTableInfo dialog(set, false);
        RunDialog(dialog, [](TFormTableInfo& d) {
            d.cb2->click();
            d.cb1->click();
            d.cb3->click();
            d.BitBtn3->click();
        });
        QCOMPARE(dialog.Result, 1);
        QCOMPARE(std::vector<uint8_t>(set.WriteTables.begin(), set.WriteTables.end()),
                 (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 1, 0}));

        // Unticking the only destroyed table leaves nothing chosen.
        TableStateSet again = SetWithDestroyed({5});
        TFormTableInfo second(again, false);
        RunDialog(second, [](TFormTableInfo& d) {
            d.cb2->click();
            ExpectNotice(d.BitBtn3, Text("Не заданы таблицы для записи"));
            QVERIFY(d.isVisible());
            d.BitBtn2->click();
        });
        QCOMPARE(second.Result, 0);
        QCOMPARE(BytesOf(again), BytesOf(SetWithDestroyed({5})));
    }

    // Minimised and restored (the window system's hide and show) before the choice is
    // confirmed: the ticks the operator set are the ones written.
    void choiceSurvivesMinimiseAndRestore() {
        TableStateSet set = SetWithDestroyed({5});
        TFormTableInfo dialog(set, false);
        RunDialog(dialog, [](TFormTableInfo& d) {
            d.cb2->click();
            d.cb1->click();
            QHideEvent hide;
            QShowEvent show;
            QSpontaneKeyEvent::setSpontaneous(&hide);
            QSpontaneKeyEvent::setSpontaneous(&show);
            qApp->notify(&d, &hide);  // sendEvent would make them not spontaneous
            qApp->notify(&d, &show);
            d.BitBtn3->click();
        });
        QCOMPARE(dialog.Result, 1);
        QCOMPARE(std::vector<uint8_t>(set.WriteTables.begin(), set.WriteTables.end()),
                 (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 0}));
    }

    void telephoneLinkOffersNoWriting() {
        TableStateSet set = SetWithDestroyed({3, 6});
        TFormTableInfo dialog(set, true);
        RunDialog(dialog, [](TFormTableInfo& d) {
            QCOMPARE(d.pw1->text(), Text("Да"));
            QCOMPARE(d.pw2->text(), Text("Нет"));
            QCOMPARE(d.pw3->text(), Text("Да"));
            QVERIFY(RedPixels(d.pw3) > 10);
            for (int n = 0; n < 3; ++n) {
                QVERIFY(Boxes(d)[n]->isVisible());
                QVERIFY(!Boxes(d)[n]->isChecked());
                QVERIFY(!Boxes(d)[n]->isEnabled());
            }
            QVERIFY(!d.BitBtn1->isEnabled());
            QVERIFY(!d.BitBtn3->isEnabled());
            QVERIFY(d.BitBtn2->isEnabled());
            d.BitBtn2->click();
        });
        QCOMPARE(dialog.Result, 0);
        QCOMPARE(BytesOf(set), BytesOf(SetWithDestroyed({3, 6})));
    }

    void leavingWithoutAWriteChoosesNothing() {
        const std::vector<std::function<void(TFormTableInfo&)>> ways = {
            [](TFormTableInfo& d) { d.BitBtn2->click(); },
            [](TFormTableInfo& d) { d.close(); },
            [](TFormTableInfo& d) {
                // Enter does not start a write; Escape leaves.
                QTest::keyClick(&d, Qt::Key_Return);
                QVERIFY(d.isVisible());
                QTest::keyClick(&d, Qt::Key_Escape);
            },
        };
        for (const auto& leave : ways) {
            TableStateSet set = SetWithDestroyed({3, 5, 6});
            TFormTableInfo dialog(set, false);
            RunDialog(dialog, [&](TFormTableInfo& d) {
                QVERIFY(d.cb1->isChecked() && d.cb2->isChecked() && d.cb3->isChecked());
                leave(d);
                QVERIFY(!d.isVisible());
            });
            QCOMPARE(dialog.Result, 0);
            QCOMPARE(BytesOf(set), BytesOf(SetWithDestroyed({3, 5, 6})));
        }
    }

    void moreTablesThanSlotsFillTheFiveSlots() {
        TableStateSet set{};
        set.ConfigTables.fill(1);
        set.RestoreRequired[7] = 1;
        TFormTableInfo dialog(set, false);
        RunDialog(dialog, [](TFormTableInfo& d) {
            QVERIFY(d.pn5->text().startsWith(Text(" Табл.  4.")));
            QVERIFY(d.cb5->isVisible());
            d.cb1->click();
            d.BitBtn3->click();
        });
        QCOMPARE(dialog.Result, 1);
        QCOMPARE(std::vector<uint8_t>(set.WriteTables.begin(), set.WriteTables.end()),
                 (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    }
};

QTEST_MAIN(TableinfoTest)
#include "TableinfoTest.moc"
