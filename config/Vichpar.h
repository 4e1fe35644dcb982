#pragma once
// One flow computer's link parameters: whether it is connected, its port and its rate.
// The dialog edits a working copy and writes the entry back only on a valid confirm.
#include <QDialog>
#include <QSize>
#include <cstdint>

#include "config/Configrecord.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QShowEvent;

class TFormVichPar : public QDialog {
    Q_OBJECT
public:
    // entry: the address's unpacked entry in the caller's record, changed only on confirm.
    // rateMask: the baud codes the flow-computer ports have (table 1, field 1).
    TFormVichPar(FlowComputerRecord& entry, int address, uint32_t rateMask,
                 QWidget* parent = nullptr);

    QLabel* Label2;  // Адрес
    QLabel* Label3;  // the address
    QLabel* Label6;  // Подключение
    QCheckBox* CheckBox1;
    QLabel* Label1;  // Порт подключения
    QComboBox* ComboBox1;
    QLabel* Label4;  // Скорость обмена
    QComboBox* ComboBox2;
    QPushButton* BitBtn1;  // Принять
    QPushButton* BitBtn2;  // Отменить, also Escape

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void CheckBox1Click();
    void ComboBox1Change(int index);
    void ComboBox2Change(int index);
    void BitBtn1Click();

    FlowComputerRecord& Entry;
    FlowComputerRecord Working;
    int Address;
    uint32_t RateMask;
    int RatePosition = -1;  // of the working code in ComboBox2
};
