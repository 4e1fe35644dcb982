#include "app/Question.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QWindow>
#include <algorithm>

#include "app/Formsize.h"
#include "app/Suplfunc.h"

namespace {

constexpr int ButtonWidth = 68;
constexpr int ButtonHeight = 25;
constexpr int LabelHeight = 20;
constexpr int LabelMargin = 14;  // the labels are this much narrower than the form
constexpr int TextPadding = 12;  // free room beside the widest line, both sides together

QLabel* MakeLine(QWidget* parent, int top) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setGeometry(LabelMargin / 2, top, 100, LabelHeight);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, int left) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(left, 43, ButtonWidth, ButtonHeight);
    button->setAutoDefault(true);  // Enter presses the focused button
    return button;
}

}  // namespace

TFormQues::TFormQues(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xD4, 0xD4, 0xD4));  // 13948116
    setPalette(palette);
    setAutoFillBackground(true);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label1 = MakeLine(Panel1, 12);
    Label1->setText("Нет связи с устройством.");
    Label2 = MakeLine(Panel1, 38);
    Label2->setText("Попробуйте установить параметры связи");
    Label3 = MakeLine(Panel1, 64);
    Label3->setText(Label2->text());
    BitBtn1 = MakeButton(Panel1, "Да", 96);
    BitBtn3 = MakeButton(Panel1, QString(), 196);
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    BitBtn2 = MakeButton(Panel1, "Нет", 293);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormQues::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormQues::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TFormQues::BitBtn3Click);
}

void TFormQues::showEvent(QShowEvent* event) {
    FormShow();
    // An empty title would get the program's name from the platform; a blank stays blank.
    if (windowTitle().isEmpty() && windowHandle()) {
        windowHandle()->setTitle(" ");
    }
    QDialog::showEvent(event);
}

int TFormQues::WidthNeeded() const {
    const QFontMetrics metrics(font());
    int lines = 0;
    for (const QLabel* label : {Label1, Label2, Label3}) {
        lines = std::max(lines, metrics.horizontalAdvance(label->text()));
    }
    return lines + LabelMargin + TextPadding;
}

void TFormQues::FormShow() {
    const bool second = !Label2->text().isEmpty();
    const bool third = !Label3->text().isEmpty();
    int height = 170, buttonTop = 100;
    if (!second && !third) {
        height = 118;
        buttonTop = 43;
    } else if (!third) {
        height = 140;
        buttonTop = 70;
    }
    const auto longest = std::max({windowTitle().size(), Label1->text().size(),
                                   Label2->text().size(), Label3->text().size()});
    int width = static_cast<int>(longest) * 8 + 10;
    width = std::max(width, BitBtn1->width() + BitBtn2->width() + 60);
    buttonTop_ = buttonTop;
    // The rule above counts characters; the font decides what they need.
    SetOuterSize(this, QSize(width, height), QSize(WidthNeeded(), 0));
    LayOut();
    QuestionAnswer = 0;
    (!BitBtn1->isHidden() ? BitBtn1 : BitBtn3)->setFocus();
}

// The panel fills the client area, which is the outer size less the frame.
void TFormQues::LayOut() {
    const int width = this->width();
    Panel1->setGeometry(rect());
    for (QLabel* label : {Label1, Label2, Label3}) {
        label->setGeometry(LabelMargin / 2, label->y(), width - LabelMargin, LabelHeight);
    }
    for (QPushButton* button : {BitBtn1, BitBtn2, BitBtn3}) {
        button->move(button->x(), buttonTop_);
    }
    if (!BitBtn3->isHidden()) {
        BitBtn3->move((width - BitBtn3->width()) / 2, buttonTop_);
    } else {
        const int gap = (width - BitBtn1->width() - BitBtn2->width()) / 3 - 3;
        BitBtn1->move(gap, buttonTop_);
        BitBtn2->move(BitBtn1->x() + BitBtn1->width() + gap, buttonTop_);
    }
}

void TFormQues::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOut();
}

void TFormQues::BitBtn1Click() {
    QuestionAnswer = 1;
    accept();
}

void TFormQues::BitBtn2Click() {
    QuestionAnswer = 0;
    reject();
}

void TFormQues::BitBtn3Click() {
    accept();
}
