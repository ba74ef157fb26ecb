// SPDX-License-Identifier: GPL-3.0-or-later
// The SQLite library's tables, version by version.
#include "library/sqlitelibrarystore.h"

namespace library {

namespace {

// "Tonl": the library's files, told apart from the measures cache ("Tonf") and everyone else's.
constexpr int kApplicationId = 0x546f6e6c;
// A file larger than this is not read whole at every start; damage met in use sets it aside then.
constexpr std::int64_t kCheckPagesUpTo = 64 << 20;

// Version 1. Names and paths are BLOBs: bytes as the file system holds them. file_words and
// folder_words hold the folded texts searched, by the row ids of files and folders; file_words has its
// folder's words too, so that one full-text query in row id order finds a file by either and stops at
// the first rows asked for.
const char* const kSchemaV1 = R"(
CREATE TABLE changes(id INTEGER PRIMARY KEY CHECK(id = 1), count INTEGER NOT NULL);
INSERT INTO changes VALUES(1, 0);
CREATE TABLE roots(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE, mount BLOB NOT NULL,
  state INTEGER NOT NULL DEFAULT 0, status TEXT NOT NULL DEFAULT '', indexed INTEGER NOT NULL DEFAULT 0,
  round INTEGER NOT NULL DEFAULT 0, full_check INTEGER NOT NULL DEFAULT 0, files INTEGER NOT NULL DEFAULT 0);
CREATE TABLE folders(id INTEGER PRIMARY KEY, root INTEGER NOT NULL, parent INTEGER, path BLOB NOT NULL,
  modified INTEGER NOT NULL DEFAULT 0, checked INTEGER NOT NULL DEFAULT 0, gone INTEGER NOT NULL DEFAULT 0,
  UNIQUE(root, path));
CREATE TABLE files(id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, name BLOB NOT NULL,
  size INTEGER NOT NULL, modified INTEGER NOT NULL, device INTEGER NOT NULL, inode INTEGER NOT NULL,
  format INTEGER, channels INTEGER, bits INTEGER, rate INTEGER, seconds REAL,
  missing INTEGER NOT NULL DEFAULT 0, UNIQUE(folder, name));
CREATE TABLE measures(file INTEGER PRIMARY KEY, loudness REAL, peak REAL, tempo REAL, pitch REAL,
  key INTEGER, decoded INTEGER NOT NULL);
CREATE INDEX measures_loudness ON measures(loudness) WHERE loudness IS NOT NULL;
CREATE INDEX measures_peak ON measures(peak) WHERE peak IS NOT NULL;
CREATE INDEX measures_tempo ON measures(tempo) WHERE tempo IS NOT NULL;
CREATE INDEX measures_pitch ON measures(pitch) WHERE pitch IS NOT NULL;
CREATE INDEX measures_key ON measures(key) WHERE key IS NOT NULL;
CREATE VIRTUAL TABLE file_words USING fts5(words, folder, tokenize='trigram');
CREATE VIRTUAL TABLE file_trigrams USING fts5vocab(file_words, row);
CREATE VIRTUAL TABLE folder_words USING fts5(words, tokenize='trigram');
)";

// Version 3: what a file's own chunks say of it, shown in the results. Files indexed before keep
// the defaults until they change.
const char* const kSchemaV3 = R"(
ALTER TABLE files ADD COLUMN loops INTEGER NOT NULL DEFAULT 0;
ALTER TABLE files ADD COLUMN description TEXT NOT NULL DEFAULT '';
)";

// Version 4: how each file sounds, for finding sounds alike (soundfeatures.h: float32 in a blob). The
// features go with the file's measures; every file is measured again to get them.
const char* const kSchemaV4 = R"(
CREATE TABLE sound_features(file INTEGER PRIMARY KEY, features BLOB NOT NULL);
CREATE TRIGGER sound_features_go AFTER DELETE ON measures BEGIN DELETE FROM sound_features WHERE file = old.file; END;
DELETE FROM measures;
)";

// Version 5: the words searched are kept in plain tables, and the full-text index reads them from
// there. A pass writes a file's words as plain rows, which costs a fraction of indexing them, and the
// index catches up behind it (indexWords); until it has, the rows it does not have yet are searched
// one by one, so nothing is missing from a search meanwhile. The triggers keep the index to the rows
// it has. Folder words are only ever read by id: a plain table.
const char* const kSchemaV5 = R"(
CREATE TABLE file_text(id INTEGER PRIMARY KEY, words TEXT NOT NULL, folder TEXT NOT NULL,
  indexed INTEGER NOT NULL DEFAULT 0);
INSERT INTO file_text(id, words, folder) SELECT rowid, words, folder FROM file_words;
DROP TABLE file_trigrams;
DROP TABLE file_words;
CREATE VIRTUAL TABLE file_words USING fts5(words, folder, content='file_text', content_rowid='id',
  tokenize='trigram');
CREATE VIRTUAL TABLE file_trigrams USING fts5vocab(file_words, row);
CREATE INDEX file_text_waiting ON file_text(id) WHERE indexed = 0;
CREATE TRIGGER file_text_gone AFTER DELETE ON file_text WHEN old.indexed BEGIN
  INSERT INTO file_words(file_words, rowid, words, folder) VALUES('delete', old.id, old.words, old.folder);
END;
CREATE TRIGGER file_text_changed AFTER UPDATE OF words, folder ON file_text WHEN old.indexed BEGIN
  INSERT INTO file_words(file_words, rowid, words, folder) VALUES('delete', old.id, old.words, old.folder);
  INSERT INTO file_words(rowid, words, folder) VALUES(new.id, new.words, new.folder);
END;
CREATE TABLE folder_text(id INTEGER PRIMARY KEY, words TEXT NOT NULL);
INSERT INTO folder_text(id, words) SELECT rowid, words FROM folder_words;
DROP TABLE folder_words;
CREATE INDEX files_missing ON files(folder) WHERE missing = 1;
)";

} // namespace

const platform::DatabaseSchema& SqliteLibraryStore::schema()
{
    static const platform::DatabaseSchema s = [] {
        platform::DatabaseSchema d;
        d.applicationId = kApplicationId;
        d.migrations = {kSchemaV1, marksSchema(), kSchemaV3, kSchemaV4, kSchemaV5};
        d.probes = {"SELECT id, path, mount, state, status, indexed, round, full_check, files FROM roots",
                    "SELECT id, root, parent, path, modified, checked, gone FROM folders",
                    "SELECT id, folder, name, size, modified, device, inode, format, channels, bits, rate, seconds,"
                    " missing, loops, description FROM files",
                    "SELECT file, loudness, peak, tempo, pitch, key, decoded FROM measures",
                    "SELECT id, words, folder, indexed FROM file_text",
                    "SELECT rowid FROM file_words WHERE file_words MATCH 'wav' LIMIT 1",
                    "SELECT id, words FROM folder_text",
                    "SELECT count FROM changes",
                    "SELECT id, path, device, inode, size, modified, favourite, file FROM marks",
                    "SELECT mark, folded, tag FROM tags",
                    "SELECT file, features FROM sound_features"};
        d.checkPagesUpTo = kCheckPagesUpTo;
        return d;
    }();
    return s;
}

} // namespace library
