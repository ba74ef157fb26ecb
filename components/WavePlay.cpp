// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/WavePlay.h"
#include "components/logging.h"

#include "platform/files/files.h"
#include "platform/sound/sound.h"

#include <QBuffer>
#include <QDataStream>
#include <climits>
#include <cstring>
#include <new>

using namespace platform;

namespace {

// Read-only and archive, as the loader has always asked for.
constexpr DWORD kOpenAttributes = 0x21;

// Allocates an image buffer, or nothing when memory runs out: a wave too large to hold is
// one the player simply has no image for, not a reason to end the program.
std::shared_ptr<char[]> allocateImage(std::size_t size)
{
    try {
        return std::shared_ptr<char[]>(new char[size]);
    } catch (const std::bad_alloc&) {
        qCWarning(components::lcComponents) << "no memory for a sound image of" << size << "bytes";
        return nullptr;
    }
}

} // namespace

TWavePlayer::TWavePlayer(QObject* owner) : QObject(owner)
{
    about_ << "TWavePlayer 1.0"
           << "Plays a wave sound from its file or from memory, once or looped."
           << "The sound can be stored with the form that holds the player."
           << "Written for Tonfolio. Free to use.";
}

TWavePlayer::~TWavePlayer() = default;

void TWavePlayer::setDefault(bool value)
{
    if (default_ != value)
        default_ = value;
}

void TWavePlayer::setForcePlay(bool value)
{
    if (forcePlay_ != value)
        forcePlay_ = value;
}

void TWavePlayer::setLoop(bool value)
{
    if (loop_ != value)
        loop_ = value;
}

void TWavePlayer::setWait(bool value)
{
    if (wait_ != value)
        wait_ = value;
}

void TWavePlayer::setPlay(bool value)
{
    if (value)
        PlayWave();
    else
        StopWave();
}

void TWavePlayer::setFileName(const std::string& name)
{
    // No comparison here: assigning the same name again drops an image stored with the form.
    fileName_ = name;
    releaseImage();
    // A loop belongs to the sound it was read from.
    loopStart_ = loopEnd_ = 0;
}

void TWavePlayer::setLoopFrames(std::int64_t start, std::int64_t end)
{
    loopStart_ = start;
    loopEnd_ = end;
}

void TWavePlayer::releaseImage()
{
    // A sound still playing from this image keeps its own share of it.
    image_.reset();
    imageSize_ = 0;
}

namespace {

/// The whole file when it can be read, is not empty and fits the stored form's signed 32-bit size.
struct FileImage {
    std::shared_ptr<char[]> bytes;
    std::int32_t size = 0;
};

FileImage readFile(const std::string& name, bool withBytes)
{
    FileImage image;
    if (name.empty())
        return image;
    HANDLE file = CreateFile(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, kOpenAttributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return image;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if (size != INVALID_FILE_SIZE && high == 0 && size > 0 && size <= DWORD(INT32_MAX)) {
        image.size = std::int32_t(size);
        if (withBytes)
            image.bytes = allocateImage(size);
        if (image.bytes) {
            DWORD total = 0;
            DWORD got = 0;
            while (total < size && ReadFile(file, image.bytes.get() + total, size - total, &got, nullptr) && got > 0)
                total += got;
            // A file that shrank while read: the image keeps the file's size, its tail silent.
            std::memset(image.bytes.get() + total, 0, size - total);
        } else if (withBytes) {
            image.size = 0;
        }
    }
    CloseHandle(file);
    return image;
}

} // namespace

bool TWavePlayer::fileGivesSound() const
{
    HANDLE file =
        CreateFile(fileName_, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, kOpenAttributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    CloseHandle(file);
    return high != 0 || (size != INVALID_FILE_SIZE && size > 0);
}

unsigned TWavePlayer::playFlags() const
{
    UINT flags = SND_MEMORY;
    if (!default_)
        flags |= SND_NODEFAULT;
    if (!forcePlay_)
        flags |= SND_NOSTOP;
    if (loop_)
        flags |= SND_LOOP;
    if (!wait_)
        flags |= SND_ASYNC;
    return flags;
}

void TWavePlayer::PlayWave()
{
    PlayWaveFrom(0);
}

void TWavePlayer::PlayWaveFrom(double seconds)
{
    const UINT flags = playFlags();
    const SoundLoop stretch{loopStart_, loopEnd_};
    if (image_) {
        sndPlaySound(SoundImage{image_, std::size_t(imageSize_)}, flags, stretch);
    } else if (!fileName_.empty()) {
        // The file plays from the disk while it sounds. One that cannot be opened or is empty gives
        // no sound: that stops whatever plays, with or without Default.
        if ((flags & SND_NOSTOP) && soundIsPlaying())
            return;
        if (!fileGivesSound())
            sndPlaySound(nullptr, 0);
        else if (seconds > 0 || !stretch.empty())
            sndPlaySoundFrom(fileName_.c_str(), flags & ~SND_MEMORY, seconds, stretch);
        else
            sndPlaySound(fileName_.c_str(), flags & ~SND_MEMORY);
    } else if (default_) {
        // A name that names no sound: the platform plays its default sound.
        const std::string name = "\\";
        sndPlaySound(name.c_str(), flags & ~(SND_MEMORY | SND_NODEFAULT));
    }
}

double TWavePlayer::PositionSeconds() const
{
    return soundPositionSeconds();
}

void TWavePlayer::StopWave()
{
    sndPlaySound(nullptr, 0);
}

std::int32_t TWavePlayer::imageSize() const
{
    return image_ ? imageSize_ : readFile(fileName_, false).size;
}

QByteArray TWavePlayer::image() const
{
    if (image_)
        return QByteArray(image_.get(), imageSize_);
    const FileImage file = readFile(fileName_, true);
    return file.bytes ? QByteArray(file.bytes.get(), file.size) : QByteArray();
}

void TWavePlayer::WriteData(QDataStream& stream) const
{
    const QByteArray bytes = image();
    const auto size = std::uint32_t(bytes.size());
    const char le[4] = {char(size & 0xFF), char((size >> 8) & 0xFF), char((size >> 16) & 0xFF),
                        char((size >> 24) & 0xFF)};
    stream.writeRawData(le, 4);
    if (size > 0)
        stream.writeRawData(bytes.constData(), int(size));
}

void TWavePlayer::ReadData(QDataStream& stream)
{
    unsigned char le[4];
    if (stream.readRawData(reinterpret_cast<char*>(le), 4) != 4) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return;
    }
    const std::int32_t size = std::int32_t(std::uint32_t(le[0]) | std::uint32_t(le[1]) << 8 |
                                           std::uint32_t(le[2]) << 16 | std::uint32_t(le[3]) << 24);
    if (size <= 0)
        return;
    // A damaged size must not make the player allocate what the stream cannot hold.
    QIODevice* device = stream.device();
    if (device && !device->isSequential() && device->bytesAvailable() < size) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return;
    }
    std::shared_ptr<char[]> bytes = allocateImage(std::size_t(size));
    if (!bytes)
        return;
    if (stream.readRawData(bytes.get(), size) != size) {
        // A cut-off image would play as a damaged sound; keep what the player had.
        stream.setStatus(QDataStream::ReadPastEnd);
        return;
    }
    image_ = std::move(bytes);
    imageSize_ = size;
}

QByteArray TWavePlayer::WaveFile() const
{
    QByteArray stored;
    QDataStream stream(&stored, QIODevice::WriteOnly);
    WriteData(stream);
    return stored;
}

void TWavePlayer::setWaveFile(const QByteArray& stored)
{
    QDataStream stream(stored);
    ReadData(stream);
}
