#include "app/Suplfunc.h"

#include <QApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

#include "app/Question.h"
#include "link/Screen.h"

int MessageKind = 0;
int QuestionAnswer = 0;

namespace {

struct KindLayout {
    const char* caption;
    bool question;
    const char* third;
};

// The caption, buttons and third line of each kind; nullptr for a kind without one.
const KindLayout* LayoutOf(int kind) {
    static const KindLayout error{"Ошибка", false, ""};
    static const KindLayout inputError{"Ошибка ввода параметров", false, ""};
    static const KindLayout question{"", true, ""};
    static const KindLayout exchange{"Результат обмена с устройством", false, ""};
    static const KindLayout notice{"", false, ""};
    static const KindLayout retry{"", true, "Повторить попытку?"};
    switch (kind) {
        case MessageError:
            return &error;
        case MessageInputError:
            return &inputError;
        case MessageQuestion:
            return &question;
        case MessageExchangeResult:
            return &exchange;
        case MessageNotice:
            return &notice;
        case MessageRetry:
            return &retry;
        default:
            return nullptr;
    }
}

}  // namespace

void ShowMessageDialog(const QString& first, const QString& second) {
    TFormQues dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QString());
    dialog.BitBtn1->hide();
    dialog.BitBtn2->hide();
    dialog.BitBtn3->show();
    dialog.Label3->clear();
    if (const KindLayout* layout = LayoutOf(MessageKind)) {
        dialog.setWindowTitle(layout->caption);
        dialog.Label1->setText(first);
        dialog.Label2->setText(second);
        dialog.Label3->setText(layout->third);
        if (layout->question) {
            dialog.BitBtn1->show();
            dialog.BitBtn2->show();
            dialog.BitBtn3->hide();
        }
    }
    dialog.exec();
}

void ShowMessageDialog(const std::string& first, const std::string& second) {
    ShowMessageDialog(QString::fromStdString(first), QString::fromStdString(second));
}

bool InstallQtTranslation() {
    static QTranslator texts;
    if (!texts.isEmpty()) {
        return true;
    }
    if (!texts.load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    return QCoreApplication::installTranslator(&texts);
}
