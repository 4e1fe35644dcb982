#include "app/Changes.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "app/Formsize.h"

namespace {

constexpr QSize OuterSize(640, 420);

QString Heading(size_t count, const QString& against, bool storedFormDiffers) {
    if (count == 0 && storedFormDiffers) {
        return "Значения параметров не отличаются от " + against +
               ", но хранятся иначе: они будут записаны в том виде, в каком их хранит программа.";
    }
    if (count == 0) {
        return "Параметры не отличаются от " + against + ".";
    }
    return QString("Изменено параметров: %1 (относительно %2).").arg(count).arg(against);
}

}  // namespace

TFormChanges::TFormChanges(const std::vector<ConfigDifference>& differences, const QString& against,
                           QWidget* parent, bool storedFormDiffers)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle("Запись в устройство: изменения");
    Label1 = new QLabel(Heading(differences.size(), against, storedFormDiffers), this);
    Label1->setWordWrap(true);
    ListBox1 = new QListWidget(this);
    ListBox1->setSelectionMode(QAbstractItemView::NoSelection);
    for (const std::string& line : DifferenceLines(differences)) {
        ListBox1->addItem(QString::fromStdString(line));
    }
    ListBox1->setVisible(!differences.empty());
    BitBtn1 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), "Записать", this);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Отмена", this);
    // Enter alone must not write: the operator reads the list and chooses.
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    for (QPushButton* button : {BitBtn1, BitBtn2}) {
        button->setMinimumSize(110, 27);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addSpacing(12);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ListBox1, 1);
    if (differences.empty()) {
        layout->addStretch(1);
    }
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        Confirmed = 1;
        accept();
    });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

QStringList TFormChanges::Lines() const {
    QStringList lines;
    for (int i = 0; i < ListBox1->count(); ++i) {
        lines << ListBox1->item(i)->text();
    }
    return lines;
}

void TFormChanges::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        SetOuterSize(this, !ListBox1->isHidden() ? OuterSize : QSize(OuterSize.width(), 160));
        BitBtn2->setFocus();
    }
    QDialog::showEvent(event);
}
