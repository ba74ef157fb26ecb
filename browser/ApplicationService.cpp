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
const char* const kSupersededError = "example.varnholt.Tonfolio.Error.Superseded";
const char* const kPlayAction = "play";
// A window busy with a long folder still answers within this; a hung one must not hang the new start.
constexpr int kCallTimeoutMs = 10000;
// How often a request waiting for an open dialog to close looks again.
constexpr int kRetryMs = 200;

} // namespace

ApplicationService::ApplicationService(BrowserWindow* window) : QObject(window), window_(window), serve_(new QTimer(this))
{
    serve_->setSingleShot(true);
    connect(serve_, &QTimer::timeout, this, &ApplicationService::serveRequest);
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

bool ApplicationService::windowRunning()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kServiceName);
}

ApplicationService::HandOver ApplicationService::handOver(const std::string& drivePath, bool play,
                                                          const QVariantMap& platformData)
{
    if (!windowRunning())
        return HandOver::NoRunningWindow;
    QDBusConnection bus = QDBusConnection::sessionBus();
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
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == kSupersededError)
        return HandOver::Superseded;
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
    // Only the latest path counts while one waits, so any number of calls costs the window one
    // hand-over; a caller passed over hears so at once instead of waiting.
    if (pending_)
        QDBusConnection::sessionBus().send(pending_->call.createErrorReply(
            kSupersededError, "A later path was handed to Tonfolio instead of " + pending_->uri));
    pending_ = Request{message(), uri, play, platformData};
    // Served after the calls already queued have come in, not at each of them.
    if (!serve_->isActive())
        serve_->start(0);
}

bool ApplicationService::windowIsFree() const
{
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget() && !window_->isDraggingWave();
}

void ApplicationService::serveRequest()
{
    if (!pending_)
        return;
    if (!windowIsFree()) {
        serve_->start(kRetryMs);
        return;
    }
    const Request request = std::move(*pending_);
    pending_.reset();
    bringToFront(request.platformData);
    const std::string path = platform::DrivePathOfArgument(request.uri.toStdString());
    const bool shown = !path.empty() && window_->openPath(path, request.play);
    QDBusConnection::sessionBus().send(shown ? request.call.createReply()
                                             : request.call.createErrorReply(kNotShownError,
                                                                             "Tonfolio cannot show " + request.uri));
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
