#include "app/Formsize.h"

#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

void SetOuterSize(QWidget* window, QSize outer) {
    QMargins frame;
    if (const QWindow* handle = window->windowHandle()) {
        frame = handle->frameMargins();
    }
    QSize client = outer.shrunkBy(frame);
    // A font wider than the one the size was made for must not cut texts off.
    if (const QLayout* layout = window->layout()) {
        client.setWidth(std::max(client.width(), layout->minimumSize().width()));
    }
    window->setFixedSize(client);
    if (const QScreen* shown = window->screen()) {
        const QSize whole = client.grownBy(frame);
        window->move(shown->geometry().center() - QPoint(whole.width() / 2, whole.height() / 2));
    }
}
