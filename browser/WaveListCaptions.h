// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the wave list: how its captions are sized, wrapped and painted, and how wide its columns start.

#include "browser/WaveListWidget.h"

#include <QFontMetrics>
#include <QString>
#include <QStyledItemDelegate>

/// The room above the icon of a large-icon item.
int iconItemTopGap(const QFontMetrics& metrics);

/// A caption broken onto two lines of the given width between words where the name has blanks,
/// dashes or underscores, else before its extension or after the last character that fits.
/// A second line that is still too long loses its middle, so the end of the name stays in sight.
QString twoLineCaption(const QString& text, const QFontMetrics& metrics, int width);

/// Sizes and paints the captions of the icon styles, shows the whole text of a cut caption as its
/// tooltip, and ends an in-place edit on Tab like on Enter: Tab would otherwise carry the edit on to
/// the next row.
class CaptionDelegate : public QStyledItemDelegate {
public:
    explicit CaptionDelegate(WaveListWidget* owner) : QStyledItemDelegate(owner), owner_(owner) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    /// Whether the text of an item shows cut (elided) in its view as laid out now.
    bool isElided(const QStyleOptionViewItem& option, const QModelIndex& index) const;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    WaveListWidget* owner_;
};
