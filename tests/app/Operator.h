#pragma once
// An operator at the program: answers every modal dialog the window opens, as the test
// scripts it, and notes the messages shown. Dialogs it is given no script for are
// answered the plain way (connect, confirm, close).
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

#include "app/Changes.h"
#include "app/Compare.h"
#include "app/Question.h"
#include "app/Select.h"
#include "config/Config.h"
#include "config/Ident.h"
#include "config/Tableinfo.h"
#include "config/Vichpar.h"
#include "connection/Connpar.h"

class Operator : public QObject {
public:
    Operator() {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, &Operator::Look);
        timer_.start();
    }

    bool connectWhenAsked = true;
    std::function<void(TFormConnPar&)> onConnect;  // default: as connectWhenAsked says
    std::deque<bool> answers;                      // to questions, in turn; then Нет
    QStringList messages;                          // "first|second" of every message shown
    int identViews = 0;
    int editors = 0;
    std::function<void(TFormConfig&)> onEditor;     // default: confirm
    std::function<void(TFormVichPar&)> onEntry;     // default: confirm
    std::function<void(TFormTableInfo&)> onTables;  // default: write the selected tables
    std::function<void(QFileDialog&)> onFile;       // default: cancel
    int selectResult = 0;                           // TFormSelect: 0 cancel, 3 or 5
    QList<QStringList> changeLists;                 // the lines of every change list shown
    bool writeChanges = true;                       // the change list's answer
    std::function<void(TFormCompare&)> onCompare;   // default: close

private:
    template <typename T>
    T* Take(QWidget* modal) {
        auto* dialog = qobject_cast<T*>(modal);
        if (!dialog || !dialog->isVisible() || dialog->property("handled").toBool()) {
            return nullptr;
        }
        dialog->setProperty("handled", true);
        // The same dialog may be shown again (the save dialog after "replace? no").
        connect(
            dialog, &QDialog::finished, dialog, [dialog] { dialog->setProperty("handled", false); },
            Qt::SingleShotConnection);
        return dialog;
    }

    // A dialog is answered from a timer of its own: while the answer runs (and opens
    // dialogs of its own) this timer must stay free to look again, and Qt never fires a
    // timer inside its own timeout.
    void Look() {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!modal || modal->property("handled").toBool()) {
            return;
        }
        QTimer::singleShot(0, this, [this, modal] {
            if (modal) {
                Answer(modal);
            }
        });
    }

    void Answer(QWidget* modal) {
        if (qEnvironmentVariableIsSet("ZANTIR_TRACE_OPERATOR")) {
            qInfo("operator: %s \"%s\"", modal->metaObject()->className(),
                  qPrintable(modal->windowTitle()));
        }
        if (auto* d = Take<TFormConnPar>(modal)) {
            if (onConnect) {
                onConnect(*d);
            } else {
                (connectWhenAsked ? d->BitBtn1 : d->BitBtn2)->click();
            }
        } else if (auto* d = Take<TFormQues>(modal)) {
            messages << d->Label1->text() + "|" + d->Label2->text();
            if (!d->BitBtn3->isHidden()) {
                d->BitBtn3->click();
            } else {
                const bool yes = !answers.empty() && answers.front();
                if (!answers.empty()) {
                    answers.pop_front();
                }
                (yes ? d->BitBtn1 : d->BitBtn2)->click();
            }
        } else if (auto* d = Take<TFormIdent>(modal)) {
            ++identViews;
            d->close();
        } else if (auto* d = Take<TFormConfig>(modal)) {
            ++editors;
            if (onEditor) {
                onEditor(*d);
            } else {
                Confirm(*d);
            }
        } else if (auto* d = Take<TFormVichPar>(modal)) {
            if (onEntry) {
                onEntry(*d);
            }
            d->BitBtn1->click();
        } else if (auto* d = Take<TFormTableInfo>(modal)) {
            if (onTables) {
                onTables(*d);
            } else {
                d->BitBtn3->click();
            }
        } else if (auto* d = Take<QFileDialog>(modal)) {
            if (onFile) {
                onFile(*d);
            } else {
                d->reject();
            }
        } else if (auto* d = Take<TFormChanges>(modal)) {
            changeLists << d->Lines();
            (writeChanges ? d->BitBtn1 : d->BitBtn2)->click();
        } else if (auto* d = Take<TFormCompare>(modal)) {
            if (onCompare) {
                onCompare(*d);
            }
            d->BitBtn2->click();
        } else if (auto* d = Take<TFormSelect>(modal)) {
            if (selectResult == 5) {
                d->RadioButton2->setChecked(true);
            }
            (selectResult != 0 ? d->BitBtn1 : d->BitBtn2)->click();
        }
    }

public:
    // Accepts the file dialog with path typed as the name; empty: the name it proposes.
    static void Choose(QFileDialog& dialog, const std::string& path = {}) {
        // Typed as an operator types it: selectFile leaves a focused name field alone.
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        if (!path.empty() && name) {
            name->setText(QString::fromStdString(path));
        }
        static_cast<QDialog&>(dialog).accept();
    }

    static void Confirm(TFormConfig& editor) {
        (editor.BitBtn14->isVisible() ? editor.BitBtn14 : editor.BitBtn5)->click();
    }

private:
    QTimer timer_;
};
