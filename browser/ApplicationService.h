// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running window on the session bus under the desktop id, with the desktop's application
// interface (org.freedesktop.Application): a later start hands the folder or file it was given to
// this window and ends, as desktop programs do, instead of opening a second window.

#include <QDBusAbstractAdaptor>
#include <QDBusContext>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <string>

class TForm1;

class ApplicationService : public QDBusAbstractAdaptor, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    /// The bus name and object path: the desktop id, by which desktops find a running program.
    static const char* const kServiceName;
    static const char* const kObjectPath;

    /// What became of a path handed to a running window.
    enum class HandOver {
        NoRunningWindow, ///< no session bus, nobody holds the name, or the holder did not answer
        Shown,           ///< the running window shows it
        NotShown,        ///< the running window got it but cannot show it
    };

    /// Serves the window; a child of it, as an adaptor is of the object it exports.
    explicit ApplicationService(TForm1* window);
    /// Puts the window on the session bus; false without a bus or while another window holds the name.
    bool publish();

    /// Hands a drive path to the window that holds the name, to be shown and, with play, played.
    /// platformData carries the launcher's activation token, so the desktop lets that window come up.
    static HandOver handOver(const std::string& drivePath, bool play, const QVariantMap& platformData);

public slots:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    /// The one action is "play", with the file's URL as its parameter.
    void ActivateAction(const QString& actionName, const QVariantList& parameter, const QVariantMap& platformData);

private:
    void show(const QString& uri, bool play, const QVariantMap& platformData);
    void bringToFront(const QVariantMap& platformData);

    TForm1* window_;
};
