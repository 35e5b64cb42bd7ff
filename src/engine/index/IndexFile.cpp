// Reading index files. The layouts are described in IndexFileWriter.cpp (file
// header, tag directory) and BTreeBuilder.cpp (tree pages); this file checks
// every value it takes from disk before using it.
#include "engine/index/IndexFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/util/FileIo.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

uint8_t TagOptionBits(const IndexTagOptions& options) {
  uint8_t bits = 0;
  if (options.Unique) bits |= kTagUnique;
  if (options.Descending) bits |= kTagDescending;
  if (options.CaseInsensitive) bits |= kTagCaseInsensitive;
  if (options.Primary) bits |= kTagPrimary;
  return bits;
}

IndexTagOptions TagOptionsOfBits(uint8_t bits) {
  IndexTagOptions options;
  options.Unique = (bits & kTagUnique) != 0;
  options.Descending = (bits & kTagDescending) != 0;
  options.CaseInsensitive = (bits & kTagCaseInsensitive) != 0;
  options.Primary = (bits & kTagPrimary) != 0;
  return options;
}

namespace {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Reads the fields of a directory entry, refusing to step past its end.
class EntryReader {
 public:
  EntryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Has(size_t bytes) const { return size_ - at_ >= bytes; }
  bool U8(uint8_t& out) { return Take(1) && (out = data_[at_ - 1], true); }
  bool U16(uint16_t& out) { return Take(2) && (out = Load16(data_ + at_ - 2), true); }
  bool U32(uint32_t& out) { return Take(4) && (out = Load32(data_ + at_ - 4), true); }
  bool U64(uint64_t& out) { return Take(8) && (out = Load64(data_ + at_ - 8), true); }
  bool Bytes(size_t count, std::string& out) {
    if (!Take(count)) return false;
    out.assign(reinterpret_cast<const char*>(data_ + at_ - count), count);
    return true;
  }
  size_t Position() const { return at_; }

 private:
  bool Take(size_t bytes) {
    if (!Has(bytes)) return false;
    at_ += bytes;
    return true;
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace

IndexFile::~IndexFile() {
  if (fd_ >= 0) close(fd_);
}

Result<std::unique_ptr<IndexFile>> IndexFile::OpenLoaded(const std::string& path,
                                                         const CharTable& table,
                                                         const TableCipher* key,
                                                         bool directory_only) {
  std::unique_ptr<IndexFile> file(new IndexFile());
  file->path_ = path;
  file->fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file->fd_ < 0) {
    return Status(AE_INDEX_IO, "Cannot open the index file " + path + ": " + std::strerror(errno));
  }
  if (Status status = file->Load(table, key, directory_only); !status.ok()) return status;
  return file;
}

Result<std::unique_ptr<IndexFile>> IndexFile::Open(const std::string& path, const CharTable& table,
                                                   const TableCipher* key) {
  return OpenLoaded(path, table, key, false);
}

Result<std::unique_ptr<IndexFile>> IndexFile::OpenTagDirectory(const std::string& path,
                                                               const CharTable& table,
                                                               const TableCipher* key) {
  return OpenLoaded(path, table, key, true);
}

Status IndexFile::ReadPage(uint32_t page, uint8_t* buffer) const {
  return ReadPages(page, 1, buffer);
}

Status IndexFile::ReadPages(uint32_t first, uint32_t count, uint8_t* buffer) const {
  if (first >= page_count_ || count > page_count_ - first) {
    return Status(AE_INDEX_CORRUPT,
                  "Index file " + path_ + ": page " + std::to_string(uint64_t{first} + count - 1) +
                      " is beyond the file's " + std::to_string(page_count_) + " pages");
  }
  const uint64_t bytes = uint64_t{count} * page_size_;
  const FileIoResult read = ReadFully(fd_, buffer, bytes, uint64_t{first} * page_size_);
  const uint32_t page = first + static_cast<uint32_t>(read.Done / page_size_);
  if (read.Errno != 0) {
    return Status(AE_INDEX_IO, "Cannot read page " + std::to_string(page) + " of the index file " +
                                   path_ + ": " + std::strerror(read.Errno));
  }
  if (read.Ended)
    return Status(AE_INDEX_CORRUPT,
                  "Index file " + path_ + " ends inside page " + std::to_string(page));
  if (Status status = cipher_.Apply(first, count, page_size_, buffer); !status.ok()) return status;
  for (uint32_t i = 0; i < count; ++i) {
    if (!IndexPageChecksumMatches(buffer + uint64_t{i} * page_size_, page_size_)) {
      return Status(AE_INDEX_CHECKSUM, "Checksum error in the index file " + path_ + ", page " +
                                           std::to_string(first + i));
    }
  }
  return Status::Ok();
}

Status IndexFile::Load(const CharTable& table, const TableCipher* key, bool directory_only) {
  auto corrupt = [this](const std::string& what) {
    return Status(AE_INDEX_CORRUPT, "Index file " + path_ + ": " + what);
  };
  struct stat st {};
  if (fstat(fd_, &st) != 0)
    return Status(AE_INDEX_IO, "Cannot read the index file " + path_ + ": " + std::strerror(errno));
  const uint64_t file_size = static_cast<uint64_t>(st.st_size);
  uint8_t first[kHeaderFieldsSize];
  if (file_size < kIndexPageSizes[0] ||
      pread(fd_, first, sizeof first, 0) != static_cast<ssize_t>(sizeof first)) {
    return corrupt("too short to be an index file");
  }
  if (std::memcmp(first + kHeaderMagicOffset, kIndexFileMagic, sizeof kIndexFileMagic) != 0)
    return corrupt("not an index file");
  const uint16_t version = Load16(first + kHeaderVersionOffset);
  if (version != kIndexFormatVersion)
    return corrupt("format version " + std::to_string(version) + " is unknown");
  page_size_ = Load32(first + kHeaderPageSizeOffset);
  if (!IsValidIndexPageSize(page_size_))
    return corrupt("page size " + std::to_string(page_size_) + " is not valid");
  if ((file_size % page_size_ != 0 && !directory_only) || file_size / page_size_ >= kNoPage) {
    return corrupt("its size " + std::to_string(file_size) + " is not a whole number of pages");
  }
  page_count_ = static_cast<uint32_t>(file_size / page_size_);
  std::vector<uint8_t> page(page_size_);
  if (Status status = ReadPage(0, page.data()); !status.ok()) return status;
  if (page[kPageTypeOffset] != kHeaderPage) return corrupt("page 0 is not a header page");
  Result<IndexPageCipher> cipher = IndexPageCipher::ForHeader(page.data(), key, path_);
  if (!cipher.ok()) return cipher.status();
  cipher_ = std::move(cipher).value();
  if (Load32(page.data() + kHeaderPageCountOffset) != page_count_ && !directory_only) {
    return corrupt("the header counts " +
                   std::to_string(Load32(page.data() + kHeaderPageCountOffset)) +
                   " pages, the file holds " + std::to_string(page_count_));
  }
  const uint32_t directory_first = Load32(page.data() + kHeaderDirectoryFirstOffset);
  const uint32_t directory_pages = Load32(page.data() + kHeaderDirectoryPagesOffset);
  const uint32_t directory_bytes = Load32(page.data() + kHeaderDirectoryBytesOffset);
  const uint32_t tag_count = Load32(page.data() + kHeaderTagCountOffset);
  if (directory_first == 0 || directory_pages == 0 || directory_first >= page_count_ ||
      directory_pages > page_count_ - directory_first ||
      (directory_pages != page_count_ - directory_first && !directory_only)) {
    return corrupt("the tag directory's pages are out of range");
  }
  if (directory_bytes > uint64_t{directory_pages} * (page_size_ - kDirectoryPageHeaderSize)) {
    return corrupt("the tag directory is larger than its pages");
  }
  // Gather the directory's bytes from its pages.
  std::vector<uint8_t> directory;
  directory.reserve(directory_bytes);
  for (uint32_t i = 0; i < directory_pages; ++i) {
    const uint32_t number = directory_first + i;
    if (Status status = ReadPage(number, page.data()); !status.ok()) return status;
    const uint32_t on_page = Load32(page.data() + kDirectoryPageBytesOffset);
    if (page[kPageTypeOffset] != kDirectoryPage ||
        Load32(page.data() + kDirectoryPagePositionOffset) != i ||
        on_page > page_size_ - kDirectoryPageHeaderSize ||
        directory.size() + on_page > directory_bytes) {
      return corrupt("page " + std::to_string(number) + " is not the expected tag directory page");
    }
    directory.insert(directory.end(), page.begin() + kDirectoryPageHeaderSize,
                     page.begin() + kDirectoryPageHeaderSize + on_page);
  }
  if (directory.size() != directory_bytes)
    return corrupt("the tag directory is shorter than its header says");

  size_t at = 0;
  for (uint32_t t = 0; t < tag_count; ++t) {
    const std::string where = "tag directory entry " + std::to_string(t + 1);
    if (directory.size() - at < 4) return corrupt(where + " is cut short");
    const uint32_t entry_length = Load32(directory.data() + at);
    if (entry_length < 4 || entry_length > directory.size() - at)
      return corrupt(where + " has a bad length");
    EntryReader in(directory.data() + at + 4, entry_length - 4);
    IndexTagInfo tag;
    uint8_t kind = 0, options = 0;
    uint16_t name_length = 0, expression_length = 0, height = 0, key_length = 0, part_count = 0;
    uint32_t kind_data_length = 0;
    if (!in.U8(kind) || !in.U8(options) || !in.U16(name_length) ||
        !in.Bytes(name_length, tag.Name) || !in.U16(expression_length) ||
        !in.Bytes(expression_length, tag.Expression) || !in.U32(tag.Serial) ||
        !in.U32(tag.FirstPage) || !in.U32(tag.PageCount) || !in.U32(tag.RootPage) ||
        !in.U16(height) || !in.U16(key_length) || !in.U64(tag.KeyCount) ||
        !in.U32(tag.CollationChecksum) || !in.U16(part_count)) {
      return corrupt(where + " is cut short");
    }
    if (kind != static_cast<uint8_t>(IndexTagKind::BTree) &&
        kind != static_cast<uint8_t>(IndexTagKind::FullText)) {
      return corrupt(where + " has the unknown kind " + std::to_string(kind));
    }
    if ((options & ~kTagKnownOptions) != 0) return corrupt(where + " has unknown options");
    if (name_length == 0 || name_length > kMaxTagNameLength)
      return corrupt(where + " has a bad name length");
    tag.Kind = static_cast<IndexTagKind>(kind);
    tag.Options = TagOptionsOfBits(options);
    tag.Height = height;
    std::vector<KeyPart> parts;
    for (uint16_t p = 0; p < part_count; ++p) {
      KeyPart part;
      uint8_t type = 0, flags = 0;
      uint16_t field_name_length = 0;
      if (!in.U8(type) || !in.U8(flags) || !in.U32(part.Length) || !in.U16(field_name_length) ||
          !in.Bytes(field_name_length, part.FieldName)) {
        return corrupt(where + " is cut short");
      }
      if ((flags & ~3u) != 0) return corrupt(where + " has a key part with unknown flags");
      part.Type = static_cast<KeyPartType>(type);
      part.Descending = (flags & 1) != 0;
      part.CaseInsensitive = (flags & 2) != 0;
      parts.push_back(std::move(part));
    }
    if (!in.U32(kind_data_length) || !in.Bytes(kind_data_length, tag.KindData))
      return corrupt(where + " is cut short");
    if (in.Position() != entry_length - 4)
      return corrupt(where + " has bytes after its last field");
    if (tag.Kind == IndexTagKind::FullText) {
      // A full-text tag has no key; its fields are its expression.
      if (!parts.empty() || key_length != 0)
        return corrupt(where + " is a full-text tag with a key");
    } else {
      Result<KeyExpression> key = KeyExpression::FromParts(std::move(parts), table);
      if (!key.ok()) return corrupt(where + ": " + key.status().Message());
      tag.Key = std::move(key).value();
    }
    if (tag.Kind == IndexTagKind::BTree) {
      if (tag.Key.KeyLength() != key_length)
        return corrupt(where + " has a key length that does not match its parts");
      if (!KeyFitsPageSize(key_length, page_size_))
        return corrupt(where + " has keys too long for the page size");
      if (tag.PageCount == 0 || tag.RootPage >= tag.PageCount)
        return corrupt(where + " has its root out of range");
      if (height == 0 || height > kMaxTreeHeight)
        return corrupt(where + " has the tree height " + std::to_string(height));
    }
    for (const IndexTagInfo& other : tags_) {
      if (UpperAscii(other.Name) == UpperAscii(tag.Name))
        return corrupt("two tags are named " + tag.Name);
      if (other.Serial == tag.Serial)
        return corrupt("two tags share the serial " + std::to_string(tag.Serial));
    }
    tags_.push_back(std::move(tag));
    at += entry_length;
  }
  if (at != directory.size()) return corrupt("the tag directory has bytes after its last entry");
  if (directory_only) return Status::Ok();

  // The tags' pages follow the header one after the other, up to the directory.
  std::vector<const IndexTagInfo*> by_place;
  for (const IndexTagInfo& tag : tags_) by_place.push_back(&tag);
  std::sort(by_place.begin(), by_place.end(), [](const IndexTagInfo* a, const IndexTagInfo* b) {
    return a->FirstPage < b->FirstPage;
  });
  uint64_t next = 1;
  for (const IndexTagInfo* tag : by_place) {
    if (tag->FirstPage != next)
      return corrupt("the pages of tag " + tag->Name + " are not where the directory says");
    next += tag->PageCount;
  }
  if (next != directory_first) return corrupt("the tags' pages do not reach the tag directory");
  return Status::Ok();
}

Result<const IndexTagInfo*> IndexFile::TagByOrder(uint32_t order) const {
  if (order == 0 || order > tags_.size()) {
    return Status(AE_INDEX_TAG_NOT_FOUND, "The index file " + path_ + " has no tag number " +
                                              std::to_string(order) + " (it has " +
                                              std::to_string(tags_.size()) + ")");
  }
  return &tags_[order - 1];
}

const IndexTagInfo* IndexFile::FindTag(std::string_view name) const {
  const std::string wanted = UpperAscii(name);
  for (const IndexTagInfo& tag : tags_) {
    if (UpperAscii(tag.Name) == wanted) return &tag;
  }
  return nullptr;
}

TreeShape IndexFile::ShapeOf(const IndexTagInfo& tag) const {
  TreeShape shape;
  shape.FileName = path_;
  shape.TagName = tag.Name;
  shape.PageSize = page_size_;
  shape.KeyLength = tag.Key.KeyLength();
  shape.TagSerial = tag.Serial;
  shape.FirstPage = tag.FirstPage;
  shape.PageCount = tag.PageCount;
  return shape;
}

// ---------------------------------------------------------------- cursor

TagCursor::TagCursor(const IndexFile& file, const IndexTagInfo& tag)
    : file_(file), tag_(tag), shape_(file.ShapeOf(tag)), page_(file.PageSize()) {}

const uint8_t* TagCursor::Key() const {
  return page_.data() + kNodeHeaderSize + at_ * (shape_.KeyLength + kRecordNumberSize);
}

uint32_t TagCursor::RecordNumber() const {
  return RecordNumberOf(Key(), shape_.KeyLength);
}

Status TagCursor::LoadLeaf(uint32_t page) {
  if (++leaves_visited_ > shape_.PageCount) {
    return Status(AE_INDEX_CORRUPT, "Index file " + shape_.FileName + ", tag " + shape_.TagName +
                                        ": the leaf links run in a circle");
  }
  if (Status status = file_.ReadPage(shape_.FirstPage + page, page_.data()); !status.ok())
    return status;
  if (Status status = CheckNodePage(shape_, page_.data(), page, 0); !status.ok()) return status;
  leaf_ = page;
  count_ = ReadNodeHeader(page_.data()).Count;
  at_ = 0;
  return Status::Ok();
}

Status TagCursor::SkipFiltered() {
  // From the entry at at_ on to the first one the filter keeps, crossing
  // leaves as needed; a loop, so a long run of filtered entries costs no
  // stack.
  while (true) {
    while (at_ >= count_) {
      const uint32_t next = ReadNodeHeader(page_.data()).Next;
      if (next == kNoPage) {
        eof_ = true;
        return Status::Ok();
      }
      if (Status status = LoadLeaf(next); !status.ok()) {
        eof_ = true;
        return status;
      }
    }
    if (!keep_ || keep_(RecordNumber())) return Status::Ok();
    ++at_;
  }
}

Status TagCursor::First() {
  return SeekKey({});
}

Status TagCursor::Seek(std::span<const KeyValue> values) {
  Result<std::vector<uint8_t>> key = tag_.Key.EncodePrefix(values);
  if (!key.ok()) return key.status();
  return SeekKey(*key);
}

Status TagCursor::SeekKey(std::span<const uint8_t> key) {
  eof_ = true;
  leaves_visited_ = 0;
  if (tag_.Kind != IndexTagKind::BTree) {
    return Status(AE_INDEX_TAG_KIND, "The tag " + tag_.Name + " is not a B+tree tag");
  }
  const uint32_t record_size = shape_.KeyLength + kRecordNumberSize;
  // The target record: the key bytes, the lowest bytes after them, record number 0.
  std::vector<uint8_t> target(record_size, 0);
  if (!key.empty())
    std::memcpy(target.data(), key.data(), std::min<size_t>(key.size(), shape_.KeyLength));
  uint32_t page = tag_.RootPage;
  for (int level = static_cast<int>(tag_.Height) - 1; level > 0; --level) {
    if (Status status = file_.ReadPage(shape_.FirstPage + page, page_.data()); !status.ok())
      return status;
    if (Status status = CheckNodePage(shape_, page_.data(), page, level); !status.ok())
      return status;
    // The last entry whose record is at or before the target (or the first).
    const uint16_t count = ReadNodeHeader(page_.data()).Count;
    const uint32_t entry = record_size + kChildSize;
    const uint8_t* entries = page_.data() + kNodeHeaderSize;
    uint32_t low = 1, high = count;  // entries [low, high) may still follow the answer
    while (low < high) {
      const uint32_t middle = (low + high) / 2;
      if (std::memcmp(entries + middle * entry, target.data(), record_size) <= 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    page = Load32(entries + (low - 1) * entry + record_size);
  }
  if (Status status = LoadLeaf(page); !status.ok()) return status;
  // The first entry at or after the target.
  const uint8_t* entries = page_.data() + kNodeHeaderSize;
  uint32_t low = 0, high = count_;
  while (low < high) {
    const uint32_t middle = (low + high) / 2;
    if (std::memcmp(entries + middle * record_size, target.data(), record_size) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  at_ = static_cast<uint16_t>(low);
  eof_ = false;
  return SkipFiltered();
}

Status TagCursor::Next() {
  if (eof_) return Status::Ok();
  ++at_;
  return SkipFiltered();
}

}  // namespace engine
