#pragma once
// The software version a new configuration file is made for.
#include <QDialog>

class QPushButton;
class QRadioButton;

class TFormSelect : public QDialog {
    Q_OBJECT
public:
    explicit TFormSelect(QWidget* parent = nullptr);

    int Result = 0;  // 3 or 5; 0 when cancelled
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BitBtn1Click();
};
