// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TWavePlayer: plays one wave sound through the system's simple sound call. A file plays from the
// disk while it sounds, so any size starts at once and costs little memory; an image stored with the
// form plays from memory.

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QDataStream;

class TWavePlayer : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList About READ About WRITE setAbout)
    Q_PROPERTY(bool Default READ Default WRITE setDefault)
    Q_PROPERTY(std::string FileName READ FileName WRITE setFileName)
    Q_PROPERTY(bool ForcePlay READ ForcePlay WRITE setForcePlay)
    Q_PROPERTY(bool Loop READ Loop WRITE setLoop)
    Q_PROPERTY(bool Play READ Play WRITE setPlay STORED false)
    Q_PROPERTY(bool Wait READ Wait WRITE setWait)

public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TWavePlayer(QObject* owner = nullptr);
    ~TWavePlayer() override;

    /// A few lines naming the component; writing them changes nothing.
    QStringList About() const { return about_; }
    void setAbout(const QStringList&) {}

    bool Default() const { return default_; }
    void setDefault(bool value);

    /// A drive-letter path. Every assignment, even of the same name, drops a stored image, so the
    /// file as it is when it plays is what is heard.
    const std::string& FileName() const { return fileName_; }
    void setFileName(const std::string& name);

    bool ForcePlay() const { return forcePlay_; }
    void setForcePlay(bool value);

    bool Loop() const { return loop_; }
    void setLoop(bool value);

    /// Always reads false; writing true plays, writing false stops.
    bool Play() const { return false; }
    void setPlay(bool value);

    bool Wait() const { return wait_; }
    void setWait(bool value);

    /// Kept for whoever stores the form; the player never raises it.
    const TNotifyEvent& OnDone() const { return onDone_; }
    void setOnDone(TNotifyEvent handler) { onDone_ = std::move(handler); }

    virtual void PlayWave();
    virtual void StopWave();

    /// The stretch of frames, [start, end), that a looping sound repeats after playing once up to its
    /// end (a sampler's loop); empty, the default, repeats the whole sound. Setting FileName clears it.
    std::int64_t LoopStart() const { return loopStart_; }
    std::int64_t LoopEnd() const { return loopEnd_; }
    void setLoopFrames(std::int64_t start, std::int64_t end);

    /// Plays as PlayWave does, starting `seconds` into the file's sound (an image stored with the
    /// form plays from its start).
    void PlayWaveFrom(double seconds);
    /// Where in its file the sound now heard is, in seconds; negative when nothing plays.
    double PositionSeconds() const;

    /// Size of the image the player would store: the stored image's, or the file's when it can be
    /// read and fits the stored form; 0 otherwise.
    std::int32_t imageSize() const;
    /// The image bytes: the stored image, or the file read now (empty when there is none).
    QByteArray image() const;

    /// The stored property WaveFile: a 4-byte little-endian size, then the image bytes.
    void WriteData(QDataStream& stream) const;
    /// Reads what WriteData wrote. A stored size of 0 or less keeps the image FileName gave;
    /// a stream that ends early keeps it too.
    void ReadData(QDataStream& stream);
    /// The same stored form as one byte array.
    QByteArray WaveFile() const;
    void setWaveFile(const QByteArray& stored);

private:
    void releaseImage();
    unsigned playFlags() const;
    /// Whether the file can be opened and holds any bytes; a name that cannot gives no sound.
    bool fileGivesSound() const;

    QStringList about_;
    bool default_ = false;
    std::string fileName_;
    bool forcePlay_ = false;
    bool loop_ = false;
    bool wait_ = false;
    std::int64_t loopStart_ = 0;
    std::int64_t loopEnd_ = 0;
    TNotifyEvent onDone_;

    // An image read from a stored form; shared with the sound channel, which keeps it while an
    // asynchronous sound still plays.
    std::shared_ptr<char[]> image_;
    std::int32_t imageSize_ = 0;
};
