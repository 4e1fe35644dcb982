#include "app/About.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/Formsize.h"

namespace {

constexpr char ProgramVersion[] = "5.08";
constexpr char ProgramYear[] = "2026";

}  // namespace

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle("О программе");
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(96, 96));
    picture->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(
        "<h2>ЗАНТИР zrt16-mk</h2>"
        "<p>Программа обслуживания устройства параллельного доступа</p>",
        this);
    name->setAlignment(Qt::AlignCenter);
    name->setWordWrap(true);
    auto* version = new QLabel(QString("Версия %1<br>%2").arg(ProgramVersion, ProgramYear), this);
    version->setAlignment(Qt::AlignCenter);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    layout->addStretch();
    layout->addWidget(picture);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addStretch();
    layout->addWidget(BitBtn1, 0, Qt::AlignCenter);
}

void TFormAbout::showEvent(QShowEvent* event) {
    SetOuterSize(this, QSize(530, 528));
    QDialog::showEvent(event);
}
