#pragma once
// About the program: its name, version and year.
#include <QDialog>

class QPushButton;

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);

    QPushButton* BitBtn1;

protected:
    void showEvent(QShowEvent* event) override;
};
