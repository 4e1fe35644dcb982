// The flow computer dialog: the lists follow the connection box, the rates follow the
// device's mask, and the entry changes only on a valid confirm.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "config/Vichpar.h"
#include "tests/config/EditorDriver.h"
#include "tests/support/Guitesting.h"

namespace {

constexpr uint32_t AllRates = 0xFFFFFFFF;

bool operator==(const FlowComputerRecord& a, const FlowComputerRecord& b) {
    return a.Connected == b.Connected && a.Port == b.Port && a.BaudCode == b.BaudCode;
}

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->itemText(i);
    }
    return items;
}

}  // namespace

class VichparTest : public QObject {
    Q_OBJECT
private slots:
    void showsItsCaptionAddressAndSize() {
        FlowComputerRecord entry{1, 1, 11};
        TFormVichPar d(entry, 17, AllRates);
        d.show();
        QCOMPARE(d.windowTitle(), QString("Параметры связи с вычислителем"));
        QCOMPARE(d.Label3->text(), QString("17"));
        QCOMPARE(Items(d.ComboBox1), QStringList({"  A", "  B", "  C"}));
        QCOMPARE(d.ComboBox2->count(), 22);
        // The outer size is the form's, widened where the caption needs it.
        QTRY_COMPARE(d.frameGeometry().height(), 262);
        QVERIFY(d.frameGeometry().width() >= 310);
        QVERIFY(CaptionHasRoom(d));
        QCOMPARE(d.BitBtn1->text(), QString("Принять"));
        QCOMPARE(d.BitBtn2->text(), QString("Отменить"));
        // Every caption and button shows its whole text.
        for (QWidget* w : std::initializer_list<QWidget*>{d.Label1, d.Label2, d.Label4, d.Label6,
                                                          d.BitBtn1, d.BitBtn2}) {
            QVERIFY2(w->width() >= w->sizeHint().width(),
                     qPrintable(w->property("text").toString()));
        }
    }

    void offersOnlyTheRatesOfTheFlowComputerMask() {
        FlowComputerRecord entry{1, 1, 21};
        const uint32_t mask = 1u << 2 | 1u << 11 | 1u << 21 | 1u << 25;  // 25: no such code
        TFormVichPar d(entry, 1, mask);
        d.show();
        QCOMPARE(Items(d.ComboBox2), QStringList({"1200", "9600", "230400"}));
        QCOMPARE(d.ComboBox2->currentIndex(), 2);
        QCOMPARE(d.ComboBox1->currentText(), QString("  A"));
    }

    void disconnectedEntryShowsEmptyListsUntilTicked() {
        FlowComputerRecord entry{0, 2, 11};
        TFormVichPar d(entry, 5, AllRates);
        d.show();
        QVERIFY(!d.CheckBox1->isChecked());
        for (QComboBox* list : {d.ComboBox1, d.ComboBox2}) {
            QCOMPARE(list->currentIndex(), -1);
            QVERIFY(!list->isEnabled());
        }
        QVERIFY(!d.Label1->isEnabled());
        QVERIFY(!d.Label4->isEnabled());

        d.CheckBox1->click();
        QVERIFY(d.ComboBox1->isEnabled() && d.ComboBox2->isEnabled());
        QVERIFY(d.Label1->isEnabled() && d.Label4->isEnabled());
        QCOMPARE(d.ComboBox1->currentText(), QString("  B"));
        QCOMPARE(d.ComboBox2->currentText(), QString("9600"));
        QCOMPARE(MessagesDuring([&] { d.BitBtn1->click(); }), QStringList());
        QVERIFY((entry == FlowComputerRecord{1, 2, 11}));
    }

    void uncheckingKeepsPortAndCodeForTheTable() {
        FlowComputerRecord entry{1, 3, 15};
        TFormVichPar d(entry, 5, AllRates);
        d.show();
        d.CheckBox1->click();
        QCOMPARE(d.ComboBox1->currentIndex(), -1);
        d.BitBtn1->click();
        QVERIFY((entry == FlowComputerRecord{0, 3, 15}));
        // The device's table gets port 0 with the old code.
        QCOMPARE(PackFlowComputer(entry), uint8_t{15});
    }

    void choicesSurviveUncheckingAndCheckingAgain() {
        FlowComputerRecord entry{1, 1, 11};
        TFormVichPar d(entry, 5, AllRates);
        d.show();
        d.ComboBox1->setCurrentIndex(2);
        d.ComboBox2->setCurrentIndex(d.ComboBox2->findText("57600"));
        d.CheckBox1->click();
        d.CheckBox1->click();
        QCOMPARE(d.ComboBox1->currentText(), QString("  C"));
        QCOMPARE(d.ComboBox2->currentText(), QString("57600"));
        d.BitBtn1->click();
        QVERIFY((entry == FlowComputerRecord{1, 3, 19}));
    }

    void connectedEntryNeedsAPortAndAnOfferedRate() {
        // Code 11 is not offered, so the rate starts unchosen.
        const uint32_t mask = AllRates & ~(1u << 11);
        FlowComputerRecord entry{1, 1, 11};
        TFormVichPar d(entry, 5, mask);
        d.show();
        QCOMPARE(d.ComboBox2->currentIndex(), -1);
        QCOMPARE(MessagesDuring([&] { d.BitBtn1->click(); }),
                 QStringList({"Введены не все параметры|"}));
        QVERIFY(d.isVisible());
        QVERIFY((entry == FlowComputerRecord{1, 1, 11}));
        d.ComboBox2->setCurrentIndex(d.ComboBox2->findText("19200"));
        QCOMPARE(MessagesDuring([&] { d.BitBtn1->click(); }), QStringList());
        QVERIFY((entry == FlowComputerRecord{1, 1, 15}));

        // A port outside A..C (a damaged file) has to be chosen too.
        FlowComputerRecord odd{1, 5, 2};
        TFormVichPar e(odd, 6, AllRates);
        e.show();
        QCOMPARE(e.ComboBox1->currentIndex(), -1);
        QCOMPARE(MessagesDuring([&] { e.BitBtn1->click(); }),
                 QStringList({"Введены не все параметры|"}));
        QVERIFY((odd == FlowComputerRecord{1, 5, 2}));
    }

    void cancellingInAnyWayLeavesTheEntry() {
        const FlowComputerRecord original{1, 2, 11};
        for (int way = 0; way < 3; ++way) {
            FlowComputerRecord entry = original;
            TFormVichPar d(entry, 5, AllRates);
            d.show();
            d.ComboBox1->setCurrentIndex(0);
            d.ComboBox2->setCurrentIndex(0);
            d.CheckBox1->click();
            if (way == 0) {
                d.BitBtn2->click();
            } else if (way == 1) {
                QTest::keyClick(&d, Qt::Key_Escape);
            } else {
                d.close();
            }
            QVERIFY(!d.isVisible());
            QVERIFY2(entry == original, qPrintable(QString::number(way)));
        }
    }
};

QTEST_MAIN(VichparTest)
#include "VichparTest.moc"
