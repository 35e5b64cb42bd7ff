// Writing a compound index file (".Adi"): one file per table, one page size
// for the whole file, a header page, the tags' B+trees, and the tag
// directory. All numbers are little-endian unless a layout says otherwise;
// every page starts with the CRC-32C of its other bytes.
//
//   pages  0                  header
//          1 .. T             the tags' pages, tag after tag in directory order
//          T+1 .. last        the tag directory
//
// Header page:
//
//   OFFSET  SIZE  DESCRIPTION
//        0     4  CRC-32C of bytes 4..page size-1
//        4     1  page type: 1 header
//        5     3  zero
//        8     8  magic "RIXFILE" followed by byte 1A
//       16     2  format version: 1
//       18     2  zero
//       20     4  page size: 512, 1024, 2048, 4096 or 8192
//       24     4  pages in the file (the file's size is exactly this many pages)
//       28     4  first page of the tag directory
//       32     4  pages of the tag directory (it runs to the end of the file)
//       36     4  bytes of the tag directory
//       40     4  number of tags
//       44    28  encryption: flags, stream number, key id (IndexFileCrypto.cpp)
//       72        zeros to the end of the page
//
// Tag directory page:
//
//   OFFSET  SIZE  DESCRIPTION
//        0     4  CRC-32C of bytes 4..page size-1
//        4     1  page type: 2 directory
//        5     3  zero
//        8     4  position of the page in the directory, from 0
//       12     4  directory bytes on this page
//       16        those bytes, then zeros
//
// The directory's bytes are the tags' entries one after the other, in tag
// order (order 1 first):
//
//   SIZE  DESCRIPTION
//      4  length of the entry in bytes, this field included
//      1  kind: 1 B+tree, 2 full-text
//      1  options: 1 unique, 2 descending, 4 case-insensitive, 8 primary
//      2  length N of the tag name (1..128), then N bytes of name
//      2  length E of the key expression, then E bytes of expression text
//      4  tag serial: the number every page of the tag carries
//      4  first page of the tag in the file
//      4  pages of the tag
//      4  root page, within the tag
//      2  tree height (1 when the root is a leaf)
//      2  key length K in bytes
//      8  number of keys
//      4  CRC-32C of the character table's upper-case map and sort weights
//      2  number of key parts P, then P times:
//           1  type: 1 character, 2 integer, 3 double, 4 date, 5 logical
//           1  flags: 1 descending, 2 case-insensitive
//           4  field length in characters (character parts; else 0)
//           2  length M of the field name, then M bytes of name
//      4  length D of the kind's own data, then D bytes (none for B+tree tags)
//
// A tag's pages are numbered within the tag and carry its serial, so a tag
// is carried from an old file into a new one by copying its pages as they
// are. The B+tree pages are described in BTreeBuilder.cpp.
#include "engine/indexfile/IndexFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "engine/fulltext/FullTextTag.h"
#include "engine/index/BTreeBuilder.h"
#include "engine/index/BTreePage.h"
#include "engine/index/IndexFileCrypto.h"
#include "engine/util/FileIo.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/LockedFile.h"
#include "engine/util/StagedFile.h"
#include "platform/Platform.h"

namespace engine {

namespace {

constexpr size_t kWriteBuffer = 1 << 20;  // bytes gathered before one write

std::string ErrnoText(int error) {
  return std::strerror(error);
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The temporary name of a new state of an index file: NAME.Adi.~PID-N.tmp.
// The sort runs of a build beside it (NAME.Adi.~sort-PID-N.tmp) match too,
// so that the clean-up takes those a crash left.
constexpr StagedNaming kIndexTemporary{".~", ".tmp", true, AE_INDEX_IO};

// The new file while it is written: the sequential stream of pages (a
// tag's leaves, the directory) goes through one large buffer; pages written
// out of that order (branch pages, the header) go straight to disk.
class OutputFile : public PageSink {
 public:
  // Pages are encrypted by `cipher` on their way to disk.
  OutputFile(int fd, uint32_t page_size, std::string path, IndexPageCipher& cipher)
      : fd_(fd), page_size_(page_size), path_(std::move(path)), cipher_(cipher) {
    buffer_.resize(std::max<size_t>(1, kWriteBuffer / page_size) * page_size);
  }

  // The sequential stream goes on at `page`.
  Status ContinueAt(uint32_t page) {
    if (buffered_ > 0 && page != next_) {
      if (Status status = Flush(); !status.ok()) return status;
    }
    next_ = page;
    return Status::Ok();
  }

  Status WritePage(uint32_t page, const uint8_t* data) override {
    return WritePages(page, 1, data);
  }

  Status WritePages(uint32_t first, uint32_t count, const uint8_t* data) {
    if (first != next_)
      return WriteAt(uint64_t{first} * page_size_, data, uint64_t{count} * page_size_);
    const uint32_t capacity = static_cast<uint32_t>(buffer_.size() / page_size_);
    while (count > 0) {
      if (buffered_ == 0) buffer_first_ = first;
      const uint32_t take = std::min(count, capacity - buffered_);
      std::memcpy(buffer_.data() + uint64_t{buffered_} * page_size_, data,
                  uint64_t{take} * page_size_);
      buffered_ += take;
      first += take;
      next_ = first;
      count -= take;
      data += uint64_t{take} * page_size_;
      if (buffered_ == capacity) {
        if (Status status = Flush(); !status.ok()) return status;
      }
    }
    return Status::Ok();
  }

  Status Flush() {
    if (buffered_ == 0) return Status::Ok();
    const uint64_t offset = uint64_t{buffer_first_} * page_size_;
    const uint64_t bytes = uint64_t{buffered_} * page_size_;
    buffered_ = 0;
    if (Status status = WriteAt(offset, buffer_.data(), bytes); !status.ok()) return status;
    // Start writing back what is complete, so that the closing fsync waits
    // for little (a hint; its failure shows in the fsync).
    sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(bytes),
                    SYNC_FILE_RANGE_WRITE);
    return Status::Ok();
  }

  Status WriteAt(uint64_t offset, const uint8_t* data, uint64_t bytes) {
    if (cipher_.Encrypts()) return WriteEncrypted(offset, data, bytes);
    return WritePlain(offset, data, bytes);
  }

 private:
  Status WritePlain(uint64_t offset, const uint8_t* data, uint64_t bytes) {
    const FileIoResult written = WriteFully(fd_, data, bytes, offset);
    if (written.Errno != 0) {
      return Status(AE_INDEX_IO,
                    "Cannot write the index file " + path_ + ": " + ErrnoText(written.Errno));
    }
    return Status::Ok();
  }

  // Whole pages from a page boundary, encrypted a buffer at a time.
  Status WriteEncrypted(uint64_t offset, const uint8_t* data, uint64_t bytes) {
    const uint64_t chunk = std::max<uint64_t>(1, kWriteBuffer / page_size_) * page_size_;
    while (bytes > 0) {
      const uint64_t take = std::min(chunk, bytes);
      sealed_.assign(data, data + take);
      if (Status status =
              cipher_.Apply(static_cast<uint32_t>(offset / page_size_),
                            static_cast<uint32_t>(take / page_size_), page_size_, sealed_.data());
          !status.ok()) {
        return status;
      }
      if (Status status = WritePlain(offset, sealed_.data(), take); !status.ok()) return status;
      data += take;
      bytes -= take;
      offset += take;
    }
    return Status::Ok();
  }

  int fd_;
  uint32_t page_size_;
  std::string path_;
  std::vector<uint8_t> buffer_;
  uint32_t buffer_first_ = 0;  // file page of the buffer's first page
  uint32_t buffered_ = 0;      // pages in the buffer
  uint32_t next_ = 1;          // where the sequential stream goes on
  IndexPageCipher& cipher_;
  std::vector<uint8_t> sealed_;  // encrypted pages on their way to disk
};

// One tag of the new file: carried over from the old file, or built.
struct TagPlan {
  IndexTagInfo info;                     // its directory entry in the new file
  const IndexTagInfo* source = nullptr;  // the tag in the old file to carry over
  IndexBuilder* builder = nullptr;       // or the builder of a new tag
  FullTextTagBuild* fulltext = nullptr;  // or the build of a new full-text tag
  uint32_t pages = 0;                    // known before the write, except for full-text builds
};

void Put8(std::vector<uint8_t>& out, uint8_t value) {
  out.push_back(value);
}
void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.resize(out.size() + 2);
  Store16(out.data() + out.size() - 2, value);
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  out.resize(out.size() + 4);
  Store32(out.data() + out.size() - 4, value);
}
void Put64(std::vector<uint8_t>& out, uint64_t value) {
  out.resize(out.size() + 8);
  Store64(out.data() + out.size() - 8, value);
}
void PutText16(std::vector<uint8_t>& out, const std::string& text) {
  Put16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

void AppendDirectoryEntry(std::vector<uint8_t>& out, const IndexTagInfo& tag) {
  const size_t start = out.size();
  Put32(out, 0);  // the length, filled in below
  Put8(out, static_cast<uint8_t>(tag.Kind));
  Put8(out, TagOptionBits(tag.Options));
  PutText16(out, tag.Name);
  PutText16(out, tag.Expression);
  Put32(out, tag.Serial);
  Put32(out, tag.FirstPage);
  Put32(out, tag.PageCount);
  Put32(out, tag.RootPage);
  Put16(out, static_cast<uint16_t>(tag.Height));
  Put16(out, static_cast<uint16_t>(tag.Key.KeyLength()));
  Put64(out, tag.KeyCount);
  Put32(out, tag.CollationChecksum);
  Put16(out, static_cast<uint16_t>(tag.Key.Parts().size()));
  for (const KeyPart& part : tag.Key.Parts()) {
    Put8(out, static_cast<uint8_t>(part.Type));
    Put8(out, static_cast<uint8_t>((part.Descending ? 1 : 0) | (part.CaseInsensitive ? 2 : 0)));
    Put32(out, part.Length);
    PutText16(out, part.FieldName);
  }
  Put32(out, static_cast<uint32_t>(tag.KindData.size()));
  out.insert(out.end(), tag.KindData.begin(), tag.KindData.end());
  Store32(out.data() + start, static_cast<uint32_t>(out.size() - start));
}

// The smallest page size from the default on that holds every key.
uint32_t ChoosePageSize(const std::vector<TagPlan>& plans) {
  for (uint32_t size : kIndexPageSizes) {
    if (size < kDefaultIndexPageSize) continue;
    bool fits = true;
    for (const TagPlan& plan : plans)
      fits = fits && KeyFitsPageSize(plan.info.Key.KeyLength(), size);
    if (fits) return size;
  }
  return kIndexPageSizes[std::size(kIndexPageSizes) - 1];
}

class IndexFileWriter {
 public:
  IndexFileWriter(std::string path, const IndexWriteOptions& options)
      : path_(std::move(path)), options_(options) {}

  ~IndexFileWriter() {
    if (file_.IsOpen() && !renamed_) {
      // An unfinished write: its temporary file goes (nothing to do if it is already gone).
      unlink(file_.Path().c_str());
    }
  }

  Status Write(const IndexFile* old_file, std::vector<TagPlan>& plans, uint32_t page_size) {
    page_size_ = page_size;
    // Shape of every tag, so that each one's first page is known.
    for (TagPlan& plan : plans) {
      const uint32_t key_length = plan.info.Key.KeyLength();
      if (plan.info.Kind == IndexTagKind::BTree && !KeyFitsPageSize(key_length, page_size)) {
        return Status(AE_INDEX_KEY_TOO_LONG, "The key of the index " + plan.info.Name + " (" +
                                                 std::to_string(key_length) +
                                                 " bytes) does not fit index pages of " +
                                                 std::to_string(page_size) + " bytes");
      }
      if (plan.fulltext) continue;  // its pages are counted as it is written
      if (plan.source && old_file->PageSize() == page_size) {
        plan.pages = plan.source->PageCount;
        continue;
      }
      if (plan.source && plan.source->Kind != IndexTagKind::BTree) {
        return Status(AE_INDEX_TAG_KIND,
                      "The tag " + plan.info.Name + " cannot be laid out in another page size");
      }
      const uint64_t count = plan.source ? plan.source->KeyCount : plan.builder->Count();
      const uint64_t pages = BTreeBuilder::PageCountFor(page_size, key_length, count);
      if (pages == 0) {
        return Status(AE_INDEX_KEY_TOO_LONG, "The index " + plan.info.Name +
                                                 " is too large for pages of " +
                                                 std::to_string(page_size) + " bytes");
      }
      plan.pages = static_cast<uint32_t>(pages);
    }
    Result<IndexPageCipher> cipher = IndexPageCipher::ForNewFile(options_.Key);
    if (!cipher.ok()) return cipher.status();
    cipher_ = std::move(cipher).value();
    if (Status status = CreateTemporary(); !status.ok()) return status;
    Step(IndexWriteStep::TemporaryCreated);
    OutputFile out(file_.Fd(), page_size_, file_.Path(), cipher_);
    uint64_t next_page = 1;
    for (TagPlan& plan : plans) {
      if (next_page + plan.pages >= kNoPage)
        return Status(AE_INDEX_KEY_TOO_LONG, "The index file would be too large");
      plan.info.FirstPage = static_cast<uint32_t>(next_page);
      Status status = out.ContinueAt(plan.info.FirstPage);
      if (!status.ok()) return status;
      if (plan.builder) {
        status = WriteBuiltTag(out, plan);
      } else if (plan.fulltext) {
        status = WriteFullTextTag(out, plan);
      } else if (old_file->PageSize() == page_size_) {
        status = CopyTag(out, *old_file, plan);
      } else {
        status = RelayTag(out, *old_file, plan);
      }
      if (!status.ok()) return status;
      next_page += plan.pages;
      Step(IndexWriteStep::TagWritten);
    }
    if (Status status = WriteDirectoryAndHeader(out, plans, static_cast<uint32_t>(next_page));
        !status.ok()) {
      return status;
    }
    if (Status status = out.Flush(); !status.ok()) return status;
    const Status placed = PutStagedInPlace(file_, path_, /*replace=*/true, kIndexTemporary,
                                           [this] { Step(IndexWriteStep::Synced); });
    if (!placed.ok() && file_.Path() != path_) return placed;  // not renamed: the old file stays
    renamed_ = true;
    Step(IndexWriteStep::Replaced);
    return placed;  // a failure here is the sync of the folder after the rename
  }

 private:
  void Step(IndexWriteStep step) {
    if (options_.OnStep) options_.OnStep(step);
  }

  Status CreateTemporary() {
    // Held locked while writing, so that a clean-up elsewhere leaves this file alone.
    Result<LockedFile> file = CreateStaged(path_, kIndexTemporary);
    if (!file) return file.status();
    file_ = std::move(file).value();
    return Status::Ok();
  }

  Status WriteBuiltTag(OutputFile& out, TagPlan& plan) {
    IndexBuilder& builder = *plan.builder;
    BTreeBuilder tree(out, plan.info.FirstPage, page_size_, plan.info.Key.KeyLength(),
                      plan.info.Serial, builder.Count(), plan.info.Options.Unique);
    while (true) {
      const uint8_t* record = nullptr;
      if (Status status = builder.Next(record); !status.ok()) {
        return Status(status.Code(), "Index " + plan.info.Name + ": " + status.Message());
      }
      if (record == nullptr) break;
      if (Status status = tree.Add(record); !status.ok()) {
        if (status.Code() == AE_INDEX_DUPLICATE_KEY) {
          return Status(AE_INDEX_DUPLICATE_KEY,
                        "Duplicate key '" + plan.info.Key.Format(tree.DuplicateKey().data()) +
                            "' in the unique index " + plan.info.Name);
        }
        return Status(status.Code(), "Index " + plan.info.Name + ": " + status.Message());
      }
    }
    if (Status status = tree.Finish(); !status.ok()) {
      return Status(status.Code(), "Index " + plan.info.Name + ": " + status.Message());
    }
    SetTree(plan, tree.Summary());
    return Status::Ok();
  }

  Status WriteFullTextTag(OutputFile& out, TagPlan& plan) {
    Result<FullTextTagData> data =
        plan.fulltext->Builder().Finish(out, plan.info.FirstPage, page_size_, plan.info.Serial);
    if (!data) {
      return Status(data.status().Code(),
                    "Full-text index " + plan.info.Name + ": " + data.status().Message());
    }
    plan.pages = data->PageCount;
    plan.info.PageCount = data->PageCount;
    plan.info.RootPage = data->RootPage;
    plan.info.Height = data->Height;
    plan.info.KeyCount = data->PostingCount;
    plan.info.CollationChecksum = data->CollationChecksum;
    plan.info.KindData = EncodeFullTextTagData(*data);
    return Status::Ok();
  }

  Status CopyTag(OutputFile& out, const IndexFile& old_file, TagPlan& plan) {
    const uint32_t chunk = static_cast<uint32_t>(std::max<size_t>(1, kWriteBuffer / page_size_));
    std::vector<uint8_t> pages(uint64_t{chunk} * page_size_);
    for (uint32_t done = 0; done < plan.pages;) {
      const uint32_t take = std::min(chunk, plan.pages - done);
      if (Status status = old_file.ReadPages(plan.source->FirstPage + done, take, pages.data());
          !status.ok()) {
        return status;
      }
      if (Status status = out.WritePages(plan.info.FirstPage + done, take, pages.data());
          !status.ok())
        return status;
      done += take;
    }
    return Status::Ok();
  }

  Status RelayTag(OutputFile& out, const IndexFile& old_file, TagPlan& plan) {
    BTreeBuilder tree(out, plan.info.FirstPage, page_size_, plan.info.Key.KeyLength(),
                      plan.info.Serial, plan.source->KeyCount, plan.info.Options.Unique);
    TagCursor cursor(old_file, *plan.source);
    Status status = cursor.First();
    while (status.ok() && !cursor.Eof()) {
      status = tree.Add(cursor.Key());
      if (status.ok()) status = cursor.Next();
    }
    if (status.ok()) status = tree.Finish();
    if (!status.ok())
      return Status(status.Code(), "Index " + plan.info.Name + ": " + status.Message());
    SetTree(plan, tree.Summary());
    return Status::Ok();
  }

  static void SetTree(TagPlan& plan, const BTreeSummary& summary) {
    plan.info.PageCount = summary.PageCount;
    plan.info.RootPage = summary.RootPage;
    plan.info.Height = summary.Height;
    plan.info.KeyCount = summary.KeyCount;
  }

  Status WriteDirectoryAndHeader(OutputFile& out, const std::vector<TagPlan>& plans,
                                 uint32_t directory_first) {
    std::vector<uint8_t> directory;
    for (const TagPlan& plan : plans) AppendDirectoryEntry(directory, plan.info);
    const uint32_t per_page = page_size_ - kDirectoryPageHeaderSize;
    const uint32_t directory_pages =
        std::max<uint32_t>(1, static_cast<uint32_t>((directory.size() + per_page - 1) / per_page));
    if (uint64_t{directory_first} + directory_pages >= kNoPage) {
      return Status(AE_INDEX_KEY_TOO_LONG, "The index file would be too large");
    }
    if (Status status = out.ContinueAt(directory_first); !status.ok()) return status;
    std::vector<uint8_t> page(page_size_);
    for (uint32_t i = 0; i < directory_pages; ++i) {
      std::fill(page.begin(), page.end(), 0);
      const size_t from = size_t{i} * per_page;
      const uint32_t bytes = static_cast<uint32_t>(
          std::min<size_t>(per_page, directory.size() - std::min(from, directory.size())));
      page[kPageTypeOffset] = kDirectoryPage;
      Store32(page.data() + kDirectoryPagePositionOffset, i);
      Store32(page.data() + kDirectoryPageBytesOffset, bytes);
      if (bytes > 0)
        std::memcpy(page.data() + kDirectoryPageHeaderSize, directory.data() + from, bytes);
      SealIndexPage(page.data(), page_size_);
      if (Status status = out.WritePage(directory_first + i, page.data()); !status.ok())
        return status;
    }
    std::fill(page.begin(), page.end(), 0);
    page[kPageTypeOffset] = kHeaderPage;
    std::memcpy(page.data() + kHeaderMagicOffset, kIndexFileMagic, sizeof kIndexFileMagic);
    Store16(page.data() + kHeaderVersionOffset, kIndexFormatVersion);
    Store32(page.data() + kHeaderPageSizeOffset, page_size_);
    Store32(page.data() + kHeaderPageCountOffset, directory_first + directory_pages);
    Store32(page.data() + kHeaderDirectoryFirstOffset, directory_first);
    Store32(page.data() + kHeaderDirectoryPagesOffset, directory_pages);
    Store32(page.data() + kHeaderDirectoryBytesOffset, static_cast<uint32_t>(directory.size()));
    Store32(page.data() + kHeaderTagCountOffset, static_cast<uint32_t>(plans.size()));
    cipher_.StampHeader(page.data());
    SealIndexPage(page.data(), page_size_);
    return out.WritePage(0, page.data());
  }

  std::string path_;
  const IndexWriteOptions& options_;
  LockedFile file_;  // the new state under its temporary name
  bool renamed_ = false;
  uint32_t page_size_ = 0;
  IndexPageCipher cipher_;  // encrypts the new file's pages under options_.Key
};

IndexTagInfo InfoOfBuilder(const IndexBuilder& builder, uint32_t serial) {
  IndexTagInfo info;
  info.Name = builder.Definition().Name;
  info.Expression = builder.Definition().Expression;
  info.Kind = IndexTagKind::BTree;
  info.Options = builder.Definition().Options;
  info.Key = builder.Key();
  info.CollationChecksum = builder.Key().CollationChecksum();
  info.Serial = serial;
  return info;
}

// A full-text tag's entry before its pages are written: no key parts, the
// indexed fields as its expression.
IndexTagInfo InfoOfFullText(const FullTextTagBuild& build, uint32_t serial) {
  IndexTagInfo info;
  info.Name = build.Definition().Name;
  info.Expression = build.Definition().Expression;
  info.Kind = IndexTagKind::FullText;
  info.Serial = serial;
  return info;
}

const std::string& NameOf(const IndexTagBuild& tag) {
  return tag.BTree ? tag.BTree->Definition().Name : tag.FullText->Definition().Name;
}

// The plan of a tag to build, numbered `serial`.
TagPlan PlanOf(const IndexTagBuild& tag, uint32_t serial) {
  TagPlan plan;
  if (tag.BTree) {
    plan.builder = tag.BTree;
    plan.info = InfoOfBuilder(*tag.BTree, serial);
  } else {
    plan.fulltext = tag.FullText;
    plan.info = InfoOfFullText(*tag.FullText, serial);
  }
  return plan;
}

Status FinishBuilder(IndexBuilder& builder) {
  if (!builder.status().ok()) return builder.status();
  if (!builder.Finished()) return builder.Finish();
  return Status::Ok();
}

Status CheckPageSizeOption(uint32_t page_size) {
  if (page_size != 0 && !IsValidIndexPageSize(page_size)) {
    return Status(AE_INDEX_BAD_PAGE_SIZE, "The index page size " + std::to_string(page_size) +
                                              " is not one of 512, 1024, 2048, 4096 and 8192");
  }
  return Status::Ok();
}

// The existing index file, if there is one.
Result<std::unique_ptr<IndexFile>> OpenExisting(const std::string& index_path,
                                                const CharTable* table, const TableCipher* key) {
  struct stat st {};
  if (stat(index_path.c_str(), &st) != 0 && errno == ENOENT) return std::unique_ptr<IndexFile>();
  return IndexFile::Open(index_path, table ? *table : DefaultCharTable(), key);
}

// Checks the tags of a write: one builder each, B+tree builders finished
// (sorted), no two of the same name.
Status PrepareTags(std::span<const IndexTagBuild> tags) {
  for (size_t i = 0; i < tags.size(); ++i) {
    if ((tags[i].BTree == nullptr) == (tags[i].FullText == nullptr)) {
      return Status(AE_INDEX_BUILDER_STATE, "An index write got a tag without exactly one builder");
    }
    if (tags[i].BTree) {
      if (Status status = FinishBuilder(*tags[i].BTree); !status.ok()) return status;
    } else if (Status status = tags[i].FullText->status(); !status.ok()) {
      return status;
    }
    for (size_t j = 0; j < i; ++j) {
      if (UpperAscii(NameOf(tags[j])) == UpperAscii(NameOf(tags[i])))
        return Status(AE_INDEX_BAD_TAG_NAME, "Two indexes are named " + NameOf(tags[i]));
    }
  }
  return Status::Ok();
}

}  // namespace

Status AddIndexTag(const std::string& index_path, IndexBuilder& tag,
                   const IndexWriteOptions& options) {
  const IndexTagBuild tags[] = {{&tag, nullptr}};
  return AddIndexTags(index_path, tags, options);
}

Status AddIndexTags(const std::string& index_path, std::span<const IndexTagBuild> tags,
                    const IndexWriteOptions& options) {
  if (Status status = CheckPageSizeOption(options.PageSize); !status.ok()) return status;
  if (Status status = PrepareTags(tags); !status.ok()) return status;
  Result<std::unique_ptr<IndexFile>> existing = OpenExisting(index_path, nullptr, options.Key);
  if (!existing.ok()) return existing.status();
  const IndexFile* old_file = existing->get();

  std::vector<TagPlan> plans;
  uint32_t serial = 0;
  std::vector<bool> placed(tags.size(), false);
  if (old_file) {
    for (const IndexTagInfo& kept : old_file->Tags()) serial = std::max(serial, kept.Serial);
    for (const IndexTagInfo& kept : old_file->Tags()) {
      TagPlan plan;
      plan.source = &kept;
      plan.info = kept;
      for (size_t i = 0; i < tags.size(); ++i) {
        if (UpperAscii(kept.Name) == UpperAscii(NameOf(tags[i]))) {
          plan = PlanOf(tags[i], ++serial);  // the new tag takes the old one's place
          placed[i] = true;
        }
      }
      plans.push_back(std::move(plan));
    }
  }
  for (size_t i = 0; i < tags.size(); ++i) {
    if (!placed[i]) plans.push_back(PlanOf(tags[i], ++serial));
  }
  uint32_t page_size = options.PageSize;
  if (page_size == 0) page_size = old_file ? old_file->PageSize() : ChoosePageSize(plans);
  IndexFileWriter writer(index_path, options);
  return writer.Write(old_file, plans, page_size);
}

Status WriteIndexFile(const std::string& index_path, std::span<IndexBuilder* const> tags,
                      const IndexWriteOptions& options) {
  std::vector<IndexTagBuild> builds;
  for (IndexBuilder* builder : tags) builds.push_back({builder, nullptr});
  return WriteIndexFile(index_path, std::span<const IndexTagBuild>(builds), options);
}

Status WriteIndexFile(const std::string& index_path, std::span<const IndexTagBuild> tags,
                      const IndexWriteOptions& options) {
  if (Status status = CheckPageSizeOption(options.PageSize); !status.ok()) return status;
  if (Status status = PrepareTags(tags); !status.ok()) return status;
  std::vector<TagPlan> plans;
  for (const IndexTagBuild& tag : tags)
    plans.push_back(PlanOf(tag, static_cast<uint32_t>(plans.size() + 1)));
  uint32_t page_size = options.PageSize;
  if (page_size == 0) {
    // Keep the page size of the file being replaced, when it can be read.
    Result<std::unique_ptr<IndexFile>> existing = OpenExisting(index_path, nullptr, options.Key);
    page_size = existing.ok() && *existing ? (*existing)->PageSize() : ChoosePageSize(plans);
  }
  IndexFileWriter writer(index_path, options);
  return writer.Write(nullptr, plans, page_size);
}

Result<int> RemoveIndexTemporaries(const std::string& index_path) {
  return RemoveStaleStaged(index_path, kIndexTemporary);
}

std::string IndexFileNameOf(const std::string& table_path) {
  const size_t slash = table_path.rfind('/');
  const size_t dot = table_path.rfind('.');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const bool has_extension = dot != std::string::npos && dot > name_start;
  return (has_extension ? table_path.substr(0, dot) : table_path) + ".Adi";
}

}  // namespace engine
