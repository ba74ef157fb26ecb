// SPDX-License-Identifier: GPL-3.0-or-later
#include "waves/WaveMetadata.h"

#include "platform/utf8.h"
#include "waves/WaveForm.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <limits>

namespace {

using namespace platform;

// A hostile file may declare anything: no more than this is read of all metadata chunks together,
// and no more than this many chunk headers are looked at.
constexpr std::size_t kMetadataBudget = 1024 * 1024;
constexpr int kMaxChunks = 4096;
// One text of an INFO or adtl list; longer ones are cut.
constexpr std::size_t kMaxText = 64 * 1024;
// The fixed part of a "bext" chunk up to and including the time reference.
constexpr std::size_t kBextFixed = 346;
constexpr std::size_t kSmplHeader = 36, kSmplLoop = 24, kCuePoint = 24;
constexpr quint32 kSizeInDs64 = 0xFFFFFFFF;

quint32 le32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}
quint16 le16(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint16(u[0] | u[1] << 8);
}

// Formats whose frames all take blockAlign bytes; the frames of others come from the "fact" chunk.
bool fixedFrameSize(quint16 tag)
{
    return tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE;
}

QString xmlUnescaped(QString t)
{
    t.replace(QLatin1String("&lt;"), QLatin1String("<"));
    t.replace(QLatin1String("&gt;"), QLatin1String(">"));
    t.replace(QLatin1String("&quot;"), QLatin1String("\""));
    t.replace(QLatin1String("&apos;"), QLatin1String("'"));
    t.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return t;
}

// The text of the first <NAME>...</NAME> element of an iXML document; empty when there is none or
// when it holds elements rather than text.
QString xmlElementText(const std::string& xml, const char* name)
{
    const std::string open = std::string("<") + name + ">";
    const std::string close = std::string("</") + name + ">";
    const std::size_t from = xml.find(open);
    if (from == std::string::npos)
        return {};
    const std::size_t start = from + open.size();
    const std::size_t end = xml.find(close, start);
    if (end == std::string::npos)
        return {};
    std::string body = xml.substr(start, end - start);
    const std::string cdata = "<![CDATA[";
    if (body.compare(0, cdata.size(), cdata) == 0 && body.size() >= cdata.size() + 3 &&
        body.compare(body.size() - 3, 3, "]]>") == 0)
        return waveText(body.data() + cdata.size(), body.size() - cdata.size() - 3);
    if (body.find('<') != std::string::npos)
        return {};
    return xmlUnescaped(waveText(body.data(), body.size()));
}

// Walks the chunks of one open wave form and fills the record.
class MetadataWalk {
public:
    MetadataWalk(HMMIO mmio, WaveMetadata& m) : mmio_(mmio), m_(m) {}

    void run()
    {
        MMCKINFO form{};
        bool rf64 = false;
        quint64 rf64DataSize = 0;
        if (!waves_detail::enterWaveForm(mmio_, form, rf64, rf64DataSize))
            return;
        walk(form, [&](const MMCKINFO& ck) { topChunk(ck, rf64 ? rf64DataSize : 0); });
        finish();
    }

private:
    // Calls `visit` for each chunk inside `parent`, from the current position, with the file at the
    // chunk's data; a bounded number of chunks in all.
    template <typename Visit>
    void walk(const MMCKINFO& parent, Visit visit)
    {
        while (chunksLeft_-- > 0) {
            MMCKINFO ck{};
            if (mmioDescend(mmio_, &ck, &parent, 0) != MMSYSERR_NOERROR)
                return;
            visit(ck);
            mmioAscend(mmio_, &ck, 0);
        }
    }

    // Reads up to `limit` bytes of the chunk's data (after a list's type) from its start. False when
    // the chunk is cut short or would take more than the budget left: such a chunk is skipped.
    bool body(const MMCKINFO& ck, std::size_t limit, std::string& out)
    {
        const std::size_t typeBytes = ck.ckid == FOURCC_LIST ? 4 : 0;
        if (ck.cksize < typeBytes)
            return false;
        const std::size_t want = std::min<std::size_t>(ck.cksize - typeBytes, limit);
        if (want > budget_)
            return false;
        budget_ -= want;
        out.resize(want);
        return mmioRead(mmio_, out.data(), LONG(want)) == LONG(want);
    }

    void topChunk(const MMCKINFO& ck, quint64 rf64DataSize)
    {
        std::string b;
        if (ck.ckid == mmioFOURCC('f', 'm', 't', ' ')) {
            if (!haveFormat_ && body(ck, 16, b) && b.size() >= 16) {
                haveFormat_ = true;
                formatTag_ = le16(b.data());
                m_.sampleRate = le32(b.data() + 4);
                blockAlign_ = le16(b.data() + 12);
            }
        } else if (ck.ckid == mmioFOURCC('d', 'a', 't', 'a')) {
            if (!haveData_) {
                haveData_ = true;
                dataBytes_ = rf64DataSize != 0 && ck.cksize == kSizeInDs64 ? rf64DataSize : ck.cksize;
            }
        } else if (ck.ckid == mmioFOURCC('f', 'a', 'c', 't')) {
            if (body(ck, 4, b) && b.size() == 4) {
                factFrames_ = le32(b.data());
                haveFact_ = true;
            }
        } else if (ck.ckid == mmioFOURCC('b', 'e', 'x', 't')) {
            if (body(ck, kBextFixed, b))
                bext(b);
        } else if (ck.ckid == mmioFOURCC('i', 'X', 'M', 'L')) {
            if (!haveXml_ && body(ck, kMetadataBudget, b))
                ixml(b);
        } else if (ck.ckid == mmioFOURCC('s', 'm', 'p', 'l')) {
            if (body(ck, kSmplHeader + kSmplLoop * 1024, b))
                smpl(b);
        } else if (ck.ckid == mmioFOURCC('c', 'u', 'e', ' ')) {
            if (body(ck, 4 + kCuePoint * 4096, b))
                cue(b);
        } else if (ck.ckid == FOURCC_LIST && ck.fccType == mmioFOURCC('I', 'N', 'F', 'O')) {
            walk(ck, [&](const MMCKINFO& sub) { infoText(sub); });
        } else if (ck.ckid == FOURCC_LIST && ck.fccType == mmioFOURCC('a', 'd', 't', 'l')) {
            walk(ck, [&](const MMCKINFO& sub) { adtlText(sub); });
        }
    }

    // A text of the chunk's own data; the earlier of two equal chunks wins.
    void text(const MMCKINFO& ck, QString& field)
    {
        std::string b;
        if (field.isEmpty() && body(ck, kMaxText, b))
            field = waveText(b.data(), b.size());
    }

    void infoText(const MMCKINFO& ck)
    {
        struct Field {
            FOURCC id;
            QString WaveMetadata::*field;
        };
        static const Field fields[] = {
            {mmioFOURCC('I', 'N', 'A', 'M'), &WaveMetadata::title},
            {mmioFOURCC('I', 'A', 'R', 'T'), &WaveMetadata::artist},
            {mmioFOURCC('I', 'C', 'M', 'T'), &WaveMetadata::comment},
            {mmioFOURCC('I', 'C', 'R', 'D'), &WaveMetadata::created},
            {mmioFOURCC('I', 'G', 'N', 'R'), &WaveMetadata::genre},
            {mmioFOURCC('I', 'K', 'E', 'Y'), &WaveMetadata::keywords},
            {mmioFOURCC('I', 'S', 'F', 'T'), &WaveMetadata::software},
        };
        for (const Field& f : fields)
            if (ck.ckid == f.id)
                text(ck, m_.*f.field);
    }

    void adtlText(const MMCKINFO& ck)
    {
        const bool label = ck.ckid == mmioFOURCC('l', 'a', 'b', 'l');
        if (!label && ck.ckid != mmioFOURCC('n', 'o', 't', 'e'))
            return;
        std::string b;
        if (!body(ck, kMaxText, b) || b.size() < 4)
            return;
        QString& slot = label ? labels_[le32(b.data())] : notes_[le32(b.data())];
        if (slot.isEmpty())
            slot = waveText(b.data() + 4, b.size() - 4);
    }

    void bext(const std::string& b)
    {
        struct Text {
            std::size_t at, size;
            QString WaveMetadata::*field;
        };
        static const Text texts[] = {{0, 256, &WaveMetadata::description},
                                     {256, 32, &WaveMetadata::originator},
                                     {320, 10, &WaveMetadata::originationDate},
                                     {330, 8, &WaveMetadata::originationTime}};
        for (const Text& t : texts)
            if (b.size() >= t.at + t.size)
                m_.*t.field = waveText(b.data() + t.at, t.size);
        if (b.size() >= kBextFixed) {
            m_.timeReference = quint64(le32(b.data() + 338)) | quint64(le32(b.data() + 342)) << 32;
            m_.hasTimeReference = true;
        }
    }

    void ixml(const std::string& b)
    {
        haveXml_ = true;
        m_.project = xmlElementText(b, "PROJECT");
        m_.scene = xmlElementText(b, "SCENE");
        m_.take = xmlElementText(b, "TAKE");
        m_.note = xmlElementText(b, "NOTE");
    }

    void smpl(const std::string& b)
    {
        if (m_.hasSampler || b.size() < kSmplHeader)
            return;
        m_.hasSampler = true;
        const quint32 note = le32(b.data() + 12);
        m_.unityNote = note <= 127 ? note : 60;
        const std::size_t count = std::min<std::size_t>(le32(b.data() + 28), (b.size() - kSmplHeader) / kSmplLoop);
        for (std::size_t i = 0; i < count; ++i) {
            const char* p = b.data() + kSmplHeader + i * kSmplLoop;
            m_.loops.push_back({le32(p + 8), le32(p + 12), le32(p + 4), le32(p + 20)});
        }
    }

    void cue(const std::string& b)
    {
        if (haveCues_ || b.size() < 4)
            return;
        haveCues_ = true;
        const std::size_t count = std::min<std::size_t>(le32(b.data()), (b.size() - 4) / kCuePoint);
        for (std::size_t i = 0; i < count; ++i) {
            const char* p = b.data() + 4 + i * kCuePoint;
            WaveCue c;
            c.id = le32(p);
            c.offset = le32(p + 20);
            m_.cues.push_back(c);
        }
    }

    // Places what only the whole walk tells: the sound's length, and the labels of the cues.
    void finish()
    {
        if (haveFormat_ && haveData_) {
            if (fixedFrameSize(formatTag_) && blockAlign_ != 0) {
                m_.frames = dataBytes_ / blockAlign_;
                m_.framesKnown = true;
            } else if (haveFact_) {
                m_.frames = factFrames_;
                m_.framesKnown = true;
            }
        }
        // A loop or point outside the sound has nothing to play: it is dropped.
        const quint64 frames = m_.framesKnown ? m_.frames : 0;
        m_.loops.erase(std::remove_if(m_.loops.begin(), m_.loops.end(),
                                      [&](const WaveLoop& l) { return l.start > l.end || l.end >= frames; }),
                       m_.loops.end());
        m_.cues.erase(std::remove_if(m_.cues.begin(), m_.cues.end(),
                                     [&](const WaveCue& c) { return !m_.framesKnown || c.offset > frames; }),
                      m_.cues.end());
        for (WaveCue& c : m_.cues) {
            c.label = labels_.value(c.id);
            c.note = notes_.value(c.id);
        }
    }

    HMMIO mmio_;
    WaveMetadata& m_;
    std::size_t budget_ = kMetadataBudget;
    int chunksLeft_ = kMaxChunks;
    bool haveFormat_ = false, haveData_ = false, haveFact_ = false, haveCues_ = false, haveXml_ = false;
    quint16 formatTag_ = 0, blockAlign_ = 0;
    quint64 dataBytes_ = 0;
    quint32 factFrames_ = 0;
    QHash<quint32, QString> labels_, notes_;
};

WaveMetadata readFrom(HMMIO mmio)
{
    WaveMetadata m;
    if (mmio)
        MetadataWalk(mmio, m).run();
    return m;
}

QString joined(const QStringList& parts, const QString& separator)
{
    QStringList present;
    for (const QString& p : parts)
        if (!p.isEmpty())
            present << p;
    return present.join(separator);
}

} // namespace

QString waveText(const char* bytes, std::size_t size)
{
    const std::size_t end = std::find(bytes, bytes + size, '\0') - bytes;
    const std::string_view s(bytes, end);
    const QString t = platform::isValidUtf8(s) ? QString::fromUtf8(s.data(), qsizetype(s.size()))
                                               : QString::fromLatin1(s.data(), qsizetype(s.size()));
    return t.trimmed();
}

WaveMetadata readWaveMetadata(const std::string& fileName)
{
    HMMIO mmio = mmioOpen(fileName.c_str(), nullptr, MMIO_READ);
    const waves_detail::MmioCloser closer(mmio);
    return readFrom(mmio);
}

WaveMetadata readWaveMetadata(const char* bytes, std::size_t size)
{
    MMIOINFO info;
    info.fccIOProc = FOURCC_MEM;
    info.pchBuffer = bytes;
    info.cchBuffer = LONG(std::min<std::size_t>(size, std::numeric_limits<LONG>::max()));
    HMMIO mmio = mmioOpen(nullptr, &info, MMIO_READ);
    const waves_detail::MmioCloser closer(mmio);
    return readFrom(mmio);
}

namespace {

bool readInfoAndMetadata(HMMIO mmio, TWaveInfo& info, WaveMetadata& metadata)
{
    info = TWaveInfo{};
    const waves_detail::MmioCloser closer(mmio);
    // The header first: it reads from the first bytes, which the walk below then finds in memory.
    const bool valid = mmio && waves_detail::readWaveInfoFrom(mmio, info);
    metadata = readFrom(mmio);
    return valid;
}

} // namespace

bool readWaveInfoAndMetadata(const std::string& fileName, TWaveInfo& info, WaveMetadata& metadata)
{
    return readInfoAndMetadata(mmioOpen(fileName.c_str(), nullptr, MMIO_READ), info, metadata);
}

bool readWaveInfoAndMetadata(int openFile, TWaveInfo& info, WaveMetadata& metadata)
{
    MMIOINFO open;
    open.fccIOProc = FOURCC_DOS;
    open.adwInfo[0] = DWORD(openFile);
    return readInfoAndMetadata(mmioOpen(nullptr, &open, MMIO_READ), info, metadata);
}

QString WaveMetadata::descriptionText() const
{
    for (const QString* t : {&description, &title, &comment, &note})
        if (!t->isEmpty())
            return *t;
    return {};
}

QString WaveMetadata::timeReferenceText() const
{
    if (!hasTimeReference || sampleRate == 0)
        return {};
    const quint64 ms = timeReference / sampleRate * 1000 + timeReference % sampleRate * 1000 / sampleRate;
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, zero)
        .arg(ms / 60000 % 60, 2, 10, zero)
        .arg(ms / 1000 % 60, 2, 10, zero)
        .arg(ms % 1000, 3, 10, zero);
}

QList<QPair<QString, QString>> WaveMetadata::namedTexts() const
{
    QList<QPair<QString, QString>> out;
    auto add = [&out](const char* caption, const QString& text) {
        if (!text.isEmpty())
            out.append({QString::fromLatin1(caption), text});
    };
    add("Description", description);
    add("Originator", originator);
    add("Origination date", joined({originationDate, originationTime}, QStringLiteral(" ")));
    add("Start time", timeReferenceText());
    add("Title", title);
    add("Artist", artist);
    add("Comment", comment);
    add("Creation date", created);
    add("Genre", genre);
    add("Keywords", keywords);
    add("Software", software);
    add("Project", project);
    add("Scene", scene);
    add("Take", take);
    add("Note", note);
    QStringList loopTexts;
    for (const WaveLoop& l : loops)
        loopTexts << QStringLiteral("%1-%2").arg(l.start).arg(l.end);
    add("Loops", loopTexts.join(QStringLiteral(", ")));
    QStringList cueTexts;
    for (const WaveCue& c : cues)
        cueTexts << joined({QString::number(c.offset), c.label}, QStringLiteral(" "));
    add("Markers", cueTexts.join(QStringLiteral(", ")));
    return out;
}

QString WaveMetadata::searchText() const
{
    QStringList parts{description, originator, title, artist, comment, created, genre, keywords, software,
                      project, scene, take, note};
    for (const WaveCue& c : cues)
        parts << c.label << c.note;
    return joined(parts, QStringLiteral(" "));
}
