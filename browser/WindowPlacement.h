// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a window stands on the screen, kept and stored by its outer bounds (the frame included).

#include <QObject>
#include <QRect>

class QWidget;
struct SettingsRecord;

/// Puts a window at outer bounds and stores the bounds it has, whatever its state: whether it is
/// maximised is not kept. The frame is known only once the window is shown, so the bounds are applied
/// again then.
class WindowPlacement : public QObject {
    Q_OBJECT
public:
    explicit WindowPlacement(QWidget& window);

    void place(const QRect& outerBounds);
    /// Takes each stored edge and size that is there, on its own; the others stay as placed. Bounds
    /// whose title area would show on no screen enough to be grabbed (another screen layout, a damaged
    /// store) are moved onto the primary screen, as near to where they were as it allows.
    void applySettings(const SettingsRecord& stored);
    void storeSettings(SettingsRecord& record) const;

    /// The bounds moved onto the primary screen when their title area of `titleHeight` would show on no
    /// screen enough to be grabbed; all others as they are.
    static QRect reachableBounds(const QRect& bounds, int titleHeight);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    QWidget& window_;
    QRect bounds_;
    bool settled_ = false;
};
