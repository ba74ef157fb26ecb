// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wave list control: one row model shown in four view styles. The three icon styles use one
// QListView, details a QTreeView; both share the model and the selection, and the one in use
// stands in the control's place.

#include "browser/WaveListModel.h"
#include "browser/WaveFilter.h"

#include <QCursor>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStackedWidget>
#include <QUrl>
#include <functional>
#include <vector>

class QAbstractItemView;
class QDrag;
class QDropEvent;
class QItemSelectionModel;
class QMimeData;
class QListView;
class QTreeView;

class WaveListWidget : public QStackedWidget {
    Q_OBJECT
public:
    enum ViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

    explicit WaveListWidget(QWidget* parent = nullptr);

    WaveListModel* model() const { return model_; }
    /// All rows, shown or not. Rows are always counted as the model holds them; the filter only hides.
    int rowCount() const { return model_->rowCount(); }

    /// Hides the rows that do not pass the filter typed (see WaveFilter); an empty text shows all. A selected
    /// row it hides loses the selection, and gets it back from a later filter that shows it again.
    void setFilterText(const QString& typed);
    QString filterText() const { return filter_->typed(); }
    const WaveFilterModel* filterModel() const { return filter_; }
    /// The rows shown, in order: their number, the model row shown at a place, the place of a model
    /// row (-1 when hidden) and the first place showing a model row at or after the given one.
    int visibleRowCount() const;
    int visibleRow(int place) const;
    int placeOfRow(int row) const;
    int firstPlaceFrom(int row) const;

    ViewStyle viewStyle() const { return style_; }
    void setViewStyle(ViewStyle style);

    /// Which measure columns the details view shows: bit 0 loudness, 1 peak, 2 tempo, 3 pitch. All are
    /// hidden at first; the header's context menu shows and hides them.
    unsigned shownMeasures() const;
    void setShownMeasures(unsigned mask);
    /// The model rows the view in use shows on screen now, top to bottom.
    std::vector<int> rowsOnScreen() const;

    /// The selected row, -1 when none.
    int selectedRow() const;
    /// Makes the row the selected and focused row and scrolls it fully into view; nothing for a hidden row.
    void selectRow(int row);
    /// Whether the list (the view in use) holds the keyboard focus.
    bool hasListFocus() const;
    /// Gives the view in use the keyboard focus.
    void focusList();
    /// Starts the in-place edit of a row's caption.
    void editRow(int row);
    /// Whether a caption is being edited in place.
    bool isEditing() const;
    /// Whether a drag of a row is in progress.
    bool isDragging() const;

    /// The file a row stands for, as other programs address it; a dragged row carries it.
    std::function<QUrl(int row)> rowUrl;
    /// What a drag of a row carries: the row, marked as coming from this list, and its file's URL.
    QMimeData* rowMimeData(int row) const;
    /// Whether a drop comes from a drag of this list's rows.
    bool isOwnDrag(const QDropEvent* event) const;
    /// The pointer shown while a row is dragged over a target that accepts it.
    void setDragCursor(const QCursor& cursor);
    QCursor dragCursor() const { return dragCursor_; }
    /// Drags the selected row (the views' automatic drag lands here).
    void startRowDrag(QAbstractItemView* view);

    /// The text shown in the status bar while the pointer is over the list.
    void setHint(const QString& hint);
    QString hint() const { return hint_; }
    /// The pointer over the rows; unsetListCursor() goes back to the arrow.
    void setListCursor(const QCursor& cursor);
    void unsetListCursor();
    QCursor listCursor() const;

    QAbstractItemView* currentView() const;
    QListView* listView() const { return list_; }
    QTreeView* detailView() const { return details_; }

    /// The size of every item of the icon styles: large icons hold two lines of caption under the
    /// icon, small icons and list one line as wide as the widest caption (up to about 40 characters).
    QSize itemSize() const { return itemSize_; }

signals:
    /// A row changed: its data, the set of rows or the selection.
    void changed();
    /// The user showed or hid a measure column.
    void shownMeasuresChanged();
    /// The rows on screen changed (scrolling, resizing, another view style).
    void scrolled();
    /// The list received the keyboard focus.
    void entered();
    void keyReleased(int key, Qt::KeyboardModifiers modifiers);
    /// Enter was pressed in the list (not in a caption being edited).
    void enterPressed();
    void mouseReleased(Qt::MouseButton button);
    void doubleClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void configureList(ViewStyle style);
    bool isOurs(QObject* watched) const;
    /// Sizes the icon styles' items for the rows' captions at the list's font.
    void fitItems();
    /// Widens the details columns to their widest texts at the view's font; the set widths are minimums.
    void fitColumns();
    void showHeaderMenu(const QPoint& pos);
    /// The widest caption of the rows in pixels, measured at most once per change of rows or font.
    int widestCaption();

    WaveListModel* model_;
    WaveFilterModel* filter_;
    QItemSelectionModel* selection_;
    /// The row selected when the filter hid it: selected again when a filter shows it.
    QPersistentModelIndex hiddenSelection_;
    QListView* list_;
    QTreeView* details_;
    ViewStyle style_ = vsIcon;
    QSize itemSize_;
    int widestCaption_ = -1; ///< -1 until measured for the current rows and font
    QString hint_;
    QCursor dragCursor_;
    QPointer<QDrag> drag_;
};
