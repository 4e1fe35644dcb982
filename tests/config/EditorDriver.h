#pragma once
// Drives the modal dialogs that the editors open deep inside a click: while the action
// runs, a timer hands every modal dialog of the wanted type to a handler that closes it.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "app/Question.h"

// Returns how many dialogs of type T came up. handle must close the dialog it is given.
template <typename T>
int WithModal(const std::function<void()>& action, const std::function<void(T&)>& handle) {
    int shown = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        // A dialog that is still closing is not handled twice.
        if (dialog && dialog->isVisible() && !dialog->property("driven").toBool()) {
            dialog->setProperty("driven", true);
            ++shown;
            handle(*dialog);
            // A handler that failed before closing its dialog must not hang the test.
            if (dialog->isVisible()) {
                dialog->close();
            }
        }
    });
    timer.start();
    action();
    timer.stop();
    return shown;
}

// The two lines of every message shown while action runs, each as "line 1|line 2".
// A question is answered Да when yes is set, else Нет.
inline QStringList MessagesDuring(const std::function<void()>& action, bool yes = false) {
    QStringList seen;
    WithModal<TFormQues>(action, [&](TFormQues& q) {
        seen << q.Label1->text() + "|" + q.Label2->text();
        if (!q.BitBtn3->isHidden()) {
            q.BitBtn3->click();
        } else {
            (yes ? q.BitBtn1 : q.BitBtn2)->click();
        }
    });
    return seen;
}
