// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/TagsDialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TagsDialog::TagsDialog(const QStringList& common, const QStringList& inUse, int files, QWidget* parent)
    : QDialog(parent), line_(new QLineEdit(this)), completer_(new QCompleter(inUse, this))
{
    setObjectName("TagsDialog");
    setWindowTitle("Tags");
    auto* label = new QLabel(files == 1 ? QStringLiteral("&Tags of the file, separated by commas:")
                                        : QStringLiteral("&Tags all %1 files carry, separated by commas:").arg(files),
                             this);
    label->setBuddy(line_);
    line_->setObjectName("TagsLine");
    line_->setAccessibleName("Tags");
    line_->setText(common.join(QStringLiteral(", ")));
    line_->setMinimumWidth(360);
    // The completer follows the tag being typed; it is not the line's own, which would complete the whole text.
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setWidget(line_);
    connect(line_, &QLineEdit::textEdited, this, &TagsDialog::completeLastTag);
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this, &TagsDialog::takeCompletion);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(line_);
    layout->addWidget(buttons);
}

void TagsDialog::completeLastTag(const QString& text)
{
    const QString last = text.mid(text.lastIndexOf(QLatin1Char(',')) + 1).trimmed();
    if (last.isEmpty()) {
        completer_->popup()->hide();
        return;
    }
    completer_->setCompletionPrefix(last);
    completer_->complete();
}

void TagsDialog::takeCompletion(const QString& tag)
{
    const QString text = line_->text();
    const int comma = int(text.lastIndexOf(QLatin1Char(',')));
    line_->setText((comma < 0 ? QString() : text.left(comma + 1) + QLatin1Char(' ')) + tag);
}

QStringList TagsDialog::splitTags(const QString& text)
{
    QStringList out;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString tag = part.trimmed();
        if (!tag.isEmpty() && !out.contains(tag, Qt::CaseInsensitive))
            out << tag;
    }
    return out;
}

QStringList TagsDialog::tags() const
{
    return splitTags(line_->text());
}

QStringList TagsDialog::edited(const QStringList& own, const QStringList& common, const QStringList& typed)
{
    QStringList out;
    for (const QString& tag : own)
        if (!common.contains(tag, Qt::CaseInsensitive) || typed.contains(tag, Qt::CaseInsensitive))
            out << tag;
    for (const QString& tag : typed)
        if (!out.contains(tag, Qt::CaseInsensitive))
            out << tag;
    return out;
}
