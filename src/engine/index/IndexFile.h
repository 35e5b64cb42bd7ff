// Reading a compound index file: its tags, and a cursor over a tag's keys.
//
// Open() checks the header and the tag directory (checksums, ranges, the
// tags' page ranges tiling the file); the pages of a tree are checked as a
// cursor or the checker reads them. Every failure is an engine error naming
// the file and, for a page, the page.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index/BTreePage.h"
#include "engine/index/IndexFileCrypto.h"
#include "engine/index/IndexFileFormat.h"
#include "engine/index/Key.h"
#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

// Options of a tag as the caller asks for them.
struct IndexTagOptions {
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool Primary = false;  // recorded; no effect on the tag
};

// The options as the option bits of a directory entry (kTagUnique, ...), the
// form they take in an index file and on the wire to a server; and back.
uint8_t TagOptionBits(const IndexTagOptions& options);
IndexTagOptions TagOptionsOfBits(uint8_t bits);

// One tag of an index file, as its directory entry describes it.
struct IndexTagInfo {
  std::string Name;
  std::string Expression;  // the key expression as it was given
  IndexTagKind Kind = IndexTagKind::BTree;
  IndexTagOptions Options;
  KeyExpression Key;               // parts, key length, encoding
  uint32_t CollationChecksum = 0;  // of the character table the keys were built with
  uint32_t Serial = 0;             // identity of the tag's pages
  uint32_t FirstPage = 0;          // in the file
  uint32_t PageCount = 0;
  uint32_t RootPage = 0;  // within the tag
  uint32_t Height = 0;    // 1 when the root is a leaf
  uint64_t KeyCount = 0;
  std::string KindData;  // kind-specific data; empty for B+tree tags
};

class IndexFile {
 public:
  ~IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  // Opens and checks an index file. `table` is the character table keys are
  // encoded with for seeks. `key` is the key of an encrypted table whose
  // password is enabled, else nullptr (IndexFileCrypto.h: the file must be
  // encrypted exactly when a key is given). The file decrypts its pages as
  // it reads them, so one thread at a time reads it.
  static Result<std::unique_ptr<IndexFile>> Open(const std::string& path,
                                                 const CharTable& table = DefaultCharTable(),
                                                 const TableCipher* key = nullptr);

  // Reads only the header and the tag directory of a file whose tag pages
  // may be damaged or cut off: what a rebuild needs to know of its tags.
  // The header page and every directory page must still check out. The
  // tags' pages are not read, so nothing but the definitions of the
  // answer's tags may be used (names, expressions, options, kind data).
  static Result<std::unique_ptr<IndexFile>> OpenTagDirectory(
      const std::string& path, const CharTable& table = DefaultCharTable(),
      const TableCipher* key = nullptr);

  const std::string& Path() const { return path_; }
  uint32_t PageSize() const { return page_size_; }
  uint32_t PageCount() const { return page_count_; }
  const std::vector<IndexTagInfo>& Tags() const { return tags_; }

  // The tag at `order` (1 = the first tag), or AE_INDEX_TAG_NOT_FOUND.
  Result<const IndexTagInfo*> TagByOrder(uint32_t order) const;
  // The tag named `name` without regard to case, or nullptr.
  const IndexTagInfo* FindTag(std::string_view name) const;

  // Reads page `page` of the file into `buffer` (PageSize() bytes) and
  // checks its checksum.
  Status ReadPage(uint32_t page, uint8_t* buffer) const;
  // Reads `count` pages from `first` on into `buffer` and checks each one.
  Status ReadPages(uint32_t first, uint32_t count, uint8_t* buffer) const;

  // What a reader of `tag`'s pages needs to know.
  TreeShape ShapeOf(const IndexTagInfo& tag) const;

 private:
  IndexFile() = default;
  // With `directory_only`, the file's size, the header's page count and the
  // tags' places are not held against each other (OpenTagDirectory).
  Status Load(const CharTable& table, const TableCipher* key, bool directory_only);
  // Opens the file read-only and loads it as Load does.
  static Result<std::unique_ptr<IndexFile>> OpenLoaded(const std::string& path,
                                                       const CharTable& table,
                                                       const TableCipher* key, bool directory_only);

  std::string path_;
  int fd_ = -1;
  mutable IndexPageCipher cipher_;  // pages after the header page, when encrypted
  uint32_t page_size_ = 0;
  uint32_t page_count_ = 0;
  std::vector<IndexTagInfo> tags_;
};

// Walks one B+tree tag in key order. The entries are the tag's (key, record
// number) pairs; a record filter, when set, hides the record numbers it
// refuses (a table passes one that refuses deleted records). The file and
// the tag must outlive the cursor.
class TagCursor {
 public:
  TagCursor(const IndexFile& file, const IndexTagInfo& tag);

  // Positions on the first entry.
  Status First();
  // Positions on the first entry whose key is at or after `values` in the
  // tag's order; fewer values than key parts compare the leading parts only.
  Status Seek(std::span<const KeyValue> values);
  // The same for encoded key bytes (up to the key length; missing bytes are
  // the lowest).
  Status SeekKey(std::span<const uint8_t> key);
  // Moves to the next entry.
  Status Next();

  bool Eof() const { return eof_; }
  const uint8_t* Key() const;     // KeyLength() bytes; REQUIRES: !Eof()
  uint32_t RecordNumber() const;  // REQUIRES: !Eof()
  uint32_t KeyLength() const { return shape_.KeyLength; }

  void SetRecordFilter(std::function<bool(uint32_t record_number)> keep) {
    keep_ = std::move(keep);
  }

 private:
  Status LoadLeaf(uint32_t page);
  Status SkipFiltered();

  const IndexFile& file_;
  const IndexTagInfo& tag_;
  TreeShape shape_;
  std::vector<uint8_t> page_;
  uint32_t leaf_ = kNoPage;  // the leaf in `page_`, within the tag
  uint16_t count_ = 0;       // entries on it
  uint16_t at_ = 0;          // current entry
  uint32_t leaves_visited_ = 0;
  bool eof_ = true;
  std::function<bool(uint32_t)> keep_;
};

}  // namespace engine
