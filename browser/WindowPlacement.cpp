// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/WindowPlacement.h"

#include "browser/SettingsRecord.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

/// The height of a title bar where the window has no frame yet to measure.
constexpr int kTitleHeight = 24;
/// How much of the title area must lie on a screen for the pointer to grab it.
constexpr int kGrabWidth = 64;
constexpr int kGrabHeight = 10;

} // namespace

WindowPlacement::WindowPlacement(QWidget& window) : QObject(&window), window_(window)
{
    window_.installEventFilter(this);
}

void WindowPlacement::place(const QRect& outerBounds)
{
    bounds_ = outerBounds;
    apply();
}

void WindowPlacement::apply()
{
    // Sizes from a damaged store must still give a window that can be seen and handled.
    const auto clampSize = [](int v) { return std::clamp(v, 1, 32767); };
    const QSize frame = window_.frameGeometry().size() - window_.geometry().size();
    window_.move(bounds_.topLeft());
    window_.resize(clampSize(bounds_.width() - frame.width()), clampSize(bounds_.height() - frame.height()));
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    // The frame is known only once the window is shown; the stored bounds include it.
    if (watched == &window_ && event->type() == QEvent::Show && !settled_) {
        settled_ = true;
        apply();
    }
    return false;
}

void WindowPlacement::applySettings(const SettingsRecord& stored)
{
    QRect bounds = bounds_;
    if (stored.left)
        bounds.moveLeft(*stored.left);
    if (stored.top)
        bounds.moveTop(*stored.top);
    if (stored.height)
        bounds.setHeight(*stored.height);
    if (stored.width)
        bounds.setWidth(*stored.width);
    const int frameTop = window_.geometry().top() - window_.frameGeometry().top();
    place(reachableBounds(bounds, frameTop > 0 ? frameTop : kTitleHeight));
}

void WindowPlacement::storeSettings(SettingsRecord& record) const
{
    const QRect outer = window_.frameGeometry();
    record.top = outer.top();
    record.left = outer.left();
    record.height = outer.height();
    record.width = outer.width();
}

QRect WindowPlacement::reachableBounds(const QRect& bounds, int titleHeight)
{
    const QRect title(bounds.left(), bounds.top(), bounds.width(), titleHeight);
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        const QRect shown = screen->availableGeometry().intersected(title);
        if (shown.width() >= std::min(kGrabWidth, bounds.width()) &&
            shown.height() >= std::min(kGrabHeight, titleHeight))
            return bounds;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return bounds;
    const QRect area = primary->availableGeometry();
    QRect moved = bounds;
    moved.moveLeft(std::clamp(bounds.left(), area.left(), std::max(area.left(), area.right() + 1 - bounds.width())));
    moved.moveTop(std::clamp(bounds.top(), area.top(), std::max(area.top(), area.bottom() + 1 - bounds.height())));
    return moved;
}
