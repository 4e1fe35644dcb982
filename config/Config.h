#pragma once
// The configuration editor: the 254 flow computers on the left, the upper-level link
// parameters and the modem initialisation string on the right. It edits the caller's
// record and never talks to the device: the caller reads before and writes after.
#include <QDialog>
#include <array>
#include <cstdint>
#include <vector>

#include "config/Configdiff.h"
#include "config/Configrecord.h"

class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QTableWidget;

// Device mode offers the rates the device reports and writes to it; file mode edits a
// configuration file and offers every rate.
enum class ConfigEditorMode { Device, File };

class TFormConfig : public QDialog {
    Q_OBJECT
public:
    // record: edited in place; left as it was unless confirmed.
    // hideIdent: no identification button (the caller has just read the device).
    // upperLevelMask, flowComputerMask: table 1 fields 0 and 1, used in device mode only.
    // telephoneLink: the link runs through a modem, so the upper-level rate is locked.
    TFormConfig(ConfigRecord& record, ConfigEditorMode mode, bool hideIdent,
                uint32_t upperLevelMask, uint32_t flowComputerMask, bool telephoneLink,
                QWidget* parent = nullptr);

    // The record the edit is measured against (the file as first opened, when the editor
    // is shown again over edits not yet saved); by default the record as shown. Marks, the
    // change list and Changed compare with it.
    void SetOriginal(const ConfigRecord& original);
    // What the change list names as the start of the edit.
    QString ChangesAgainst;
    // The caller writes only what differs from the original: with nothing changed there is
    // nothing to confirm before the write, and no change list is shown.
    bool WritesOnlyChanges = false;

    // The fields that the edit, as it stands in the controls, changes; in the editor's words.
    std::vector<ConfigDifference> Edits() const;
    // Something has been edited and not confirmed: a field is marked.
    bool Unsaved() const { return marked_ > 0; }

    // Outputs, read after the dialog closes.
    int Accepted = 0;  // 1: confirmed with every check passed
    int Changed = 0;   // 1: the confirmed record differs from the original

    QWidget* Panel1;  // background; button face while a nested dialog is up

    QLabel* Label1;  // title of the flow computer list
    QLabel* Panel2;  // column headers
    QLabel* Panel3;
    QLabel* Panel4;
    QLabel* Panel5;
    QTableWidget* StringGrid1;
    QPushButton* BitBtn3;  // Изменить
    QPushButton* BitBtn4;  // Отключить все вычислители

    QPushButton* BitBtn24;  // identification, picture only
    QLabel* Label34;

    QGroupBox* GroupBox1;  // Параметры связи
    QLabel* Label4;
    QComboBox* ComboBox1;  // upper-level rate
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* Edit2;  // preambles in the reply to the upper level
    QLabel* Label5;
    QLabel* Label6;
    QLineEdit* Edit3;  // preambles in a request to a flow computer
    QLabel* Label7;
    QLabel* Label8;
    QLineEdit* Edit4;  // reply wait from a flow computer
    QLabel* Label11;
    QLabel* Label9;
    QComboBox* ComboBox3;  // wait for preambles
    QLabel* Label10;
    QComboBox* ComboBox2;  // priority
    QLabel* Label14;
    QLabel* Label15;
    QComboBox* ComboBox4;  // retry delay
    QLabel* Label12;
    QLabel* Label13;
    QComboBox* ComboBox5;  // RTS control, software versions 5 and 6

    QGroupBox* GroupBox2;  // Строка инициализации модема
    QLineEdit* Edit1;

    QPushButton* BitBtn14;  // Записать в устройство (device mode)
    QPushButton* BitBtn5;   // Принять (file mode)
    QPushButton* BitBtn2;   // Выход

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildFlowComputerList();
    void BuildLinkParameters();
    void BuildLayout();

    void FormShow();
    void FillRateList();
    void FillRow(int address);
    bool HasRtsControl() const;
    bool CheckInput(std::array<uint8_t, ModemTable.Bytes()>& modem);
    // Puts the values of the controls into record; the modem string checked by CheckInput.
    void StoreInput(ConfigRecord& record, const std::array<uint8_t, ModemTable.Bytes()>& modem);
    // The record with what the controls hold wherever that is a value the record can take.
    ConfigRecord EditedRecord() const;
    // The controls whose text is no value the record can take.
    bool InvalidInput(const QWidget* control) const;
    void UpdateMarks();
    void MarkControl(QWidget* control, bool changed, const std::string& was);
    void MarkRow(int address, bool changed, const std::string& was);
    bool ConfirmWrite(const ConfigRecord& edited);
    bool LeaveAgreed();
    void BitBtn14Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void StringGrid1DblClick();
    void BitBtn4Click();
    void BitBtn24Click();
    bool EditIntKeyPress(const QKeyEvent* key) const;
    void SetBackground(bool nested);

    ConfigRecord& Record;
    ConfigRecord Shown;     // as shown: what leaving without confirming gives back
    ConfigRecord Snapshot;  // the original
    bool hasOriginal_ = false;
    bool showing_ = false;
    int marked_ = 0;
    ConfigEditorMode Mode;
    bool HideIdent;
    uint32_t UpperLevelMask;
    uint32_t FlowComputerMask;
    bool TelephoneLink;
};
