#pragma once
// Every notice, error and yes/no question of the program goes through the one message
// dialog: the caller sets MessageKind, passes two lines and reads QuestionAnswer.
#include <QString>
#include <string>

// One of MessageKinds (link/Screen.h); keeps its value between calls.
extern int MessageKind;
// 1 after Да; 0 after Нет, the acknowledge button or closing the dialog otherwise.
extern int QuestionAnswer;

void ShowMessageDialog(const QString& first, const QString& second);
void ShowMessageDialog(const std::string& first, const std::string& second);

// Qt's own dialogs and context menus (file dialogs, edit menus) in Russian, from Qt's
// translations; false when they are not installed.
bool InstallQtTranslation();
