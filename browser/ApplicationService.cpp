// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/ApplicationService.h"

#include "browser/BrowserWindow.h"
#include "platform/files/argumentpath.h"
#include "platform/files/pathinfo.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <utility>

const char* const ApplicationService::kServiceName = "example.varnholt.Tonfolio";
const char* const ApplicationService::kObjectPath = "/example/varnholt/Tonfolio";

namespace {

const char* const kInterface = "org.freedesktop.Application";
const char* const kNotShownError = "example.varnholt.Tonfolio.Error.NotShown";
const char* const kPlayAction = "play";
// A window busy with a long folder still answers within this; a hung one must not hang the new start.
constexpr int kCallTimeoutMs = 10000;
// How often a request waiting for an open dialog to close looks again.
constexpr int kRetryMs = 200;

} // namespace

ApplicationService::ApplicationService(BrowserWindow* window) : QObject(window), window_(window), retry_(new QTimer(this))
{
    retry_->setInterval(kRetryMs);
    connect(retry_, &QTimer::timeout, this, &ApplicationService::serveRequests);
}

bool ApplicationService::publish()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAllSlots))
        return false;
    // A window opened while another holds the name waits in the bus's queue and takes the name over
    // when that one ends, so later starts still find a window.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        kServiceName, QDBusConnectionInterface::QueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
        bus.unregisterObject(kObjectPath);
        return false;
    }
    return true;
}

ApplicationService::HandOver ApplicationService::handOver(const std::string& drivePath, bool play,
                                                          const QVariantMap& platformData)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kServiceName))
        return HandOver::NoRunningWindow;
    // The running window may have another current folder; a URL names the entry wherever it is asked.
    const QString uri = QString::fromStdString(platform::FileUrlOf(drivePath));
    if (uri.isEmpty())
        return HandOver::NotShown;
    QDBusMessage call;
    if (play) {
        call = QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, "ActivateAction");
        call << QString(kPlayAction) << QVariantList{QVariant::fromValue(QDBusVariant(uri))} << platformData;
    } else {
        call = QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, "Open");
        call << QStringList{uri} << platformData;
    }
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return HandOver::Shown;
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == kNotShownError)
        return HandOver::NotShown;
    // The window holds the request until its dialog closes; a second window would show it twice.
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == QDBusError::errorString(QDBusError::NoReply))
        return HandOver::Busy;
    return HandOver::NoRunningWindow;
}

void ApplicationService::Activate(const QVariantMap& platformData)
{
    bringToFront(platformData);
}

void ApplicationService::Open(const QStringList& uris, const QVariantMap& platformData)
{
    // One window shows one folder: the first name wins.
    show(uris.value(0), false, platformData);
}

void ApplicationService::ActivateAction(const QString& actionName, const QVariantList& parameter,
                                        const QVariantMap& platformData)
{
    if (actionName != kPlayAction) {
        sendErrorReply(QDBusError::NotSupported, "Unknown action " + actionName);
        return;
    }
    // A parameter arrives as a variant inside the variant list.
    QVariant value = parameter.value(0);
    if (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    show(value.toString(), true, platformData);
}

void ApplicationService::show(const QString& uri, bool play, const QVariantMap& platformData)
{
    // Answered once served: calls arrive in any event loop, also a dialog's, and a folder changed under
    // an open confirmation or a drag would make that command act on another file.
    setDelayedReply(true);
    requests_.push_back({message(), uri, play, platformData});
    serveRequests();
}

bool ApplicationService::windowIsFree() const
{
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget() && !window_->WaveList->isDragging();
}

void ApplicationService::serveRequests()
{
    if (!windowIsFree()) {
        retry_->start();
        return;
    }
    retry_->stop();
    const std::vector<Request> requests = std::exchange(requests_, {});
    for (const Request& request : requests) {
        bringToFront(request.platformData);
        const std::string path = platform::DrivePathOfArgument(request.uri.toStdString());
        const bool shown = !path.empty() && window_->openPath(path, request.play);
        QDBusConnection::sessionBus().send(
            shown ? request.call.createReply()
                  : request.call.createErrorReply(kNotShownError, "Tonfolio cannot show " + request.uri));
    }
}

void ApplicationService::bringToFront(const QVariantMap& platformData)
{
    // On Wayland the compositor raises a window only with the launcher's token; Qt takes it from here.
    const QString token = platformData.value("activation-token").toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}
