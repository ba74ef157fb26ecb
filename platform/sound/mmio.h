// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Multimedia file I/O: read-only navigation of RIFF chunks in a file named by its drive-letter path.
// Only regular files are opened; every search stays inside the file and its parent chunk, so a damaged
// or hostile file ends a search instead of sending it past the end or round in circles.

#include "platform/types.h"

namespace platform {

using FOURCC = DWORD;
using MMRESULT = UINT;
struct MmioFile;
/// An open multimedia file; null when none.
using HMMIO = MmioFile*;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d)
{
    return FOURCC(BYTE(a)) | FOURCC(BYTE(b)) << 8 | FOURCC(BYTE(c)) << 16 | FOURCC(BYTE(d)) << 24;
}

constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');
/// MMIOINFO::fccIOProc of a memory file: the bytes of pchBuffer are read instead of a named file.
constexpr FOURCC FOURCC_MEM = mmioFOURCC('M', 'E', 'M', ' ');
/// MMIOINFO::fccIOProc of a file already open: adwInfo[0] is its descriptor, which mmioClose closes.
constexpr FOURCC FOURCC_DOS = mmioFOURCC('D', 'O', 'S', ' ');

// Open flags. Only reading is offered.
constexpr DWORD MMIO_READ = 0x00000000;
constexpr DWORD MMIO_WRITE = 0x00000001;
constexpr DWORD MMIO_READWRITE = 0x00000002;
constexpr DWORD MMIO_CREATE = 0x00001000;
constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
constexpr DWORD MMIO_DENYWRITE = 0x00000020;
constexpr DWORD MMIO_DENYNONE = 0x00000040;

// mmioStringToFOURCC flags.
constexpr UINT MMIO_TOUPPER = 0x0010;

// mmioDescend flags.
constexpr UINT MMIO_FINDCHUNK = 0x0010;
constexpr UINT MMIO_FINDRIFF = 0x0020;
constexpr UINT MMIO_FINDLIST = 0x0040;

// Results.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMIOERR_BASE = 256;
constexpr MMRESULT MMIOERR_FILENOTFOUND = MMIOERR_BASE + 1;
constexpr MMRESULT MMIOERR_CANNOTOPEN = MMIOERR_BASE + 3;
constexpr MMRESULT MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
constexpr MMRESULT MMIOERR_CANNOTWRITE = MMIOERR_BASE + 6;
constexpr MMRESULT MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;

/// Extra open information: wErrorRet tells the reason of a failed open; with fccIOProc FOURCC_MEM the
/// cchBuffer bytes at pchBuffer are opened (copied at the open) instead of a file, with FOURCC_DOS and
/// no name the open file adwInfo[0].
struct MMIOINFO {
    DWORD dwFlags = 0;
    FOURCC fccIOProc = 0;
    UINT wErrorRet = 0;
    const char* pchBuffer = nullptr;
    LONG cchBuffer = 0;
    DWORD adwInfo[3] = {};
};

/// One chunk: identifier, data size, form or list type (RIFF and LIST chunks) and file offset of its data.
struct MMCKINFO {
    FOURCC ckid = 0;
    DWORD cksize = 0;
    FOURCC fccType = 0;
    DWORD dwDataOffset = 0;
    DWORD dwFlags = 0;
};

/// The code of a text of up to four characters, padded with blanks; MMIO_TOUPPER upper-cases it first.
FOURCC mmioStringToFOURCC(const char* text, UINT flags);

/// Opens a regular file (or a memory file, see MMIOINFO) for reading (flags MMIO_READ, sharing flags
/// ignored). Writing is refused.
/// Null on failure; info->wErrorRet (when given) and the last error tell why.
HMMIO mmioOpen(const char* fileName, MMIOINFO* info, DWORD flags);

/// Finds a chunk from the current position and enters it; see the flags above. With no flag, enters
/// the chunk that starts here. A parent bounds the search to its data. On success ck is filled and the
/// file stands at the chunk's data (after the type of a RIFF or LIST chunk); otherwise
/// MMIOERR_CHUNKNOTFOUND and the position is unchanged.
MMRESULT mmioDescend(HMMIO mmio, MMCKINFO* ck, const MMCKINFO* parent, UINT flags);

/// Leaves a chunk: the file stands after its data and pad byte.
MMRESULT mmioAscend(HMMIO mmio, MMCKINFO* ck, UINT flags);

/// Moves the current position: origin SEEK_SET, SEEK_CUR or SEEK_END (from <cstdio>). Returns the new
/// position, or -1 for a position before the start or beyond 31 bits.
LONG mmioSeek(HMMIO mmio, LONG offset, int origin);

/// Reads up to count bytes at the current position; the number read (0 at the end), -1 on error.
LONG mmioRead(HMMIO mmio, char* buffer, LONG count);

/// Closes the file.
MMRESULT mmioClose(HMMIO mmio, UINT flags);

} // namespace platform
