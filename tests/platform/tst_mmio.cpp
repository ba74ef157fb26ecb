// SPDX-License-Identifier: GPL-3.0-or-later
// RIFF navigation: searches, nesting, pad bytes, bounds, reads beyond the read-ahead window.
#include "platform/sound/mmio.h"
#include "support/tempdrive.h"
#include "waves/riffbytes.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace riffbytes;
using testing_support::TempDrive;

namespace {

std::string readText(HMMIO h, LONG count)
{
    std::string s(std::size_t(count), '\0');
    const LONG n = mmioRead(h, s.data(), count);
    s.resize(n > 0 ? std::size_t(n) : 0);
    return s;
}

FOURCC code(const char* text)
{
    return mmioStringToFOURCC(text, 0);
}

} // namespace

TEST(Mmio, StringToFourcc)
{
    struct Row {
        const char* text;
        UINT flags;
        FOURCC expected;
    };
    const Row rows[] = {
        {"WAVE", 0, mmioFOURCC('W', 'A', 'V', 'E')},
        {"wave", MMIO_TOUPPER, mmioFOURCC('W', 'A', 'V', 'E')},
        {"fmt ", 0, mmioFOURCC('f', 'm', 't', ' ')},
        {"fmt", 0, mmioFOURCC('f', 'm', 't', ' ')},
        {"", 0, mmioFOURCC(' ', ' ', ' ', ' ')},
        {"datablock", 0, mmioFOURCC('d', 'a', 't', 'a')},
        {"a1b", MMIO_TOUPPER, mmioFOURCC('A', '1', 'B', ' ')},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(mmioStringToFOURCC(r.text, r.flags), r.expected);
    }
    EXPECT_EQ(FOURCC_RIFF, 0x46464952u);
}

// RIFF(WAVE: fmt, LIST(INFO: ISFT odd, INAM), data odd) followed by a top-level "tail" chunk.
TEST(Mmio, WalksNestedChunksWithPadBytes)
{
    TempDrive drive;
    const std::string list = chunk("LIST", "INFO" + chunk("ISFT", "sox") + chunk("INAM", "hi"));
    drive.write("n.wav",
                riff(chunk("fmt ", fmtBody(1, 1, 8000, 8)) + list + chunk("data", "xyz")) + chunk("tail", "end!"));
    HMMIO h = mmioOpen("C:\\N.WAV", nullptr, MMIO_READ);
    ASSERT_NE(h, nullptr);

    MMCKINFO riffCk{};
    riffCk.fccType = mmioStringToFOURCC("wave", MMIO_TOUPPER);
    ASSERT_EQ(mmioDescend(h, &riffCk, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riffCk.ckid, FOURCC_RIFF);
    EXPECT_EQ(riffCk.dwDataOffset, 8u);
    MMCKINFO fmt{};
    fmt.ckid = code("fmt ");
    ASSERT_EQ(mmioDescend(h, &fmt, &riffCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(fmt.dwDataOffset, 20u); // the search started after the form type
    EXPECT_EQ(fmt.fccType, 0u);
    mmioAscend(h, &fmt, 0);

    MMCKINFO listCk{};
    listCk.fccType = code("INFO");
    ASSERT_EQ(mmioDescend(h, &listCk, &riffCk, MMIO_FINDLIST), MMSYSERR_NOERROR);
    MMCKINFO item{};
    item.ckid = code("INAM");
    ASSERT_EQ(mmioDescend(h, &item, &listCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(item.cksize, 2u);
    EXPECT_EQ(readText(h, 2), "hi");
    mmioAscend(h, &item, 0);
    item.ckid = code("data"); // not inside the list: the search ends with the list
    EXPECT_EQ(mmioDescend(h, &item, &listCk, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    mmioAscend(h, &listCk, 0);
    MMCKINFO data{};
    data.ckid = code("data");
    ASSERT_EQ(mmioDescend(h, &data, &riffCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(readText(h, 3), "xyz");
    mmioAscend(h, &data, 0);
    MMCKINFO any{};
    item.ckid = code("fmt ");
    EXPECT_EQ(mmioDescend(h, &item, &riffCk, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    // After the odd data chunk and its pad byte the next chunk is the top-level one, entered as it is.
    ASSERT_EQ(mmioDescend(h, &any, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(any.ckid, code("tail"));
    EXPECT_EQ(readText(h, 10), "end!");
    EXPECT_EQ(readText(h, 10), "");
    EXPECT_EQ(mmioDescend(h, &any, nullptr, 0), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

// Chunks far apart and reads larger than the read-ahead window return the file's bytes exactly.
TEST(Mmio, ReadsAcrossALargeFile)
{
    TempDrive drive;
    std::string big(700000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 % 251);
    drive.write("big.wav", riff(chunk("big ", big) + chunk("data", "tail")));
    HMMIO h = mmioOpen("C:\\big.wav", nullptr, MMIO_READ);
    ASSERT_NE(h, nullptr);
    MMCKINFO riffCk{};
    riffCk.fccType = code("WAVE");
    ASSERT_EQ(mmioDescend(h, &riffCk, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    MMCKINFO ck{};
    ck.ckid = code("big ");
    ASSERT_EQ(mmioDescend(h, &ck, &riffCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(readText(h, 100), big.substr(0, 100));
    EXPECT_EQ(readText(h, 400000), big.substr(100, 400000));
    EXPECT_EQ(readText(h, 1000), big.substr(400100, 1000));
    mmioAscend(h, &ck, 0);
    ck.ckid = code("data");
    ASSERT_EQ(mmioDescend(h, &ck, &riffCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(ck.dwDataOffset, 12u + 8 + 700000 + 8);
    EXPECT_EQ(readText(h, 100), "tail");
    mmioClose(h, 0);
}

TEST(Mmio, RefusedOpensAndBadHandles)
{
    TempDrive drive;
    drive.write("a.wav", riff(""));
    drive.mkdirs("dir.wav");
    MMIOINFO info;
    EXPECT_EQ(mmioOpen("C:\\A.WAV", &info, MMIO_WRITE), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_CANNOTWRITE);
    EXPECT_EQ(mmioOpen("C:\\A.WAV", &info, MMIO_READWRITE), nullptr);
    EXPECT_EQ(mmioOpen("C:\\MISSING.WAV", &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_FILENOTFOUND);
    EXPECT_EQ(mmioOpen("C:\\DIR.WAV", &info, MMIO_READ), nullptr);
    EXPECT_NE(info.wErrorRet, MMSYSERR_NOERROR);
    EXPECT_EQ(mmioOpen(nullptr, &info, MMIO_READ), nullptr);

    MMCKINFO ck{};
    char byte;
    EXPECT_EQ(mmioDescend(nullptr, &ck, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioAscend(nullptr, &ck, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioRead(nullptr, &byte, 1), -1);
    EXPECT_EQ(mmioClose(nullptr, 0), MMSYSERR_INVALHANDLE);

    HMMIO h = mmioOpen("C:\\A.WAV", &info, MMIO_READ | MMIO_DENYWRITE);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(info.wErrorRet, MMSYSERR_NOERROR);
    EXPECT_EQ(mmioRead(h, &byte, -1), -1);
    EXPECT_EQ(mmioRead(h, nullptr, 0), 0);
    mmioClose(h, 0);
}
