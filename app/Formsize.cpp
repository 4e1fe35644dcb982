#include "app/Formsize.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

QMargins FrameOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

// The window manager's part of the title bar: icon, buttons and the gaps between.
constexpr int TitleBarControls = 96;

// What the caption needs: title fonts are often bold, so it is measured so.
int CaptionWidth(const QWidget* window) {
    if (window->windowTitle().isEmpty()) {
        return 0;
    }
    QFont bold = window->font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(window->windowTitle()) + TitleBarControls;
}

void Apply(QWidget* window, QSize outer, QSize leastClient, QMargins frame) {
    QSize client = outer.shrunkBy(frame).expandedTo(leastClient);
    client.setWidth(std::max(client.width(), CaptionWidth(window) - frame.left() - frame.right()));
    // A font wider than the one the size was made for must not cut texts off.
    if (const QLayout* layout = window->layout()) {
        client.setWidth(std::max(client.width(), layout->minimumSize().width()));
        client.setHeight(std::max(client.height(), layout->minimumSize().height()));
    }
    window->setFixedSize(client);
    if (const QScreen* shown = window->screen()) {
        const QSize whole = client.grownBy(frame);
        window->move(shown->geometry().center() - QPoint(whole.width() / 2, whole.height() / 2));
    }
}

// Watches one window (and its platform window, for the expose that follows the frame)
// and sizes it again when its frame has changed.
class FrameWatch final : public QObject {
public:
    static constexpr char Name[] = "FrameWatch";

    explicit FrameWatch(QWidget* window) : QObject(window), window_(window) {
        setObjectName(Name);
        window->installEventFilter(this);
    }

    void Size(QSize outer, QSize leastClient) {
        outer_ = outer;
        leastClient_ = leastClient;
        frame_ = FrameOf(window_);
        WatchHandle();
        Apply(window_, outer_, leastClient_, frame_);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Show:
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Expose:
            case QEvent::WindowActivate:
                WatchHandle();
                if (window_ && FrameOf(window_) != frame_) {
                    frame_ = FrameOf(window_);
                    Apply(window_, outer_, leastClient_, frame_);
                }
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void WatchHandle() {
        QWindow* handle = window_ ? window_->windowHandle() : nullptr;
        if (handle && handle != handle_) {
            handle_ = handle;
            handle->installEventFilter(this);
        }
    }

    QPointer<QWidget> window_;
    QPointer<QWindow> handle_;
    QSize outer_;
    QSize leastClient_;
    QMargins frame_;
};

}  // namespace

void SetOuterSize(QWidget* window, QSize outer, QSize leastClient) {
    // Without a meta-object of its own the watch is found by its name.
    auto* watch = static_cast<FrameWatch*>(
        window->findChild<QObject*>(FrameWatch::Name, Qt::FindDirectChildrenOnly));
    if (!watch) {
        watch = new FrameWatch(window);
    }
    watch->Size(outer, leastClient);
}
