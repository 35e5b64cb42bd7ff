// The files of a rewrite, beside the table file NAME.ADT and its index file
// NAME.Adi (as their names stand on disk):
//
//   NAME.ADT.rewrite-new      the new table file
//   NAME.Adi.rewrite-new      the new index file (when the table has one)
//   NAME.ADT.rewrite-commit   the commit file, a text of four lines:
//                               RIREWRITE 1
//                               table NAME.ADT
//                               index NAME.Adi      ("index -" without one)
//                               crc XXXXXXXX        CRC-32C of the lines above, hex
//
// Each new file is locked exclusively by its writer from its creation until
// the commit file is gone, so that an open of the table cannot take the new
// table file between the two renames. A commit file whose lines do not
// check out was torn before it was synced; no file had been renamed then,
// and it is removed with the new files. A commit file names only the table
// and the index file of the table it lies beside, whatever else it says.
#include "engine/table/TableRewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "engine/index/IndexFile.h"
#include "engine/index/IndexFileCrypto.h"
#include "engine/indexfile/IndexFileWriter.h"
#include "engine/table/Table.h"
#include "engine/util/Checksum.h"
#include "engine/util/LastError.h"
#include "engine/util/LockedFile.h"
#include "engine/util/StagedFile.h"
#include "engine/util/TableCryptoErrors.h"
#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"
#include "platform/Platform.h"

namespace engine {

namespace {

constexpr char kStagedSuffix[] = ".rewrite-new";
// The new files under their fixed names (the commit file names only the
// files they replace).
constexpr StagedNaming kStaged{kStagedSuffix, "", false, 0};
constexpr char kCommitSuffix[] = ".rewrite-commit";
constexpr char kCommitMagic[] = "RIREWRITE 1";
constexpr size_t kCopyBytes = 1u << 20;  // records or pages copied per write
constexpr off_t kMaxCommitSize = 4096;

std::string CommitPathOf(const std::string& table_path) {
  return table_path + kCommitSuffix;
}

// What a commit file names: file names in the table's folder; no index
// file when Index is empty.
struct CommitNames {
  std::string Table;
  std::string Index;
};

std::string EncodeCommit(const CommitNames& names) {
  const std::string lines = std::string(kCommitMagic) + "\ntable " + names.Table + "\nindex " +
                            (names.Index.empty() ? "-" : names.Index) + "\n";
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", Crc32c(lines.data(), lines.size()));
  return lines + "crc " + crc + "\n";
}

// The names of a sound commit file of the table at `table_path`, or nothing.
std::optional<CommitNames> DecodeCommit(const std::string& text, const std::string& table_path) {
  const size_t crc_at = text.rfind("crc ");
  if (crc_at == std::string::npos || text.size() != crc_at + 13 || text.back() != '\n')
    return std::nullopt;
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", Crc32c(text.data(), crc_at));
  if (text.compare(crc_at + 4, 8, crc) != 0) return std::nullopt;
  std::vector<std::string> lines;
  for (size_t at = 0; at < crc_at;) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos || end >= crc_at) return std::nullopt;
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (lines.size() != 3 || lines[0] != kCommitMagic || lines[1].rfind("table ", 0) != 0 ||
      lines[2].rfind("index ", 0) != 0) {
    return std::nullopt;
  }
  CommitNames names{lines[1].substr(6), lines[2].substr(6)};
  if (names.Index == "-") names.Index.clear();
  // Only this table's own files, never a path elsewhere.
  if (names.Table != FileNameOfPath(table_path)) return std::nullopt;
  if (!names.Index.empty() &&
      (names.Index.find('/') != std::string::npos ||
       !EqualsIgnoringCase(names.Index, FileNameOfPath(IndexFileNameOf(table_path))))) {
    return std::nullopt;
  }
  return names;
}

// The new files of a rewrite that never committed, left by a crash (those
// a writer holds stay).
void RemoveLeftovers(const std::string& table_path) {
  // Leftovers; if they stay, the next open tries again.
  RemoveStaleStaged(table_path, kStaged).status().PermitUncheckedError();
  RemoveStaleStaged(IndexFileNameOf(table_path), kStaged).status().PermitUncheckedError();
}

Status RenameIfPresent(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) == 0 || errno == ENOENT) return Status::Ok();
  return Status(AE_FILE_IO,
                "Cannot rename \"" + from + "\" to \"" + to + "\": " + std::strerror(errno));
}

// The new files while a rewrite writes them; removed unless Keep() was
// called, the commit file first.
class NewFiles {
 public:
  ~NewFiles() {
    if (keep_) return;
    for (LockedFile* file : {&commit, &table, &index}) {
      if (!file->IsOpen()) continue;
      unlink(file->Path().c_str());  // a leftover of ours; the next open removes it otherwise
      file->Close();
    }
  }
  void Keep() { keep_ = true; }

  LockedFile table;
  LockedFile index;
  LockedFile commit;

 private:
  bool keep_ = false;
};

// Writes every record of `table` (deleted ones too, each in its place) to
// `out` after a header like the table's, encrypted under `key` when given.
Status WriteTableFile(const Table& table, TableCipher* key, LockedFile& out,
                      const TableRewriteOptions& options) {
  std::string header = EncodeNewHeader(table.Schema());
  CommitState current;
  current.Generation = 1;
  current.RecordCount = table.RecordCount();
  if (key) {
    current.Flags = kCommitFlagEncrypted;
    current.KdfIterations = key->Parameters().KdfIterations;
    current.Salt = key->Parameters().Salt;
    current.PasswordCheck = key->Parameters().PasswordCheck;
    current.CipherScheme = kTableCipherScheme;
  }
  current.Flags |= kCommitFlagMirrored;  // both slots alike, as after every commit
  const auto slot = EncodeCommitSlot(current);
  std::memcpy(header.data() + kCommitSlotOffsets[0], slot.data(), slot.size());
  std::memcpy(header.data() + kCommitSlotOffsets[1], slot.data(), slot.size());
  if (header.size() != table.Header().HeaderSize) {
    return Status(AE_TABLE_CORRUPT,
                  "The header of table \"" + table.Name() + "\" has a size its fields do not give");
  }
  if (Status s = out.WriteAt(0, header.data(), header.size()); !s) return s;

  const size_t length = table.Schema().RecordLength();
  const size_t per_block = std::max<size_t>(1, kCopyBytes / length);
  std::vector<uint8_t> block;
  block.reserve(per_block * length);
  uint64_t offset = header.size();
  uint64_t copied = 0;
  auto flush = [&]() -> Status {
    if (block.empty()) return Status::Ok();
    if (key) {
      if (Status s = key->Apply(kRecordStream, offset, block.data(), block.size()); !s) return s;
    }
    if (Status s = out.WriteAt(offset, block.data(), block.size()); !s) return s;
    offset += block.size();
    block.clear();
    if (options.OnStep) options.OnStep(TableRewriteStep::RecordsWritten);
    return Status::Ok();
  };
  TableScanner scanner = table.Scan(/*include_deleted=*/true);
  while (scanner.Next()) {
    const uint8_t* bytes = scanner.Record().Bytes();
    block.insert(block.end(), bytes, bytes + length);
    ++copied;
    if (block.size() >= per_block * length) {
      if (Status s = flush(); !s) return s;
    }
  }
  if (!scanner.status()) return scanner.status();
  if (Status s = flush(); !s) return s;
  if (copied != table.RecordCount()) {
    return Status(AE_TABLE_CORRUPT, "Table \"" + table.Name() + "\" gave " +
                                        std::to_string(copied) + " of its " +
                                        std::to_string(table.RecordCount()) + " records");
  }
  if (Status s = out.Sync(); !s) return s;

  // Read back: the header must decode as the table's, with every record.
  std::string written(header.size(), '\0');
  if (Status s = out.ReadAt(0, written.data(), written.size()); !s) return s;
  size_t needed = 0;
  auto decoded = DecodeHeader(written, offset, out.Path(), needed);
  if (!decoded) return decoded.status();
  if (decoded->Commit.RecordCount != table.RecordCount() ||
      (decoded->Commit.Flags & kCommitFlagEncrypted) != (key ? kCommitFlagEncrypted : 0)) {
    return Status(AE_FILE_IO, "The new file \"" + out.Path() + "\" does not read back as written");
  }
  return Status::Ok();
}

// Carries every page of `old_file` into `out`, decrypted as the old file
// reads them and encrypted under `key` (when given) in a new stream.
Status CopyIndexFile(const IndexFile& old_file, const TableCipher* key, LockedFile& out,
                     const CharTable& chars) {
  Result<IndexPageCipher> cipher = IndexPageCipher::ForNewFile(key);
  if (!cipher.ok()) return cipher.status();
  const uint32_t page_size = old_file.PageSize();
  const uint32_t per_block = std::max<uint32_t>(1, static_cast<uint32_t>(kCopyBytes / page_size));
  std::vector<uint8_t> pages(uint64_t{per_block} * page_size);
  if (Status s = old_file.ReadPage(0, pages.data()); !s.ok()) return s;
  cipher->StampHeader(pages.data());
  SealIndexPage(pages.data(), page_size);
  if (Status s = out.WriteAt(0, pages.data(), page_size); !s) return s;
  for (uint32_t first = 1; first < old_file.PageCount();) {
    const uint32_t take = std::min(per_block, old_file.PageCount() - first);
    if (Status s = old_file.ReadPages(first, take, pages.data()); !s.ok()) return s;
    if (Status s = cipher->Apply(first, take, page_size, pages.data()); !s.ok()) return s;
    if (Status s =
            out.WriteAt(uint64_t{first} * page_size, pages.data(), uint64_t{take} * page_size);
        !s) {
      return s;
    }
    first += take;
  }
  if (Status s = out.Sync(); !s) return s;
  // Read back: header, directory and the tags' places, under the new key.
  Result<std::unique_ptr<IndexFile>> check = IndexFile::Open(out.Path(), chars, key);
  return check.ok() ? Status::Ok() : check.status();
}

Status Rewrite(const Connection& connection, std::string_view name, bool encrypt,
               std::string_view password, const TableRewriteOptions& options) {
  auto opened = Table::Open(connection, name, OpenMode::Exclusive);
  if (!opened) return opened.status();
  Table& table = **opened;
  std::unique_ptr<TableCipher> new_key;
  if (encrypt) {
    if (table.IsEncrypted()) {
      return Status(AE_ALREADY_SO, "Table \"" + table.Name() + "\" is encrypted already");
    }
    Result<TableCipher> key = TableCipher::Create(password, options.KdfIterations);
    if (!key) {
      return Status(key.status().Code(),
                    "Table \"" + table.Name() + "\": " + key.status().Message());
    }
    new_key = std::make_unique<TableCipher>(std::move(key).value());
  } else {
    if (!table.IsEncrypted())
      return Status(AE_ALREADY_SO, "Table \"" + table.Name() + "\" is not encrypted");
    if (Status s = table.EnableEncryption(password); !s) return s;
  }
  std::shared_ptr<const IndexFile> old_index;
  if (table.IndexFile()) {
    auto indexes = table.Indexes();
    if (!indexes.ok()) return indexes.status();
    old_index = *indexes;
  }
  const std::string table_path = table.Path();
  const std::string index_path = old_index ? table.IndexFile()->Path() : std::string();
  if (table.Name().find('\n') != std::string::npos) {
    return Status(AE_INVALID_TABLE_NAME,
                  "Table \"" + table.Name() + "\" has a line break in its name");
  }
  // The table is held exclusively: new files of a rewrite that never
  // committed are leftovers.
  RemoveLeftovers(table_path);

  NewFiles files;
  auto staged_table = CreateStaged(table_path, kStaged);
  if (!staged_table) return staged_table.status();
  files.table = std::move(staged_table).value();
  if (Status s = WriteTableFile(table, new_key.get(), files.table, options); !s) return s;
  if (options.OnStep) options.OnStep(TableRewriteStep::TableStaged);
  if (old_index) {
    auto staged_index = CreateStaged(index_path, kStaged);
    if (!staged_index) return staged_index.status();
    files.index = std::move(staged_index).value();
    if (Status s = CopyIndexFile(*old_index, new_key.get(), files.index, table.Environment().Chars);
        !s) {
      return s;
    }
    if (options.OnStep) options.OnStep(TableRewriteStep::IndexStaged);
  }
  if (Status s = SyncFolder(table.Folder()); !s) return s;

  // The commit: from here on the new table is the table.
  auto commit = LockedFile::CreateNew(CommitPathOf(table_path));
  if (!commit) return commit.status();
  files.commit = std::move(commit).value();
  const std::string commit_text =
      EncodeCommit({table.Name(), old_index ? FileNameOfPath(index_path) : std::string()});
  if (Status s = files.commit.WriteAt(0, commit_text.data(), commit_text.size()); !s) return s;
  if (Status s = files.commit.Sync(); !s) return s;
  if (Status s = SyncFolder(table.Folder()); !s) return s;
  if (options.OnStep) options.OnStep(TableRewriteStep::Committed);

  // Nothing renamed yet when this fails: the new files and the commit go.
  if (Status s = files.table.RenameTo(table_path, /*replace=*/true); !s) return s;
  files.Keep();
  if (options.OnStep) options.OnStep(TableRewriteStep::TableReplaced);
  if (files.index.IsOpen()) {
    if (Status s = files.index.RenameTo(index_path, /*replace=*/true); !s) {
      return Status(s.Code(), s.Message() + "; the change of table \"" + table.Name() +
                                  "\" is finished when it is next opened");
    }
    if (options.OnStep) options.OnStep(TableRewriteStep::IndexReplaced);
  }
  if (Status s = SyncFolder(table.Folder()); !s) return s;
  if (unlink(files.commit.Path().c_str()) != 0) {
    return Status(AE_FILE_IO, "Cannot remove \"" + files.commit.Path() + "\": " +
                                  std::strerror(errno) + "; the next open of the table removes it");
  }
  if (Status s = SyncFolder(table.Folder()); !s) return s;
  if (options.OnStep) options.OnStep(TableRewriteStep::Finished);
  return Status::Ok();
}

}  // namespace

Status EncryptTable(const Connection& connection, std::string_view name, std::string_view password,
                    const TableRewriteOptions& options) {
  return NoteError(Rewrite(connection, name, true, password, options));
}

Status DecryptTable(const Connection& connection, std::string_view name, std::string_view password,
                    const TableRewriteOptions& options) {
  return NoteError(Rewrite(connection, name, false, password, options));
}

bool RewriteCommitPending(const std::string& table_path) {
  return access(CommitPathOf(table_path).c_str(), F_OK) == 0;
}

Status FinishInterruptedRewrite(const std::string& table_path) {
  const std::string commit_path = CommitPathOf(table_path);
  const int fd = open(commit_path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    if (errno != ENOENT) {
      return Status(AE_FILE_IO, "Cannot open \"" + commit_path + "\": " + std::strerror(errno));
    }
    RemoveLeftovers(table_path);
    return Status::Ok();
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  if (!platform::LockFile(fd, platform::LockKind::Exclusive)) {
    return Status(AE_TABLE_IN_USE, "Table \"" + FileNameOfPath(table_path) +
                                       "\" cannot be opened: a change of its encryption is being "
                                       "written elsewhere");
  }
  struct stat st {};
  if (fstat(fd, &st) != 0)
    return Status(AE_FILE_IO, "Cannot examine \"" + commit_path + "\": " + std::strerror(errno));
  if (st.st_nlink == 0) return Status::Ok();  // its writer finished meanwhile
  std::string text(static_cast<size_t>(std::min<off_t>(st.st_size, kMaxCommitSize)), '\0');
  const ssize_t got = pread(fd, text.data(), text.size(), 0);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  const std::optional<CommitNames> names = DecodeCommit(text, table_path);
  const std::string folder = FolderOfPath(table_path);
  if (names) {
    if (Status s = RenameIfPresent(table_path + kStagedSuffix, table_path); !s) return s;
    if (!names->Index.empty()) {
      const std::string index_path = folder + "/" + names->Index;
      if (Status s = RenameIfPresent(index_path + kStagedSuffix, index_path); !s) return s;
    }
    if (Status s = SyncFolder(folder); !s) return s;
  }
  if (unlink(commit_path.c_str()) != 0 && errno != ENOENT)
    return Status(AE_FILE_IO, "Cannot remove \"" + commit_path + "\": " + std::strerror(errno));
  if (Status s = SyncFolder(folder); !s) return s;
  if (!names) RemoveLeftovers(table_path);
  return Status::Ok();
}

}  // namespace engine
