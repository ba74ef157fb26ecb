// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running window on the session bus under the desktop id, with the desktop's application
// interface (org.freedesktop.Application): a later start hands the folder or file it was given to
// this window and ends, as desktop programs do, instead of opening a second window.

#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>
#include <optional>
#include <string>

class BrowserWindow;

class ApplicationService : public QObject, protected QDBusContext {
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
        Busy,            ///< the running window got it but did not answer in time (a dialog is open)
        Superseded,      ///< the running window got a later path before it could show this one
    };

    /// Whether a window holds the name on the session bus.
    static bool windowRunning();

    /// Serves the window, as a child of it. It is the exported object itself, not an adaptor: only the
    /// called object learns the call it serves, which a reply given later needs.
    explicit ApplicationService(BrowserWindow* window);
    /// Puts the window on the session bus, behind the window holding the name if there is one; false
    /// without a bus.
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
    struct Request {
        QDBusMessage call;
        QString uri;
        bool play = false;
        QVariantMap platformData;
    };
    void show(const QString& uri, bool play, const QVariantMap& platformData);
    /// Serves the request waiting, once no dialog, menu or drag of the window is in the middle of something.
    void serveRequest();
    bool windowIsFree() const;
    void bringToFront(const QVariantMap& platformData);

    BrowserWindow* window_;
    /// The latest path handed over and not shown yet; an earlier one waiting is answered as superseded.
    std::optional<Request> pending_;
    /// Serves pending_ once the calls already queued are in, or once the window is free again.
    QTimer* serve_;
};
