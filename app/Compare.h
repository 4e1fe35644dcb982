#pragma once
// Two configurations side by side, field by field in the editor's words: each side the
// connected device, a configuration file or an entry of the history. The fields that
// differ are marked; the comparison may be saved as text.
#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "config/Configrecord.h"
#include "config/History.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

class TFormCompare : public QDialog {
    Q_OBJECT
public:
    // Fills the record and names where it came from; false when nothing was had (told by
    // the function itself, or cancelled).
    using Source = std::function<bool(ConfigRecord& record, QString& name)>;

    // readDevice: the connected device's configuration; none when no device is connected.
    // openFile: a configuration file the operator chooses. historyFolder: whose index lists
    // the history entries.
    TFormCompare(Source readDevice, Source openFile, std::string historyFolder,
                 QWidget* parent = nullptr);

    // The choices of each side, in the order of the lists.
    enum Choice { ChoiceDevice = 0, ChoiceFile = 1, FirstHistoryChoice = 2 };
    // Takes side 0 (A) or 1 (B) from item of its list, as the operator's choice does.
    void Choose(int side, int item);
    // Puts record on a side as if chosen.
    void SetSide(int side, const ConfigRecord& record, const QString& name);
    // The history entries offered, newest first.
    const std::vector<HistoryEntry>& HistoryEntries() const { return history_; }

    // The comparison as text: where A and B came from, the differences, and (unless only
    // the differences are shown) every field.
    QString Text() const;
    // Writes Text() in UTF-8; an existing file only with replace. False when not written.
    bool SaveTo(const std::string& path, bool replace) const;
    // Rows that differ, by their caption.
    int Differences() const { return static_cast<int>(differing_.size()); }

    std::array<QComboBox*, 2> ComboBoxes{};  // A, B: what each side shows
    std::array<QLabel*, 2> Sources{};        // where each side came from
    QTableWidget* StringGrid1;               // Параметр | A | B
    QCheckBox* CheckBox1;                    // Только различия
    QLabel* LabelSummary;
    QPushButton* BitBtnSave;  // Сохранить...
    QPushButton* BitBtn2;     // Закрыть

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void ShowRows();
    void Save();

    Source readDevice_;
    Source openFile_;
    std::string historyFolder_;
    std::vector<HistoryEntry> history_;
    std::array<ConfigRecord, 2> records_{};
    std::array<bool, 2> loaded_{};
    std::array<QString, 2> names_;
    std::vector<std::string> differing_;  // captions
};
