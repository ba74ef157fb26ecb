// SPDX-License-Identifier: GPL-3.0-or-later
// The shared library's tables on PostgreSQL, made and upgraded by the program in versioned steps.
#include "library/postgreslibrarystore.h"

namespace library {

namespace {

// Version 1. Names and paths are bytea: bytes as the file system holds them. A root is kept by its name
// (the path where it was added); each machine maps the name to where it mounts it. own_words holds a
// file's folded name and texts, words those and its folder's words: one trigram index finds a file by
// either. Files, folders and measures go with what holds them.
const char* const kSchemaV1 = R"(
CREATE EXTENSION IF NOT EXISTS pg_trgm;
CREATE TABLE changes(id integer PRIMARY KEY CHECK(id = 1), count bigint NOT NULL);
INSERT INTO changes VALUES(1, 0);
CREATE TABLE roots(id bigserial PRIMARY KEY, name bytea NOT NULL UNIQUE, mount bytea NOT NULL,
  state integer NOT NULL DEFAULT 0, status text NOT NULL DEFAULT '', indexed bigint NOT NULL DEFAULT 0,
  round bigint NOT NULL DEFAULT 0, full_check boolean NOT NULL DEFAULT false, files bigint NOT NULL DEFAULT 0);
CREATE TABLE folders(id bigserial PRIMARY KEY, root bigint NOT NULL REFERENCES roots ON DELETE CASCADE,
  parent bigint, path bytea NOT NULL, words text NOT NULL, modified bigint NOT NULL DEFAULT 0,
  checked bigint NOT NULL DEFAULT 0, gone boolean NOT NULL DEFAULT false, UNIQUE(root, path));
CREATE TABLE files(id bigserial PRIMARY KEY, folder bigint NOT NULL REFERENCES folders ON DELETE CASCADE,
  name bytea NOT NULL, size bigint NOT NULL, modified bigint NOT NULL, device bigint NOT NULL,
  inode bigint NOT NULL, format integer, channels integer, bits integer, rate bigint, seconds double precision,
  loops bigint NOT NULL DEFAULT 0, description text NOT NULL DEFAULT '', missing boolean NOT NULL DEFAULT false,
  own_words text NOT NULL, words text NOT NULL, UNIQUE(folder, name));
CREATE INDEX files_words ON files USING gin (words gin_trgm_ops);
CREATE INDEX files_identity ON files(device, inode);
CREATE TABLE measures(file bigint PRIMARY KEY REFERENCES files ON DELETE CASCADE, loudness double precision,
  peak double precision, tempo double precision, pitch double precision, key integer, decoded boolean NOT NULL);
CREATE INDEX measures_loudness ON measures(loudness) WHERE loudness IS NOT NULL;
CREATE INDEX measures_peak ON measures(peak) WHERE peak IS NOT NULL;
CREATE INDEX measures_tempo ON measures(tempo) WHERE tempo IS NOT NULL;
CREATE INDEX measures_pitch ON measures(pitch) WHERE pitch IS NOT NULL;
CREATE INDEX measures_key ON measures(key) WHERE key IS NOT NULL;
)";

// Version 2: the users' marks by absolute path (under a root's name) and identity, linked to the
// index's entry of the file while it has one. Favourites are each user's; tags are shared, with who set
// them and when. The triggers keep the marks with the file as the SQLite library's do.
const char* const kSchemaV2 = R"(
CREATE TABLE marks(id bigserial PRIMARY KEY, path bytea NOT NULL UNIQUE, device bigint NOT NULL,
  inode bigint NOT NULL, size bigint NOT NULL, modified bigint NOT NULL,
  file bigint REFERENCES files ON DELETE SET NULL);
CREATE INDEX marks_identity ON marks(device, inode);
CREATE INDEX marks_file ON marks(file) WHERE file IS NOT NULL;
CREATE TABLE favourites(mark bigint NOT NULL REFERENCES marks ON DELETE CASCADE, who text NOT NULL,
  at timestamptz NOT NULL DEFAULT now(), PRIMARY KEY(mark, who));
CREATE TABLE tags(mark bigint NOT NULL REFERENCES marks ON DELETE CASCADE, folded text NOT NULL, tag text NOT NULL,
  who text NOT NULL, at timestamptz NOT NULL DEFAULT now(), PRIMARY KEY(mark, folded));
CREATE INDEX tags_folded ON tags(folded);
CREATE FUNCTION tonfolio_indexed_path(in_folder bigint, in_name bytea) RETURNS bytea LANGUAGE sql STABLE AS $$
  SELECT r.name || '/'::bytea || CASE WHEN length(d.path) > 0 THEN d.path || '/'::bytea ELSE ''::bytea END || in_name
  FROM folders d JOIN roots r ON r.id = d.root WHERE d.id = in_folder $$;
CREATE FUNCTION tonfolio_marks_found() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE p bytea;
BEGIN
  IF NOT EXISTS (SELECT 1 FROM marks) THEN RETURN NULL; END IF;
  p := tonfolio_indexed_path(NEW.folder, NEW.name);
  UPDATE marks SET file = NEW.id, device = NEW.device, inode = NEW.inode, size = NEW.size, modified = NEW.modified
    WHERE path = p;
  IF NOT FOUND THEN
    UPDATE marks SET file = NEW.id, path = p WHERE id = (SELECT id FROM marks WHERE device = NEW.device AND
      inode = NEW.inode AND size = NEW.size AND modified = NEW.modified ORDER BY id LIMIT 1);
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER marks_found AFTER INSERT ON files FOR EACH ROW EXECUTE FUNCTION tonfolio_marks_found();
CREATE FUNCTION tonfolio_marks_moved() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE p bytea;
BEGIN
  p := tonfolio_indexed_path(NEW.folder, NEW.name);
  UPDATE marks SET path = p WHERE file = NEW.id AND NOT EXISTS (SELECT 1 FROM marks o WHERE o.path = p);
  RETURN NULL;
END $$;
CREATE TRIGGER marks_moved AFTER UPDATE OF folder, name ON files FOR EACH ROW
  WHEN (OLD.folder <> NEW.folder OR OLD.name <> NEW.name) EXECUTE FUNCTION tonfolio_marks_moved();
CREATE FUNCTION tonfolio_marks_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  UPDATE marks SET size = NEW.size, modified = NEW.modified, device = NEW.device, inode = NEW.inode
    WHERE file = NEW.id;
  RETURN NULL;
END $$;
CREATE TRIGGER marks_changed AFTER UPDATE OF size, modified, device, inode ON files FOR EACH ROW
  WHEN (OLD.size <> NEW.size OR OLD.modified <> NEW.modified OR OLD.device <> NEW.device OR OLD.inode <> NEW.inode)
  EXECUTE FUNCTION tonfolio_marks_changed();
)";

// Version 3: how each file sounds (soundfeatures.h), for finding sounds alike; the features go with the
// file's measures.
const char* const kSchemaV3 = R"(
CREATE TABLE sound_features(file bigint PRIMARY KEY REFERENCES measures ON DELETE CASCADE, features bytea NOT NULL);
)";

// Version 4: the pairs of letters and digits in each file's words, as words of their own, so that the
// trigram index finds a word of two characters too ("% kc %" for "kc"), which a pattern of two
// characters alone cannot use.
const char* const kSchemaV4 = R"(
CREATE FUNCTION tonfolio_pairs(t text) RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT ' ' || coalesce(string_agg(DISTINCT p, ' '), '') || ' ' FROM (SELECT substr(t, i, 2) AS p
  FROM generate_series(1, length(t) - 1) AS i) s WHERE p ~ '^[a-z0-9][a-z0-9]$' $$;
ALTER TABLE files ADD COLUMN pairs text GENERATED ALWAYS AS (tonfolio_pairs(words)) STORED;
CREATE INDEX files_pairs ON files USING gin (pairs gin_trgm_ops);
)";

// Version 5: searches at a keystroke's pace. Each file carries a copy of its measures (decoded is null
// while it has none), kept by a trigger from the measures' table, so that a word and a range meet in the
// indexes of one table instead of in a join of every file with a word and every measure in the range,
// and a row found needs no join; and one index holds the words, their pairs and the run of ids each file
// is in (kIdRun), so that all narrow each other in one scan and a search in the order of the ids can
// stop after the first runs.
const char* const kSchemaV5 = R"(
ALTER TABLE files ADD COLUMN loudness double precision, ADD COLUMN peak double precision,
  ADD COLUMN tempo double precision, ADD COLUMN pitch double precision, ADD COLUMN key integer,
  ADD COLUMN decoded boolean;
UPDATE files f SET loudness = m.loudness, peak = m.peak, tempo = m.tempo, pitch = m.pitch, key = m.key,
  decoded = m.decoded FROM measures m WHERE m.file = f.id;
DROP INDEX measures_loudness, measures_peak, measures_tempo, measures_pitch, measures_key, files_words, files_pairs;
CREATE INDEX files_loudness ON files(loudness) WHERE loudness IS NOT NULL;
CREATE INDEX files_peak ON files(peak) WHERE peak IS NOT NULL;
CREATE INDEX files_tempo ON files(tempo) WHERE tempo IS NOT NULL;
CREATE INDEX files_pitch ON files(pitch) WHERE pitch IS NOT NULL;
CREATE INDEX files_key ON files(key) WHERE key IS NOT NULL;
CREATE EXTENSION IF NOT EXISTS btree_gin;
CREATE INDEX files_words ON files USING gin ((id / 32768), words gin_trgm_ops, pairs gin_trgm_ops);
CREATE FUNCTION tonfolio_measures_copied() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'DELETE' THEN
    UPDATE files SET loudness = NULL, peak = NULL, tempo = NULL, pitch = NULL, key = NULL, decoded = NULL
      WHERE id = OLD.file;
  ELSE
    UPDATE files SET loudness = NEW.loudness, peak = NEW.peak, tempo = NEW.tempo, pitch = NEW.pitch, key = NEW.key,
      decoded = NEW.decoded WHERE id = NEW.file;
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER measures_copied AFTER INSERT OR UPDATE OR DELETE ON measures FOR EACH ROW
  EXECUTE FUNCTION tonfolio_measures_copied();
)";

} // namespace

const std::vector<const char*>& PostgresLibraryStore::migrations()
{
    static const std::vector<const char*> steps = {kSchemaV1, kSchemaV2, kSchemaV3, kSchemaV4, kSchemaV5};
    return steps;
}

} // namespace library
