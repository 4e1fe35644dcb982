#pragma once
// The identification view: the 17 bytes of an IdentBlock as nine read-only rows. Full
// mode shows every row; reduced mode is for a record that holds only a type code and a
// software version class, so it shows those two and greys the rest.
#include <QDialog>
#include <array>
#include <cstdint>

#include "config/Devicetables.h"

class QLabel;
class QPushButton;
class QShowEvent;

class TFormIdent : public QDialog {
    Q_OBJECT
public:
    // ident: the 17-byte IdentBlock, copied here; null shows every value empty.
    // fullMode: false for a record that was not read from a device.
    TFormIdent(const uint8_t* ident, bool fullMode, QWidget* parent = nullptr);

    // Captions, right-aligned; a row's caption may take two or three of them.
    QLabel* Label9;   // type code
    QLabel* Label4;   // hardware version
    QLabel* Label1;   // software version
    QLabel* Label6;   // build date
    QLabel* Label2;   // byte order
    QLabel* Label3;   // destroyed table
    QLabel* Label8;   // different baud rates, line 1
    QLabel* Label5;   // line 2
    QLabel* Label7;   // changeable address, line 1
    QLabel* Label10;  // line 2
    QLabel* Label11;  // protocol version, line 1
    QLabel* Label12;  // line 2
    QLabel* Label13;  // line 3

    // Value fields, in row order; their texts are set each time the dialog is shown.
    QLabel* Panel13;
    QLabel* Panel7;
    QLabel* Panel8;
    QLabel* Panel11;
    QLabel* Panel9;
    QLabel* Panel10;
    QLabel* Panel15;
    QLabel* Panel16;
    QLabel* Panel18;

    QPushButton* BitBtn2;  // Выход

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void ShowFull();
    void ShowReduced();
    void BitBtn2Click();

    std::array<uint8_t, IdentTable.Bytes()> Ident{};
    bool IdentGiven;
    bool FullMode;
};
