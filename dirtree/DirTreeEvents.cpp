// SPDX-License-Identifier: GPL-3.0-or-later
// TDirTree: Qt's input, focus, drag-and-drop and label-editing events turned into the tree's events.
#include "dirtree/DirTree.h"
#include "dirtree/logging.h"
#include "platform/logging.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

// Runs an owner's handler from inside Qt's event delivery, which cannot carry an error on: a failing
// handler ends its own work, the failure is logged, and the tree goes on. Returns false when the
// handler failed.
template <class F> bool guarded(const char* what, F&& handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        qCWarning(dirtree::lcDirTree) << what << "failed:" << platform::exceptionText(std::current_exception()).c_str();
        return false;
    }
}

} // namespace

void TDirTree::showEvent(QShowEvent* event)
{
    QTreeWidget::showEvent(event);
    // A tree shown without an explicit end of loading still gets its drives and initial folder.
    guarded("showing the tree", [&] {
        if (loading_)
            Loaded();
        handleNeeded();
    });
    installOwnerHook();
}

void TDirTree::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    guarded("the click on a folder", [&] { Clicked(); });
}

void TDirTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    if (OnDblClick)
        guarded("OnDblClick", [&] { OnDblClick(this); });
}

void TDirTree::keyPressEvent(QKeyEvent* event)
{
    if (OnKeyDown) {
        int key = event->key();
        guarded("OnKeyDown", [&] { OnKeyDown(this, key, event->modifiers()); });
        if (key == 0) {
            event->accept();
            return;
        }
    }
    if (event->key() == Qt::Key_Asterisk) {
        // Qt would open every node below, reading each new level as it appears: the whole disk, and
        // without end through a symlink loop. Open the current node only.
        if (QTreeWidgetItem* node = currentItem())
            node->setExpanded(true);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TDirTree::keyReleaseEvent(QKeyEvent* event)
{
    if (OnKeyUp) {
        int key = event->key();
        guarded("OnKeyUp", [&] { OnKeyUp(this, key, event->modifiers()); });
        if (key == 0) {
            event->accept();
            return;
        }
    }
    QTreeWidget::keyReleaseEvent(event);
}

void TDirTree::focusInEvent(QFocusEvent* event)
{
    QTreeWidget::focusInEvent(event);
    if (OnEnter)
        guarded("OnEnter", [&] { OnEnter(this); });
}

void TDirTree::focusOutEvent(QFocusEvent* event)
{
    QTreeWidget::focusOutEvent(event);
    if (OnExit)
        guarded("OnExit", [&] { OnExit(this); });
}

void TDirTree::dragEnterEvent(QDragEnterEvent* event)
{
    // Entering is accepted whenever someone decides about drops, so that moves keep arriving.
    if (OnDragOver)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TDirTree::dragMoveEvent(QDragMoveEvent* event)
{
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* target = itemAt(pos);
    if (!entryOf(target))
        target = nullptr;
    if (target != dropTarget_) {
        dropTarget_ = target;
        viewport()->update();
    }
    if (hasAutoScroll())
        startAutoScroll();
    bool accept = static_cast<bool>(OnDragOver);
    if (OnDragOver && !guarded("OnDragOver", [&] { OnDragOver(this, event, pos, accept); }))
        accept = false;
    if (accept)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TDirTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    stopAutoScroll();
    dropTarget_ = nullptr;
    viewport()->update();
    event->accept();
}

void TDirTree::dropEvent(QDropEvent* event)
{
    stopAutoScroll();
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* target = itemAt(pos);
    dropTarget_ = entryOf(target) ? target : nullptr;
    // The base class would move items around; what a drop means is the owner's decision.
    if (OnDragDrop)
        guarded("OnDragDrop", [&] { OnDragDrop(this, event, pos); });
    // Whatever the owner did with the drop, the source is told it was a copy: a source that hears
    // "moved" removes what was dragged on its own, which here would lose a tree node or a list row.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    dropTarget_ = nullptr;
    viewport()->update();
}

void TDirTree::startDrag(Qt::DropActions supportedActions)
{
    // Offered as a copy only, for the same reason: a node must never vanish because a target moved it.
    if (supportedActions & Qt::CopyAction)
        QTreeWidget::startDrag(Qt::CopyAction);
}

void TDirTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (dropTarget_ && itemFromIndex(index) == dropTarget_) {
        QStyleOptionViewItem highlighted(option);
        highlighted.state |= QStyle::State_Selected | QStyle::State_Active;
        QTreeWidget::drawRow(painter, highlighted, index);
        return;
    }
    QTreeWidget::drawRow(painter, option, index);
}

bool TDirTree::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (readOnly_ || !entryOf(itemFromIndex(index)))
        return false;
    const bool wouldEdit = trigger == AllEditTriggers || (editTriggers() & trigger);
    // A click on the selected node only arms a timer; the edit itself arrives as AllEditTriggers.
    if (wouldEdit && trigger != SelectedClicked && OnEditing) {
        bool allow = true;
        if (!guarded("OnEditing", [&] { OnEditing(this, itemFromIndex(index), allow); }) || !allow)
            return false;
    }
    return QTreeWidget::edit(index, trigger, event);
}

void TDirTree::commitEdit(QTreeWidgetItem* node, const QString& text)
{
    if (!node)
        return;
    const QByteArray utf8 = text.toUtf8();
    std::string s(utf8.constData(), size_t(utf8.size()));
    if (OnEdited && !guarded("OnEdited", [&] { OnEdited(this, node, s); }))
        return; // a failed rename keeps the old label
    node->setText(0, QString::fromUtf8(s.data(), qsizetype(s.size())));
}
