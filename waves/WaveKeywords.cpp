// SPDX-License-Identifier: GPL-3.0-or-later
#include "waves/WaveKeywords.h"

#include "platform/files/copyfile.h"
#include "platform/files/nativepath.h"
#include "waves/WaveForm.h"
#include "waves/WaveMetadata.h"

#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

using namespace platform;

// An INFO list larger than this is no list of texts: such a file is left alone.
constexpr qint64 kMaxInfoList = 1024 * 1024;
constexpr FOURCC kInfo = mmioFOURCC('I', 'N', 'F', 'O');
constexpr FOURCC kKeywords = mmioFOURCC('I', 'K', 'E', 'Y');

std::string le32(quint32 v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
}

std::string chunkBytes(const char* id, const std::string& body)
{
    return std::string(id, 4) + le32(quint32(body.size())) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

/// One chunk as it lies in the file: its header's offset and its bytes with header and pad byte.
struct Placed {
    FOURCC id = 0;
    FOURCC type = 0;
    qint64 at = 0;
    qint64 length = 0;
    quint32 size = 0; ///< as its header declares
};

/// The chunks from `from` to `end` (a parent's data); none when they do not exactly fill it.
std::optional<std::vector<Placed>> layout(HMMIO mmio, const MMCKINFO& parent, qint64 from, qint64 end)
{
    std::vector<Placed> chunks;
    if (mmioSeek(mmio, LONG(from), SEEK_SET) != from)
        return std::nullopt;
    qint64 at = from;
    while (at < end) {
        MMCKINFO ck{};
        if (end - at < 8 || mmioDescend(mmio, &ck, &parent, 0) != MMSYSERR_NOERROR || qint64(ck.dwDataOffset) != at + 8)
            return std::nullopt;
        const qint64 length = 8 + qint64(ck.cksize) + (ck.cksize & 1);
        if (at + length > end)
            return std::nullopt;
        chunks.push_back({ck.ckid, ck.fccType, at, length, ck.cksize});
        mmioAscend(mmio, &ck, 0);
        at += length;
    }
    return chunks;
}

bool readAt(HMMIO mmio, qint64 at, qint64 length, std::string& out)
{
    out.resize(size_t(length));
    return mmioSeek(mmio, LONG(at), SEEK_SET) == at && mmioRead(mmio, out.data(), LONG(length)) == LONG(length);
}

/// Whether two stretches of two files hold the same bytes.
bool sameBytes(HMMIO a, qint64 atA, HMMIO b, qint64 atB, qint64 length)
{
    constexpr qint64 kBlock = 1 << 20;
    std::string x, y;
    for (qint64 done = 0; done < length; done += kBlock) {
        const qint64 n = std::min(kBlock, length - done);
        if (!readAt(a, atA + done, n, x) || !readAt(b, atB + done, n, y) || x != y)
            return false;
    }
    return true;
}

QString joinedKeywords(const QStringList& keywords)
{
    QStringList kept;
    for (const QString& k : keywords)
        if (!k.trimmed().isEmpty())
            kept << k.trimmed();
    return kept.join(QStringLiteral("; "));
}

QString reasonOf(const CopyResult& r)
{
    switch (r.status) {
    case CopyResult::Copied:
        return {};
    case CopyResult::SourceFailed:
    case CopyResult::NotRegular:
        return QStringLiteral("the file cannot be read");
    case CopyResult::WriteFailed:
        if (r.error == EACCES || r.error == EPERM || r.error == EROFS)
            return QStringLiteral("the file or its folder is read-only");
        if (r.error == ENOSPC || r.error == EDQUOT)
            return QStringLiteral("the disk is full");
        return QStringLiteral("the new file cannot be written (%1)")
            .arg(QString::fromLocal8Bit(std::strerror(r.error)));
    case CopyResult::Mismatch:
        return QStringLiteral("the new file did not read back as written, or the file changed meanwhile");
    case CopyResult::Cancelled:
    case CopyResult::PlaceFailed:
        break;
    }
    return QStringLiteral("the new file cannot take the file's place (%1)")
        .arg(QString::fromLocal8Bit(std::strerror(r.error)));
}

KeywordsWrite refused(const char* reason)
{
    return {false, QString::fromLatin1(reason)};
}

} // namespace

KeywordsWrite writeKeywords(const std::string& path, const QStringList& keywords)
{
    std::string native = path;
    if (path.empty() || path[0] != '/') {
        const auto resolved = existingNativePath(path);
        if (!resolved)
            return refused("the file cannot be found");
        native = *resolved;
    }
    HMMIO mmio = mmioOpen(native.c_str(), nullptr, MMIO_READ);
    if (!mmio)
        return refused("the file cannot be read");
    const waves_detail::MmioCloser closer(mmio);
    MMCKINFO form{};
    bool rf64 = false;
    quint64 rf64Data = 0;
    if (!waves_detail::enterWaveForm(mmio, form, rf64, rf64Data) || rf64)
        return refused("it is not a RIFF wave file");
    const qint64 fileSize = mmioSeek(mmio, 0, SEEK_END);
    const qint64 formEnd = 8 + qint64(form.cksize);
    const auto chunks = layout(mmio, form, 12, formEnd);
    if (fileSize < formEnd || !chunks)
        return refused("its chunks do not add up (a damaged file)");

    // The new INFO list: the first one's texts but IKEY, the new IKEY where the old one stood or last.
    const QString joined = joinedKeywords(keywords);
    const QByteArray text = joined.toUtf8();
    const std::string keywordChunk =
        joined.isEmpty() ? std::string()
                         : chunkBytes("IKEY", std::string(text.constData(), size_t(text.size())) + '\0');
    std::optional<size_t> infoIndex;
    std::string info = "INFO";
    bool placed = false;
    for (size_t i = 0; i < chunks->size() && !infoIndex; ++i) {
        const Placed& c = (*chunks)[i];
        if (c.id != FOURCC_LIST || c.type != kInfo)
            continue;
        if (c.length > kMaxInfoList)
            return refused("its INFO list is too large to be a list of texts");
        infoIndex = i;
        MMCKINFO list{};
        list.ckid = FOURCC_LIST;
        list.cksize = c.size;
        list.dwDataOffset = DWORD(c.at + 8);
        const auto texts = layout(mmio, list, c.at + 12, c.at + 8 + c.size);
        if (!texts)
            return refused("its INFO list is damaged");
        for (const Placed& t : *texts) {
            std::string bytes;
            if (t.id == kKeywords) {
                if (!placed)
                    info += keywordChunk;
                placed = true;
            } else if (readAt(mmio, t.at, t.length, bytes)) {
                info += bytes;
            } else {
                return refused("the file cannot be read");
            }
        }
    }
    if (!placed)
        info += keywordChunk;
    const std::string newList = info.size() > 4 ? chunkBytes("LIST", info) : std::string();

    std::vector<FilePiece> pieces(1);
    qint64 formSize = 4;
    struct Kept {
        qint64 from, to, length; ///< offsets in the original and in the new file
    };
    std::vector<Kept> kept;
    auto own = [&](const std::string& bytes) {
        FilePiece p;
        p.bytes = bytes;
        pieces.push_back(p);
        formSize += qint64(bytes.size());
    };
    auto keep = [&](qint64 at, qint64 length) {
        FilePiece p;
        p.offset = at;
        p.length = length;
        pieces.push_back(p);
        kept.push_back({at, 8 + formSize, length});
        formSize += length;
    };
    for (size_t i = 0; i < chunks->size(); ++i)
        if (infoIndex && i == *infoIndex)
            own(newList);
        else
            keep((*chunks)[i].at, (*chunks)[i].length);
    if (!infoIndex)
        own(newList);
    if (formSize > qint64(0xFFFFFFFFu))
        return refused("the file would grow beyond the size of a RIFF wave file");
    pieces[0].bytes = "RIFF" + le32(quint32(formSize)) + "WAVE";
    if (fileSize > formEnd) { // bytes after the form stay after it
        FilePiece p;
        p.offset = formEnd;
        p.length = fileSize - formEnd;
        pieces.push_back(p);
        kept.push_back({formEnd, 8 + formSize, fileSize - formEnd});
    }

    // The copy must hold every kept chunk unchanged, and give back the keywords written.
    auto check = [&](const std::string& temporary) {
        HMMIO copy = mmioOpen(temporary.c_str(), nullptr, MMIO_READ);
        const waves_detail::MmioCloser copyCloser(copy);
        if (!copy || mmioSeek(copy, 0, SEEK_END) != 8 + formSize + (fileSize - formEnd))
            return false;
        for (const Kept& k : kept)
            if (!sameBytes(mmio, k.from, copy, k.to, k.length))
                return false;
        return readWaveMetadata(temporary).keywords == waveText(text.constData(), size_t(text.size()));
    };
    const CopyResult result = rewriteFileVerified(native, pieces, check);
    return {result.ok(), reasonOf(result)};
}

QStringList keywordsOf(const std::string& path)
{
    QStringList out;
    for (const QString& k : readWaveMetadata(path).keywords.split(QRegularExpression(QStringLiteral("[;,]"))))
        if (!k.trimmed().isEmpty())
            out << k.trimmed();
    return out;
}
