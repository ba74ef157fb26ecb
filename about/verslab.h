// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TVersionLabel: a label showing one field of a file's version information, by default the file
// version of the running program. Failures show fixed texts in angle brackets instead of a value.

#include <QLabel>
#include <QString>
#include <string>

class TVersionLabel : public QLabel {
    Q_OBJECT
public:
    /// The field to show; one byte, as stored with the form.
    enum TVersionResources : quint8 {
        vrCompanyName,
        vrFileDescription,
        vrFileVersion,
        vrInternalName,
        vrLegalCopyright,
        vrOriginalFilename,
        vrProductName,
        vrProductVersion,
        vrComments,
        vrFlags
    };
    Q_ENUM(TVersionResources)

private:
    Q_PROPERTY(TVersionResources VersionResource READ VersionResource WRITE setVersionResource)
    Q_PROPERTY(QString VersionResourceKey READ VersionResourceKey WRITE setVersionResourceKey)
    Q_PROPERTY(QString InfoPrefix READ InfoPrefix WRITE setInfoPrefix)
    Q_PROPERTY(bool ShowInfoPrefix READ ShowInfoPrefix WRITE setShowInfoPrefix)
    Q_PROPERTY(QString LangCharset READ LangCharset WRITE setLangCharset)
    Q_PROPERTY(QString InfoString READ InfoString)

public:
    explicit TVersionLabel(QWidget* parent = nullptr);

    /// The key and the prefix text of a field.
    static QString keyOf(TVersionResources value);
    static QString prefixOf(TVersionResources value);

    TVersionResources VersionResource() const { return versionResource_; }
    /// Always stores and resets the key and the prefix from the table.
    void setVersionResource(TVersionResources value);
    QString VersionResourceKey() const { return versionResourceKey_; }
    /// A new key also becomes the prefix.
    void setVersionResourceKey(const QString& value);
    QString InfoPrefix() const { return infoPrefix_; }
    void setInfoPrefix(const QString& value);
    bool ShowInfoPrefix() const { return showInfoPrefix_; }
    void setShowInfoPrefix(bool value);
    /// Eight hexadecimal digits, language then code page; "-1" takes the file's first translation.
    QString LangCharset() const { return langCharset_; }
    void setLangCharset(const QString& value);
    QString InfoString() const { return infoString_; }
    /// A drive-letter path; empty reads the running program. Always refreshes.
    const std::string& Filename() const { return filename_; }
    void setFilename(const std::string& value);

    /// Recomputes the caption and InfoString.
    void UpdateInfo();
    /// How many times the label has been refreshed (UpdateInfo runs).
    int refreshCount() const { return refreshCount_; }

protected:
    QString ReadVersionText();
    QString FlagsText(const void* block);
    QString StringValueText(const void* block);

private:
    TVersionResources versionResource_ = vrFileVersion;
    QString versionResourceKey_;
    QString infoPrefix_;
    bool showInfoPrefix_ = false;
    QString langCharset_;
    QString infoString_;
    std::string filename_;
    int refreshCount_ = 0;
};
