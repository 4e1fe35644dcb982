// The message dialog: its size, lines and buttons by kind, and the answer it leaves.
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/Question.h"
#include "app/Suplfunc.h"
#include "link/Screen.h"

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
            QCOMPARE(d.height(), 170);
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
                QCOMPARE(d.height(), 118);
                QCOMPARE(d.windowTitle(), QString("Результат обмена с устройством"));
                QVERIFY(d.BitBtn3->isVisible());
                QVERIFY(!d.BitBtn1->isVisible());
                QCOMPARE(d.BitBtn3->x(), (d.width() - d.BitBtn3->width()) / 2);
                QCOMPARE(d.BitBtn3->y(), 43);
            },
            &TFormQues::BitBtn3);
        ShowMessageDialog(QString("Связь не установлена"), QString());

        MessageKind = MessageInputError;
        WhenShown([](TFormQues& d) { QCOMPARE(d.height(), 140); }, &TFormQues::BitBtn3);
        ShowMessageDialog(QString("Время ожидания следующих байтов ответа"),
                          QString("Параметр вне допустимого диапазона"));
    }

    void widthFollowsTheLongestTextButNeverBelowTheButtons() {
        MessageKind = MessageNotice;
        WhenShown(
            [](TFormQues& d) {
                QCOMPARE(d.width(), 490);
                QCOMPARE(d.Label1->width(), 476);
            },
            &TFormQues::BitBtn3);
        ShowMessageDialog(QString(60, QChar(u'ж')), QString("коротко"));

        WhenShown([](TFormQues& d) { QCOMPARE(d.width(), 68 + 68 + 60); }, &TFormQues::BitBtn3);
        ShowMessageDialog(QString("Да"), QString());
        // The caption counts as a text too.
        MessageKind = MessageExchangeResult;  // a caption of 30 characters
        WhenShown([](TFormQues& d) { QCOMPARE(d.width(), 30 * 8 + 10); }, &TFormQues::BitBtn3);
        ShowMessageDialog(QString("x"), QString());
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
