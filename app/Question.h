#pragma once
// The message dialog: up to three centred lines and either an acknowledge button or the
// Да and Нет buttons, sized to its texts.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TFormQues : public QDialog {
    Q_OBJECT
public:
    explicit TFormQues(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* BitBtn1;  // Да
    QPushButton* BitBtn3;  // acknowledge
    QPushButton* BitBtn2;  // Нет, also Escape

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormShow();
    void LayOut();
    // What the lines need at the dialog's font, frame left out; the caption is seen to
    // by the sizing.
    int WidthNeeded() const;
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    int buttonTop_ = 43;
};
