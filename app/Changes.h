#pragma once
// The change list shown before a write: every field that the edit changed, in the
// editor's words, "Caption: was → now", and the operator's word to write or to go back.
#include <QDialog>
#include <QStringList>
#include <vector>

#include "config/Configdiff.h"

class QLabel;
class QListWidget;
class QPushButton;

class TFormChanges : public QDialog {
    Q_OBJECT
public:
    // against: what the edit started from ("прочитанной из устройства", "файла x.cnf").
    // storedFormDiffers: no value differs, yet what is written is stored otherwise (a
    // modem string read without its carriage return).
    TFormChanges(const std::vector<ConfigDifference>& differences, const QString& against,
                 QWidget* parent = nullptr, bool storedFormDiffers = false);

    // 1 after Записать; 0 after Отмена, Escape or the close box.
    int Confirmed = 0;
    // The change lines as listed.
    QStringList Lines() const;

    QLabel* Label1;  // what the list is
    QListWidget* ListBox1;
    QPushButton* BitBtn1;  // Записать
    QPushButton* BitBtn2;  // Отмена

protected:
    void showEvent(QShowEvent* event) override;
};
