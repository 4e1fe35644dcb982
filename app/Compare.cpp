#include "app/Compare.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/Formsize.h"
#include "app/Suplfunc.h"
#include "config/Cnffile.h"
#include "config/Configdiff.h"
#include "config/Filestore.h"
#include "link/Screen.h"

namespace {

constexpr QSize OuterSize(900, 600);
const QColor DifferentColour(255, 226, 150);
constexpr const char* SideNames[] = {"A", "B"};

QString HistoryItemText(const HistoryEntry& entry) {
    QString text = QString::fromStdString(entry.Time + "  " + entry.Event + "  " + entry.Place) +
                   QString("  версия ПО %1").arg(entry.SoftwareVersion);
    if (!entry.Changed.empty()) {
        text += "  (" + QString::fromStdString(entry.Changed) + ")";
    }
    return text;
}

QString HistoryName(const HistoryEntry& entry) {
    return QString::fromStdString("история: " + entry.Time + ", " + entry.Event + ", " +
                                  entry.Place + " (" + entry.File + ")");
}

}  // namespace

TFormCompare::TFormCompare(Source readDevice, Source openFile, std::string historyFolder,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      readDevice_(std::move(readDevice)),
      openFile_(std::move(openFile)),
      historyFolder_(std::move(historyFolder)) {
    setWindowTitle("Сравнение конфигураций");
    history_ = ReadHistoryIndex(historyFolder_);
    std::reverse(history_.begin(), history_.end());

    auto* sides = new QGridLayout;
    sides->setColumnStretch(1, 1);
    for (int side = 0; side < 2; ++side) {
        auto* list = new QComboBox(this);
        list->addItem("Устройство");
        list->addItem("Файл конфигурации...");
        for (const HistoryEntry& entry : history_) {
            list->addItem(HistoryItemText(entry));
        }
        list->setCurrentIndex(-1);
        list->setPlaceholderText("Выберите конфигурацию");
        list->setMinimumContentsLength(40);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        if (!readDevice_) {
            // Offered only while a device is connected.
            list->setItemData(ChoiceDevice, 0, Qt::UserRole - 1);
        }
        connect(list, &QComboBox::activated, this, [this, side](int item) { Choose(side, item); });
        ComboBoxes[side] = list;
        Sources[side] = new QLabel(this);
        Sources[side]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        sides->addWidget(new QLabel(QString("Конфигурация %1:").arg(SideNames[side]), this),
                         side * 2, 0);
        sides->addWidget(list, side * 2, 1);
        sides->addWidget(Sources[side], side * 2 + 1, 1);
    }

    StringGrid1 = new QTableWidget(0, 3, this);
    StringGrid1->setHorizontalHeaderLabels({"Параметр", "A", "B"});
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setWordWrap(false);
    // The captions take what they need; the two values share the rest alike.
    StringGrid1->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    StringGrid1->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    StringGrid1->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(StringGrid1->fontMetrics().height() + 6);

    CheckBox1 = new QCheckBox("Только различия", this);
    LabelSummary = new QLabel(this);
    BitBtnSave =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), "Сохранить...", this);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "Закрыть", this);
    for (QPushButton* button : {BitBtnSave, BitBtn2}) {
        button->setAutoDefault(false);
        button->setMinimumSize(110, 27);
    }
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CheckBox1);
    bottom->addSpacing(16);
    bottom->addWidget(LabelSummary, 1);
    bottom->addWidget(BitBtnSave);
    bottom->addSpacing(12);
    bottom->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sides);
    layout->addWidget(StringGrid1, 1);
    layout->addLayout(bottom);

    connect(CheckBox1, &QCheckBox::toggled, this, &TFormCompare::ShowRows);
    connect(BitBtnSave, &QPushButton::clicked, this, &TFormCompare::Save);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::accept);
    Fill();
}

void TFormCompare::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        SetOuterSize(this, OuterSize);
    }
    QDialog::showEvent(event);
}

void TFormCompare::Choose(int side, int item) {
    ConfigRecord record{};
    QString name;
    bool had = false;
    if (item == ChoiceDevice) {
        had = readDevice_ && readDevice_(record, name);
    } else if (item == ChoiceFile) {
        had = openFile_ && openFile_(record, name);
    } else if (item >= FirstHistoryChoice &&
               item - FirstHistoryChoice < static_cast<int>(history_.size())) {
        const HistoryEntry& entry = history_[static_cast<size_t>(item - FirstHistoryChoice)];
        const std::string path = (std::filesystem::path(historyFolder_) / entry.File).string();
        FileNotice notice;
        had = ReadConfigFile(path, record, notice);
        if (!had) {
            MessageKind = notice.Error ? MessageError : MessageNotice;
            ShowMessageDialog(notice.Line1, notice.Line2);
        }
        name = HistoryName(entry);
    }
    if (!had) {
        // The side keeps what it showed.
        ComboBoxes[side]->setCurrentIndex(loaded_[side] ? ComboBoxes[side]->currentIndex() : -1);
        return;
    }
    ComboBoxes[side]->setCurrentIndex(item);
    SetSide(side, record, name);
}

void TFormCompare::SetSide(int side, const ConfigRecord& record, const QString& name) {
    records_[side] = record;
    loaded_[side] = true;
    names_[side] = name;
    Sources[side]->setText(name);
    Fill();
}

void TFormCompare::Fill() {
    differing_.clear();
    StringGrid1->setRowCount(0);
    const bool both = loaded_[0] && loaded_[1];
    BitBtnSave->setEnabled(both);
    if (!loaded_[0] && !loaded_[1]) {
        LabelSummary->setText("Выберите конфигурации A и B");
        return;
    }
    const bool rts =
        (loaded_[0] && HasRtsControl(records_[0])) || (loaded_[1] && HasRtsControl(records_[1]));
    std::array<std::vector<ConfigLine>, 2> lines;
    for (int side = 0; side < 2; ++side) {
        if (loaded_[side]) {
            lines[side] = DescribeConfig(records_[side], rts);
        }
    }
    if (both) {
        for (const ConfigDifference& d : CompareConfigs(records_[0], records_[1])) {
            differing_.push_back(d.Caption);
        }
    }
    const std::vector<ConfigLine>& captions = loaded_[0] ? lines[0] : lines[1];
    StringGrid1->setRowCount(static_cast<int>(captions.size()));
    QFont bold = StringGrid1->font();
    bold.setBold(true);
    for (size_t row = 0; row < captions.size(); ++row) {
        const bool differs = std::find(differing_.begin(), differing_.end(),
                                       captions[row].Caption) != differing_.end();
        const QString texts[] = {
            QString::fromStdString(captions[row].Caption),
            loaded_[0] ? QString::fromStdString(lines[0][row].Value) : QString(),
            loaded_[1] ? QString::fromStdString(lines[1][row].Value) : QString()};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (differs) {
                item->setFont(bold);
                item->setBackground(DifferentColour);
            }
            item->setData(Qt::UserRole, differs);
            StringGrid1->setItem(static_cast<int>(row), column, item);
        }
    }
    if (!both) {
        LabelSummary->setText(QString("Выберите конфигурацию %1").arg(SideNames[loaded_[0]]));
    } else if (differing_.empty()) {
        LabelSummary->setText("Конфигурации совпадают");
    } else {
        LabelSummary->setText(QString("Различий: %1").arg(differing_.size()));
    }
    ShowRows();
}

void TFormCompare::ShowRows() {
    const bool onlyDifferences = CheckBox1->isChecked();
    for (int row = 0; row < StringGrid1->rowCount(); ++row) {
        const bool differs = StringGrid1->item(row, 0)->data(Qt::UserRole).toBool();
        StringGrid1->setRowHidden(row, onlyDifferences && !differs);
    }
}

QString TFormCompare::Text() const {
    QStringList text;
    text << "Сравнение конфигураций";
    for (int side = 0; side < 2; ++side) {
        text << QString("%1: %2").arg(SideNames[side], names_[side]);
    }
    if (!loaded_[0] || !loaded_[1]) {
        return text.join('\n') + '\n';
    }
    const std::vector<ConfigDifference> differences = CompareConfigs(records_[0], records_[1]);
    text << QString("Различий: %1").arg(differences.size()) << "";
    for (const std::string& line : DifferenceLines(differences)) {
        text << QString::fromStdString(line);
    }
    if (!CheckBox1->isChecked()) {
        text << ""
             << "Параметр | A | B";
        for (int row = 0; row < StringGrid1->rowCount(); ++row) {
            text << QString("%1 | %2 | %3")
                        .arg(StringGrid1->item(row, 0)->text(), StringGrid1->item(row, 1)->text(),
                             StringGrid1->item(row, 2)->text());
        }
    }
    return text.join('\n') + '\n';
}

bool TFormCompare::SaveTo(const std::string& path, bool replace) const {
    const QByteArray bytes = Text().toUtf8();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const auto size = static_cast<size_t>(bytes.size());
    return (replace ? ReplaceFile(path, data, size) : CreateNewFile(path, data, size)) ==
           ReplaceResult::Replaced;
}

// Nothing the engineer keeps is replaced without being asked.
void TFormCompare::Save() {
    const QString proposed = QString::fromStdString(ConfigDirectory()) + "/" +
                             QDateTime::currentDateTime().toString("'сравнение-'yyMMdd-HHmm'.txt'");
    QFileDialog dialog(this, "Сохранение сравнения конфигураций", proposed, "Текст (*.txt)");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return;
        }
        const std::string path = dialog.selectedFiles().first().toStdString();
        bool replace = NameTaken(path);
        if (replace) {
            MessageKind = MessageQuestion;
            ShowMessageDialog("Файл " + FileNameOf(path) + " уже есть.",
                              std::string("Вы хотите заменить существующий файл?"));
            if (QuestionAnswer == 0) {
                dialog.selectFile(QString::fromStdString(path));
                continue;
            }
        }
        if (SaveTo(path, replace)) {
            MessageKind = MessageNotice;
            ShowMessageDialog("Сравнение конфигураций", "сохранено в файле " + FileNameOf(path));
        } else {
            MessageKind = MessageError;
            ShowMessageDialog("Сравнение конфигураций не сохранено в файле", FileNameOf(path));
        }
        return;
    }
}
