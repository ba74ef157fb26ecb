// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/propertywindow.h"

#include "platform/shell/dialogs.h"
#include "platform/files/nativepath.h"
#include "platform/utf8.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QThreadPool>
#include <QVBoxLayout>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString dateText(const struct timespec& t)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
    return QLocale().toString(when, QLocale::LongFormat);
}

QString sizeText(qint64 bytes)
{
    const QString exact = QLocale().toString(bytes) + (bytes == 1 ? " byte" : " bytes");
    if (bytes < 1024)
        return exact;
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat) + " (" + exact + ")";
}

QString permissionText(mode_t mode)
{
    const char* letters = "rwxrwxrwx";
    QString out;
    for (int i = 0; i < 9; ++i)
        out += (mode & (0400 >> i)) ? QChar(letters[i]) : QChar('-');
    return out + QString(" (%1)").arg(mode & 07777, 4, 8, QChar('0'));
}

QString ownerText(uid_t uid)
{
    const passwd* pw = ::getpwuid(uid);
    return pw ? displayText(pw->pw_name) : QString::number(uid);
}

QString groupText(gid_t gid)
{
    const group* gr = ::getgrgid(gid);
    return gr ? displayText(gr->gr_name) : QString::number(gid);
}

QString kindText(const std::string& native, const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        return "Folder";
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "Special file";
    // By name only: the content of what is being shown is never read for its type.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QFile::decodeName(QByteArray::fromStdString(native)),
                                                           QMimeDatabase::MatchExtension);
    return type.comment();
}

QString formatName(int format)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || !info.name)
        return QString("0x%1").arg(format, 0, 16);
    return QString::fromUtf8(info.name);
}

QString lengthText(sf_count_t frames, int rate)
{
    if (rate <= 0)
        return "--:--.---";
    const qint64 ms = qint64(double(frames) * 1000.0 / rate + 0.5);
    return QString("%1:%2.%3")
        .arg(ms / 60000)
        .arg((ms / 1000) % 60, 2, 10, QChar('0'))
        .arg(ms % 1000, 3, 10, QChar('0'));
}

bool isWaveName(const std::string& native)
{
    return native.size() > 4 && foldCase(native.substr(native.size() - 4)) == ".wav";
}

} // namespace

PropertyWindow::PropertyWindow(const std::string& native, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const auto slash = native.find_last_of('/');
    const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    const std::string folder = slash == 0 ? "/" : native.substr(0, slash);
    setWindowTitle(displayText(name) + " Properties");

    auto* outer = new QVBoxLayout(this);
    form_ = new QFormLayout;
    outer->addLayout(form_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    outer->addWidget(buttons);

    struct stat st {};
    addRow("Name", displayText(name));
    const std::string driveFolder = drivePathOf(folder);
    addRow("Folder", displayText(driveFolder.empty() ? folder : driveFolder));
    if (::lstat(native.c_str(), &st) != 0) {
        addRow("Type", "Not found");
        return;
    }
    const bool link = S_ISLNK(st.st_mode);
    struct stat target = st;
    if (link && ::stat(native.c_str(), &target) != 0)
        target = st;
    addRow("Type", (link ? "Link to " : "") + kindText(native, target));
    if (S_ISREG(target.st_mode))
        addRow("Size", sizeText(target.st_size));
    struct statx sx {};
    if (::statx(AT_FDCWD, native.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
        const struct timespec born = {static_cast<time_t>(sx.stx_btime.tv_sec),
                                      static_cast<long>(sx.stx_btime.tv_nsec)};
        addRow("Created", dateText(born));
    }
    addRow("Modified", dateText(target.st_mtim));
    addRow("Accessed", dateText(target.st_atim));
    addRow("Owner", ownerText(target.st_uid));
    addRow("Group", groupText(target.st_gid));
    addRow("Permissions", permissionText(target.st_mode));
    if (S_ISREG(target.st_mode) && isWaveName(native) && addWaveDetails(native)) {
        addFileTexts(native);
        addSoundDetails(native);
    }
}

void PropertyWindow::addRow(const QString& label, const QString& value)
{
    auto* shown = new QLabel(value, this);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    shown->setTextFormat(Qt::PlainText);
    auto* name = new QLabel(label + ":", this);
    name->setObjectName(label);
    form_->addRow(name, shown);
}

QString PropertyWindow::value(const QString& label) const
{
    for (int row = 0; row < form_->rowCount(); ++row) {
        auto* name = qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::LabelRole)->widget());
        if (name && name->objectName() == label)
            return qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::FieldRole)->widget())->text();
    }
    return {};
}

bool PropertyWindow::addWaveDetails(const std::string& native)
{
    // Only a regular file is handed to the decoder: a FIFO named x.wav must not block the window.
    const int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        addRow("Wave", "Cannot be read");
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!file) {
        addRow("Wave", "Not a wave file that can be read");
        return false;
    }
    addRow("Format", formatName(info.format & SF_FORMAT_TYPEMASK));
    addRow("Encoding", formatName(info.format & SF_FORMAT_SUBMASK));
    addRow("Channels", QString::number(info.channels));
    addRow("Sample rate", QLocale().toString(info.samplerate) + " Hz");
    addRow("Frames", QLocale().toString(qint64(info.frames)));
    addRow("Length", lengthText(info.frames, info.samplerate));
    sf_close(file);
    return true;
}

namespace {

SoundDetails& soundDetails()
{
    static SoundDetails details;
    return details;
}

FileTexts& fileTexts()
{
    static FileTexts texts;
    return texts;
}

} // namespace

void setSoundDetails(SoundDetails details)
{
    soundDetails() = std::move(details);
}

void setFileTexts(FileTexts texts)
{
    fileTexts() = std::move(texts);
}

void PropertyWindow::addFileTexts(const std::string& native)
{
    if (fileTexts())
        for (const auto& [label, text] : fileTexts()(native))
            addRow(label, text);
}

void PropertyWindow::addSoundDetails(const std::string& native)
{
    const SoundDetails& details = soundDetails();
    if (details.labels.empty() || !details.find)
        return;
    for (const QString& label : details.labels)
        addRow(label, "Measuring\u2026");
    // A long sound takes seconds to measure: the window is shown meanwhile, and may close before.
    QPointer<PropertyWindow> self(this);
    QThreadPool::globalInstance()->start([self, native, find = details.find] {
        const std::vector<QString> texts = find(native);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, texts] {
                if (self)
                    self->showSoundDetails(texts);
            },
            Qt::QueuedConnection);
    });
}

void PropertyWindow::showSoundDetails(const std::vector<QString>& texts)
{
    const std::vector<QString>& labels = soundDetails().labels;
    for (int row = 0; row < form_->rowCount(); ++row) {
        auto* name = qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::LabelRole)->widget());
        for (size_t i = 0; name && i < labels.size(); ++i)
            if (name->objectName() == labels[i])
                qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::FieldRole)->widget())
                    ->setText(i < texts.size() ? texts[i] : QString("Not measured"));
    }
}

bool showPropertyWindow(const std::string& native, HWND owner)
{
    struct stat st {};
    if (native.empty() || ::lstat(native.c_str(), &st) != 0)
        return false;
    auto* window = new PropertyWindow(native, widgetOf(owner));
    window->show();
    window->raise();
    return true;
}

} // namespace platform
