#pragma once
// The table-state dialog: the configuration tables, whether the device reports each one
// destroyed, and the operator's choice of tables to write back from a configuration file.
// It only collects the choice; the caller does the writing.
#include <QDialog>
#include <array>

#include "config/Tablestate.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QShowEvent;

class TFormTableInfo : public QDialog {
    Q_OBJECT
public:
    // set: ConfigTables and RestoreRequired filled, WriteTables zero; the dialog fills
    // WriteTables. telephoneLink: nothing may be written over a modem call.
    TFormTableInfo(TableStateSet& set, bool telephoneLink, QWidget* parent = nullptr);

    enum Results { WriteNothing = 0, WriteSelected = 1, WriteAll = 2 };
    int Result = WriteNothing;  // read after the modal run

    static constexpr int RowSlots = 5;

    QLabel* Label1;  // "Наименование таблицы"
    QLabel* Label2;  // "Разру-"
    QLabel* Label3;  // "шена"
    QLabel* Label4;  // "Записать"
    QLabel* Label5;  // "таблицу"
    QScrollArea* ScrollBox1;
    // Row slot n: the table's name, whether it is destroyed, whether to write it.
    QLabel *pn1, *pn2, *pn3, *pn4, *pn5;
    QLabel *pw1, *pw2, *pw3, *pw4, *pw5;
    QCheckBox *cb1, *cb2, *cb3, *cb4, *cb5;
    QPushButton* BitBtn1;  // Записать все таблицы
    QPushButton* BitBtn3;  // Записать избранные таблицы
    QPushButton* BitBtn2;  // Выход

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct RowSlot {
        QLabel* Name;
        QLabel* State;
        QCheckBox* Write;
        int Table;  // -1 while the slot is unused
    };

    void FormShow();
    void ShowRow(RowSlot& row, int table);
    void ClearRow(RowSlot& row);
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    TableStateSet& Set;
    const bool TelephoneLink;
    std::array<RowSlot, RowSlots> Rows;
};
