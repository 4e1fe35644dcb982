// The message dialog: its size, lines and buttons by kind, and the answer it leaves.
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <array>
#include <cerrno>
#include <functional>

#include "app/Question.h"
#include "app/Suplfunc.h"
#include "config/Cnffile.h"
#include "config/Identtext.h"
#include "config/Stringi.h"
#include "connection/Deviceconnection.h"
#include "link/Conffun.h"
#include "link/Posixport.h"
#include "link/Screen.h"
#include "tests/support/Guitesting.h"

namespace {

// Runs check on the dialog once it is up, then presses button (nullptr: close box).
void WhenShown(std::function<void(TFormQues&)> check, QPushButton* TFormQues::*button) {
    QTimer::singleShot(0, [check, button] {
        auto* dialog = qobject_cast<TFormQues*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        check(*dialog);
        if (button) {
            (dialog->*button)->click();
        } else {
            dialog->close();
        }
    });
}

}  // namespace

class QuestionTest : public QObject {
    Q_OBJECT
private slots:
    void retryQuestionHasThreeLinesAndBothAnswers() {
        auto check = [](TFormQues& d) {
            QTRY_COMPARE(d.frameGeometry().height(), 170);
            QCOMPARE(d.Label3->text(), QString("Повторить попытку?"));
            QVERIFY(d.BitBtn1->isVisible());
            QVERIFY(d.BitBtn2->isVisible());
            QVERIFY(!d.BitBtn3->isVisible());
            QCOMPARE(d.BitBtn1->y(), 100);
            // Both buttons spread with equal gaps, in the form.
            const int gap = (d.width() - 68 - 68) / 3 - 3;
            QCOMPARE(d.BitBtn1->x(), gap);
            QCOMPARE(d.BitBtn2->x(), gap + 68 + gap);
        };
        MessageKind = MessageRetry;
        WhenShown(check, &TFormQues::BitBtn1);
        ShowMessageDialog(QString("Не выполнено чтение из таблицы 6."),
                          QString("\"Скорость обмена с подкл. вычислителем и порт подключения\""));
        QCOMPARE(QuestionAnswer, 1);
        WhenShown(check, &TFormQues::BitBtn2);
        ShowMessageDialog(QString("Не выполнено чтение из таблицы 6."), QString("\"x\""));
        QCOMPARE(QuestionAnswer, 0);
        QuestionAnswer = 1;
        WhenShown(check, nullptr);
        ShowMessageDialog(QString("Не выполнено чтение из таблицы 6."), QString("\"x\""));
        QCOMPARE(QuestionAnswer, 0);
    }

    // Enter answers with the focused button: Да first for a question, the acknowledge
    // button for a message, Нет once the operator has moved to it.
    void enterPressesTheFocusedButton() {
        struct Case {
            int kind;
            bool tabFirst;
            int answer;
        };
        for (const Case& c : {Case{MessageQuestion, false, 1}, Case{MessageRetry, true, 0},
                              Case{MessageNotice, false, 0}}) {
            bool closed = false;
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<TFormQues*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                if (c.tabFirst) {
                    QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
                }
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
                closed = !dialog->isVisible();
                if (!closed) {
                    dialog->close();
                }
            });
            MessageKind = c.kind;
            QuestionAnswer = 1 - c.answer;
            ShowMessageDialog(QString("Сохранить параметры конфигурации в файле?"), QString());
            QVERIFY2(closed, "Enter did not answer the dialog");
            if (c.kind != MessageNotice) {
                QCOMPARE(QuestionAnswer, c.answer);
            }
        }
    }

    // The standard dialogs speak the program's language.
    void qtDialogsAreInRussian() {
        QVERIFY(InstallQtTranslation());
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QString("Перейти к:"));
    }

    void heightFollowsTheLinesAndAOneButtonDialogCentresIt() {
        MessageKind = MessageExchangeResult;
        WhenShown(
            [](TFormQues& d) {
                QTRY_COMPARE(d.frameGeometry().height(), 118);
                QCOMPARE(d.windowTitle(), QString("Результат обмена с устройством"));
                QVERIFY(d.BitBtn3->isVisible());
                QVERIFY(!d.BitBtn1->isVisible());
                QCOMPARE(d.BitBtn3->x(), (d.width() - d.BitBtn3->width()) / 2);
                QCOMPARE(d.BitBtn3->y(), 43);
            },
            &TFormQues::BitBtn3);
        ShowMessageDialog(QString("Связь не установлена"), QString());

        MessageKind = MessageInputError;
        WhenShown([](TFormQues& d) { QTRY_COMPARE(d.frameGeometry().height(), 140); },
                  &TFormQues::BitBtn3);
        ShowMessageDialog(QString("Время ожидания следующих байтов ответа"),
                          QString("Параметр вне допустимого диапазона"));
    }

    // The outer width is the character rule's (8 px a character, never below the two
    // buttons) unless the font needs more.
    void widthFollowsTheLongestTextButNeverBelowTheButtons() {
        MessageKind = MessageNotice;
        WhenShown([](TFormQues& d) { QTRY_COMPARE(d.frameGeometry().width(), 68 + 68 + 60); },
                  &TFormQues::BitBtn3);
        ShowMessageDialog(QString("Да"), QString());
        WhenShown(
            [](TFormQues& d) {
                QTRY_COMPARE(d.frameGeometry().width(), 60 * 8 + 10);
                QCOMPARE(d.Label1->width(), d.width() - 14);
            },
            &TFormQues::BitBtn3);
        ShowMessageDialog(QString(60, QChar(u'.')), QString("коротко"));
        WhenShown([](TFormQues& d) { QTRY_VERIFY(d.frameGeometry().width() > 60 * 8 + 10); },
                  &TFormQues::BitBtn3);
        ShowMessageDialog(QString(60, QChar(u'Ж')), QString());
    }

    // Every message the program shows, at the dialog's own font: each line fits its label,
    // the caption has room beside the title bar's controls, the buttons lie inside, and
    // the outer height is the one the kind asks for, frame included.
    void everyMessageFits_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        auto add = [](int kind, const std::string& first, const std::string& second) {
            QTest::addRow("%d %s", kind, first.c_str())
                << kind << QString::fromStdString(first) << QString::fromStdString(second);
        };
        for (int table = 0; table < static_cast<int>(TableCount); ++table) {
            for (bool reading : {true, false}) {
                const auto lines = RetryQuestionLines(reading, table);
                add(MessageRetry, lines[0], lines[1]);
            }
        }
        for (int port = 1; port <= 8; ++port) {
            add(MessageError, PortUnavailableText(port), PortFailureText(EBUSY, ""));
        }
        add(MessageError,
            PortUnavailableText(1, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00"),
            PortFailureText(ENOENT, ""));
        for (const char* text : ModemResultTexts) {
            add(MessageNotice, text, "");
        }
        for (const LinkValueLimit& limit : LinkValueLimits) {
            add(MessageInputError, limit.Caption, OutOfRangeText);
        }
        add(MessageInputError, "Введены не все параметры", "");
        add(MessageExchangeResult, NotReadText, "");
        add(MessageExchangeResult, SearchFoundText, SearchFoundRateText(115200));
        add(MessageExchangeResult, SearchFailedText, "");
        add(MessageNotice, NothingWrittenText, NothingChangedText);
        add(MessageNotice, "Разрушена таблица 5", "");
        add(MessageNotice, "Не заданы таблицы для записи", "");
        add(MessageQuestion, "Сохранить параметры конфигурации в файле?", "");
        add(MessageQuestion, "Файл zrt16-mk5-261208.cnf уже есть.", "Заменить его?");
        for (const auto& ident : {std::array<uint8_t, 17>{7}, std::array<uint8_t, 17>{8, 0, 9}}) {
            std::string first, second;
            if (!DeviceServed(ident.data(), first, second)) {
                add(MessageNotice, first, second);
            }
        }
        const std::string name = "/nonexistent/zrt16-mk5-261208.cnf";
        ConfigRecord record{};
        FileNotice notice;
        ReadConfigFile(name, record, notice);
        add(MessageError, notice.Line1, notice.Line2);
        WriteConfigFile(name, record, notice);
        add(MessageError, notice.Line1, notice.Line2);
    }

    void everyMessageFits() {
        QFETCH(int, kind);
        QFETCH(QString, first);
        QFETCH(QString, second);
        const int charRule = 8 * static_cast<int>(std::max(first.size(), second.size())) + 10;
        WhenShown(
            [charRule](TFormQues& d) {
                const int height = !d.Label3->text().isEmpty()   ? 170
                                   : !d.Label2->text().isEmpty() ? 140
                                                                 : 118;
                QTRY_COMPARE(d.frameGeometry().height(), height);
                QVERIFY(d.frameGeometry().width() >= charRule);
                const QFontMetrics metrics(d.font());
                for (const QLabel* label : {d.Label1, d.Label2, d.Label3}) {
                    QVERIFY2(
                        label->contentsRect().width() >= metrics.horizontalAdvance(label->text()),
                        qPrintable(label->text()));
                    QVERIFY(d.rect().contains(label->geometry()));
                }
                for (const QPushButton* button : {d.BitBtn1, d.BitBtn2, d.BitBtn3}) {
                    QVERIFY(!button->isVisible() || d.rect().contains(button->geometry()));
                }
                QVERIFY2(CaptionHasRoom(d), qPrintable(d.windowTitle()));
                // An empty caption stays empty: the platform would put the program's name.
                if (d.windowTitle().isEmpty()) {
                    QCOMPARE(d.windowHandle()->title().trimmed(), QString());
                }
            },
            nullptr);
        MessageKind = kind;
        ShowMessageDialog(first, second);
    }

    void unknownKindKeepsTheDesignLines() {
        MessageKind = 4;
        WhenShown(
            [](TFormQues& d) {
                QCOMPARE(d.Label1->text(), QString("Нет связи с устройством."));
                QCOMPARE(d.Label3->text(), QString());
                QVERIFY(d.BitBtn3->isVisible());
            },
            &TFormQues::BitBtn3);
        ShowMessageDialog(QString("ignored"), QString("ignored"));
    }
};

QTEST_MAIN(QuestionTest)
#include "QuestionTest.moc"
