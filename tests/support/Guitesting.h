#pragma once
// What the dialogs' tests check alike: a caption with room beside the title bar's
// controls (an icon and up to three buttons), measured in the bold that title fonts use.
#include <QFont>
#include <QFontMetrics>
#include <QWidget>

inline bool CaptionHasRoom(const QWidget& window) {
    QFont bold = window.font();
    bold.setBold(true);
    const int caption = QFontMetrics(bold).horizontalAdvance(window.windowTitle());
    return window.windowTitle().isEmpty() || window.frameGeometry().width() - caption >= 90;
}
