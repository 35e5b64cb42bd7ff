// Writing compound index files, crash-safely.
//
// Every change writes the file's whole new state beside it under a
// temporary name, syncs it, renames it over the old file and syncs the
// folder, so a crash at any moment leaves the old file or the new one. An
// interrupted write leaves at most a temporary file, which
// RemoveIndexTemporaries (called when the table is opened) removes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/index/IndexBuilder.h"
#include "engine/util/EngineError.h"

namespace engine {

class FullTextTagBuild;
class TableCipher;

// The points a write passes, in order.
enum class IndexWriteStep {
  TemporaryCreated,  // the temporary file exists, nothing written yet
  TagWritten,        // one more tag's pages are written
  Synced,            // the temporary file is complete and on disk, not yet renamed
  Replaced,          // the new file has taken the old one's name
};

struct IndexWriteOptions {
  // 512, 1024, 2048, 4096 or 8192; 0 keeps the existing file's page size, or
  // lets the engine choose for a new file (1024, more when a key needs it).
  uint32_t PageSize = 0;
  // Called at each step (progress; tests stop a process there).
  std::function<void(IndexWriteStep)> OnStep;
  // The key of an encrypted table (its password enabled): the existing file
  // is read and the new one written under it (IndexFileCrypto.h). nullptr
  // for a table that is not encrypted.
  const TableCipher* Key = nullptr;
};

// Adds the tag of `tag` to the index file at `index_path`: creates the file
// when there is none, replaces a tag of the same name (in its place), and
// keeps every other tag. Finishes the builder first when needed. A page size
// other than the existing file's lays the kept tags out again in the new
// size. Errors: the builder's, AE_INDEX_DUPLICATE_KEY naming the tag and
// the key, AE_INDEX_KEY_TOO_LONG, AE_INDEX_BAD_PAGE_SIZE, and those of
// reading the existing file and writing the new one; the old file is then
// untouched.
Status AddIndexTag(const std::string& index_path, IndexBuilder& tag,
                   const IndexWriteOptions& options = {});

// One tag of a write: a B+tree tag's builder or a full-text tag's build
// (exactly one of them), fed and not yet finished.
struct IndexTagBuild {
  IndexBuilder* BTree = nullptr;
  FullTextTagBuild* FullText = nullptr;
};

// Adds each of `tags` like AddIndexTag: a tag of the same name is replaced
// in its place, new tags follow the kept ones in the order given, every
// other tag is kept. A kept full-text tag cannot be laid out in another page
// size (AE_INDEX_TAG_KIND): a caller changing the page size passes it
// rebuilt among `tags`.
Status AddIndexTags(const std::string& index_path, std::span<const IndexTagBuild> tags,
                    const IndexWriteOptions& options = {});

// Writes an index file holding exactly `tags`, in this order, in place of
// the existing one (a reindex). Page size 0 keeps the existing file's. Each
// builder holds up to its own sort memory until the file is written, so a
// caller that fills several in one scan gives each a share of the engine's
// sort memory (or adds them one by one with AddIndexTag).
Status WriteIndexFile(const std::string& index_path, std::span<IndexBuilder* const> tags,
                      const IndexWriteOptions& options = {});
// The same with full-text tags among them.
Status WriteIndexFile(const std::string& index_path, std::span<const IndexTagBuild> tags,
                      const IndexWriteOptions& options = {});

// Removes what an interrupted write left beside `index_path` (temporary
// files not held open by a write in progress). Gives the number removed.
Result<int> RemoveIndexTemporaries(const std::string& index_path);

// The index file of a table: the table's file name with ".Adi" in place of
// its extension (or added when it has none; a leading dot starts a name, not
// an extension), in the same folder.
std::string IndexFileNameOf(const std::string& table_path);

}  // namespace engine
