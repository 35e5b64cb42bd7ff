#include "engine/table/Table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/index/IndexFileCrypto.h"
#include "engine/indexfile/IndexFileWriter.h"
#include "engine/table/TableCursor.h"
#include "engine/table/TableRewrite.h"
#include "engine/util/LastError.h"
#include "engine/util/LockedFile.h"
#include "engine/util/StagedFile.h"
#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"
#include "platform/Platform.h"

namespace engine {

namespace {

constexpr size_t kScanChunkBytes = 1u << 20;    // one read per MiB of records
constexpr size_t kAppendChunkBytes = 4u << 20;  // one write per 4 MiB of records

Status CheckTableName(std::string_view name) {
  const bool bad = name.empty() || name == "." || name == ".." ||
                   name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos;
  if (bad) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about a literal
    // prepended to a string.
    std::string message(1, '"');
    message.append(name).append("\" is not a valid table name");
    return Status(AE_INVALID_TABLE_NAME, message);
  }
  return Status::Ok();
}

bool HasExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot != std::string_view::npos && dot > 0;
}

// The table file of `name` in `folder`: exactly, ignoring case, then with
// ".ADT" added when the name has no extension. Empty when there is none.
std::string FindTableFile(const std::string& folder, std::string_view name) {
  std::string found = platform::FindFileIgnoringCase(folder + "/" + std::string(name));
  if (found.empty() && !HasExtension(name))
    found = platform::FindFileIgnoringCase(folder + "/" + std::string(name) + ".ADT");
  return found;
}

Status InUse(const std::string& table, OpenMode mode, const std::string& what) {
  if (mode == OpenMode::Exclusive) {
    return Status(AE_TABLE_IN_USE, "Table \"" + table + "\" cannot be opened exclusively: " + what +
                                       " is open elsewhere");
  }
  return Status(AE_TABLE_IN_USE, "Table \"" + table + "\" cannot be opened: " + what +
                                     " is open exclusively elsewhere");
}

platform::LockKind LockFor(OpenMode mode) {
  return mode == OpenMode::Exclusive ? platform::LockKind::Exclusive : platform::LockKind::Shared;
}

// The file a load writes beside its table: NAME.ADT.load-PID-N.
constexpr StagedNaming kLoadFile{".load-", "", true, 0};

}  // namespace

// ---------------------------------------------------------------- opening

Table::~Table() {
  cursor_.reset();
  if (on_close_) on_close_();
}

Result<std::unique_ptr<Table>> Table::OpenFile(std::shared_ptr<const EngineEnvironment> environment,
                                               const std::string& path, OpenMode mode,
                                               SlotChoice choice) {
  // A change of the table's encryption that a crash interrupted is finished
  // first (TableRewrite.h). Its writer can crash between that look and the
  // lock, so the look is repeated once the lock is held.
  Result<LockedFile> file = Status(AE_TABLE_IN_USE, "");
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (Status s = FinishInterruptedRewrite(path); !s) return s;
    file = LockedFile::Open(path, LockFor(mode));
    if (!file || !RewriteCommitPending(path)) break;
    file = Status(AE_TABLE_IN_USE, "");
  }
  if (!file) {
    if (file.status().Code() == AE_TABLE_IN_USE) return InUse(FileNameOfPath(path), mode, "it");
    return file.status();
  }
  // Held by the table's lock now, so no other open can be writing its index
  // file: a temporary file beside it that no write holds is a remnant.
  RemoveIndexTemporaries(IndexFileNameOf(path))
      .status()
      .PermitUncheckedError();  // a remnant harms nothing, and the next open tries again
  return FromFile(std::move(environment), std::move(file.value()), mode, choice);
}

Result<std::unique_ptr<Table>> Table::FromFile(std::shared_ptr<const EngineEnvironment> environment,
                                               LockedFile file, OpenMode mode, SlotChoice choice) {
  auto table = std::unique_ptr<Table>(new Table());
  table->name_ = FileNameOfPath(file.Path());
  table->folder_ = FolderOfPath(file.Path());
  table->mode_ = mode;
  table->environment_ = std::move(environment);
  table->file_ = std::move(file);

  auto size = table->file_.Size();
  if (!size) return size.status();
  std::string prefix(static_cast<size_t>(std::min<uint64_t>(*size, kDescriptorsOffset)), '\0');
  if (Status s = table->file_.ReadAt(0, prefix.data(), prefix.size()); !s) return s;
  size_t needed = 0;
  auto header = DecodeHeader(prefix, *size, table->Path(), needed, choice);
  if (!header && needed > 0) {
    prefix.resize(needed);
    if (Status s = table->file_.ReadAt(0, prefix.data(), prefix.size()); !s) return s;
    header = DecodeHeader(prefix, *size, table->Path(), needed, choice);
  }
  if (!header) return header.status();
  table->header_ = std::move(header.value());

  if (Status s = table->ReopenIndexFile(); !s) return s;
  if (table->NeedsPassword()) {
    // The header page of an encrypted table's index file is readable
    // without the password.
    if (table->index_file_.IsOpen()) {
      auto page_size = ReadIndexFilePageSize(table->index_file_.Path());
      if (page_size.ok()) table->index_page_size_ = *page_size;
    }
  } else {
    auto indexes = table->Indexes();
    // A damaged index file leaves the option at 0; its error comes with the
    // first use of the indexes, and the records stay readable meanwhile.
    if (indexes.ok() && *indexes) table->index_page_size_ = (*indexes)->PageSize();
  }
  return table;
}

Result<std::unique_ptr<Table>> Table::Open(const Connection& connection, std::string_view name,
                                           OpenMode mode) {
  if (Status s = CheckTableName(name); !s) return NoteError(s);
  if (connection.IsRemote()) {
    return NoteError(Status(AE_REMOTE_UNAVAILABLE,
                            "Table \"" + std::string(name) + "\" is on the server of " +
                                connection.ConnectPath() + ": open it as a remote table"));
  }
  const std::string path = FindTableFile(connection.Folder(), name);
  if (path.empty()) {
    return NoteError(
        Status(AE_TABLE_NOT_FOUND,
               "Table \"" + std::string(name) + "\" not found in \"" + connection.Folder() + "\""));
  }
  auto table = OpenFile(connection.Environment(), path, mode);
  if (!table) return NoteError(table.status());
  (*table)->passwords_ = connection.Passwords();
  return table;
}

Result<std::unique_ptr<Table>> Table::OpenForSalvage(const Connection& connection,
                                                     std::string_view name) {
  if (Status s = CheckTableName(name); !s) return NoteError(s);
  const std::string path = FindTableFile(connection.Folder(), name);
  if (path.empty()) {
    return NoteError(
        Status(AE_TABLE_NOT_FOUND,
               "Table \"" + std::string(name) + "\" not found in \"" + connection.Folder() + "\""));
  }
  auto table = OpenFile(connection.Environment(), path, OpenMode::Shared, SlotChoice::Salvage);
  if (!table) return NoteError(table.status());
  (*table)->passwords_ = connection.Passwords();
  return table;
}

void Table::CloseIndexFile() {
  index_file_.Close();
  indexes_.reset();
  indexes_read_ = false;
}

TableCursor& Table::Cursor() {
  if (!cursor_) cursor_ = std::make_unique<TableCursor>(*this);
  return *cursor_;
}

Status Table::ReopenIndexFile() {
  CloseIndexFile();
  const std::string path = platform::FindFileIgnoringCase(IndexFileNameOf(Path()));
  if (path.empty()) return Status::Ok();
  auto index = LockedFile::Open(path, LockFor(mode_));
  if (!index) {
    if (index.status().Code() == AE_TABLE_IN_USE)
      return InUse(name_, mode_, "its index file \"" + FileNameOfPath(path) + "\"");
    return index.status();
  }
  index_file_ = std::move(index.value());
  return Status::Ok();
}

std::string Table::IndexFilePath() const {
  if (index_file_.IsOpen()) return index_file_.Path();
  const std::string canonical = IndexFileNameOf(Path());
  const std::string found = platform::FindFileIgnoringCase(canonical);
  return found.empty() ? canonical : found;
}

// ---------------------------------------------------------------- creating

Result<std::unique_ptr<Table>> Table::Create(const Connection& connection, std::string_view name,
                                             const std::vector<FieldDef>& fields) {
  auto load = TableLoad::Begin(connection, name, fields, false);
  if (!load) return load.status();
  if (Status s = load->Complete(); !s) return s;
  return std::move(load->table_);
}

// ---------------------------------------------------------------- records

Status Table::ReadRecord(uint32_t recno, std::vector<uint8_t>& buffer) const {
  if (recno < 1 || recno > RecordCount()) {
    return NoteError(Status(AE_RECORD_NUMBER, "Table \"" + name_ + "\" has no record " +
                                                  std::to_string(recno) + " (it holds " +
                                                  std::to_string(RecordCount()) + ")"));
  }
  if (NeedsPassword()) return NoteError(PasswordNotEnabled());
  const uint32_t length = Schema().RecordLength();
  const uint64_t offset = header_.HeaderSize + uint64_t{recno - 1} * length;
  buffer.resize(length);
  if (Status s = file_.ReadAt(offset, buffer.data(), length); !s) return NoteError(s);
  return NoteError(CipherRecords(offset, buffer.data(), length));
}

TableScanner Table::Scan(bool include_deleted) const {
  return TableScanner(*this, include_deleted);
}

Result<uint32_t> Table::CountLiveRecords() const {
  TableScanner scanner = Scan();
  uint32_t count = 0;
  while (scanner.Next()) ++count;
  if (!scanner.status()) return NoteError(scanner.status());
  return count;
}

Status Table::DeleteRecord(uint32_t recno) {
  std::vector<uint8_t> record;
  if (Status s = ReadRecord(recno, record); !s) return s;
  if (record[0] == kRecordDeleted) return Status::Ok();
  if (record[0] != kRecordLive) {
    return NoteError(Status(AE_RECORD_DAMAGED, "Record " + std::to_string(recno) + " of \"" +
                                                   Path() + "\" is damaged"));
  }
  uint8_t deleted = kRecordDeleted;
  const uint64_t offset = header_.HeaderSize + uint64_t{recno - 1} * Schema().RecordLength();
  if (Status s = CipherRecords(offset, &deleted, 1); !s) return NoteError(s);
  return NoteError(file_.WriteAt(offset, &deleted, 1));
}

Status Table::RecallRecord(uint32_t recno) {
  if (mode_ != OpenMode::Exclusive) {
    return NoteError(
        Status(AE_NEEDS_EXCLUSIVE,
               "Records of table \"" + name_ + "\" are recalled only when it is open exclusively"));
  }
  std::vector<uint8_t> record;
  if (Status s = ReadRecord(recno, record); !s) return s;
  if (record[0] == kRecordLive) return Status::Ok();
  if (record[0] != kRecordDeleted) {
    return NoteError(Status(AE_RECORD_DAMAGED, "Record " + std::to_string(recno) + " of \"" +
                                                   Path() + "\" is damaged"));
  }
  uint8_t live = kRecordLive;
  const uint64_t offset = header_.HeaderSize + uint64_t{recno - 1} * Schema().RecordLength();
  if (Status s = CipherRecords(offset, &live, 1); !s) return NoteError(s);
  return NoteError(file_.WriteAt(offset, &live, 1));
}

Result<TableAppender> Table::Appender() {
  if (mode_ != OpenMode::Exclusive) {
    return NoteError(Status(AE_NEEDS_EXCLUSIVE, "Records are appended to table \"" + name_ +
                                                    "\" only when it is open exclusively"));
  }
  if (NeedsPassword()) return NoteError(PasswordNotEnabled());
  return TableAppender(*this);
}

Status Table::CommitRecordCount(uint32_t count) {
  if (Status s = file_.Sync(); !s) return s;
  CommitState next = header_.Commit;
  next.Generation += 1;
  next.RecordCount = count;
  next.Flags |= kCommitFlagMirrored;
  // The slot that is not current first: until it is synced the current one
  // holds the last commit. Then its mirror, so both describe the new one.
  const int slot = 1 - header_.CurrentSlot;
  const auto bytes = EncodeCommitSlot(next);
  for (const int written : {slot, 1 - slot}) {
    if (Status s = file_.WriteAt(kCommitSlotOffsets[written], bytes.data(), bytes.size()); !s)
      return s;
    if (Status s = file_.Sync(); !s) return s;
    if (written == slot) {
      header_.Commit = next;
      header_.CurrentSlot = slot;
    }
  }
  return Status::Ok();
}

// ---------------------------------------------------------------- scanning

TableScanner::TableScanner(const Table& table, bool include_deleted)
    : table_(&table),
      include_deleted_(include_deleted),
      chunk_records_(static_cast<uint32_t>(
          std::max<size_t>(1, kScanChunkBytes / table.Schema().RecordLength()))) {}

void TableScanner::Reset(uint32_t recno) {
  next_ = recno < 1 ? 1 : recno;
  recno_ = 0;
  current_ = nullptr;
  status_ = Status::Ok();
}

bool TableScanner::Fill(uint32_t first) {
  const uint32_t length = table_->Schema().RecordLength();
  const uint32_t count = std::min<uint32_t>(chunk_records_, table_->RecordCount() - first + 1);
  if (buffer_.empty()) {
    // The file is read from start to end; let the system read ahead.
    posix_fadvise(table_->File().Fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  // As large as the records read need, so a scan of a small table costs
  // no more than the table.
  if (buffer_.size() < size_t{count} * length) buffer_.resize(size_t{count} * length);
  const uint64_t offset = table_->Header().HeaderSize + uint64_t{first - 1} * length;
  status_ = table_->NeedsPassword() ? table_->PasswordNotEnabled() : Status::Ok();
  if (status_) status_ = table_->File().ReadAt(offset, buffer_.data(), size_t{count} * length);
  if (status_) status_ = table_->CipherRecords(offset, buffer_.data(), size_t{count} * length);
  chunk_key_generation_ = table_->KeyGeneration();
  if (!status_) {
    chunk_first_ = chunk_count_ = 0;
    return false;
  }
  chunk_first_ = first;
  chunk_count_ = count;
  return true;
}

bool TableScanner::Next() {
  if (!status_) return false;
  const uint32_t total = table_->RecordCount();
  const uint32_t length = table_->Schema().RecordLength();
  while (next_ <= total) {
    // Records read before the table's password was enabled or disabled are
    // read again, so the buffer never serves them across the change.
    if (chunk_first_ == 0 || next_ < chunk_first_ || next_ - chunk_first_ >= chunk_count_ ||
        chunk_key_generation_ != table_->KeyGeneration()) {
      if (!Fill(next_)) break;
    }
    const uint8_t* record = buffer_.data() + size_t{next_ - chunk_first_} * length;
    const uint32_t recno = next_++;
    if (record[0] == kRecordLive || (include_deleted_ && record[0] == kRecordDeleted)) {
      recno_ = recno;
      current_ = record;
      return true;
    }
    if (record[0] != kRecordDeleted) {
      status_ = NoteError(Status(
          AE_RECORD_DAMAGED, "Record " + std::to_string(recno) + " of \"" + table_->Path() +
                                 "\" is damaged (state byte " + std::to_string(record[0]) + ")"));
      break;
    }
  }
  recno_ = 0;
  current_ = nullptr;
  return false;
}

// ---------------------------------------------------------------- appending

TableAppender::TableAppender(Table& table)
    : table_(&table),
      buffer_(std::max<size_t>(1, kAppendChunkBytes / table.Schema().RecordLength()) *
              table.Schema().RecordLength()),
      written_count_(table.RecordCount()),
      next_count_(table.RecordCount()) {}

Status TableAppender::Append(const uint8_t* record) {
  if (!status_) return status_;
  if (next_count_ >= kMaxRecordCount) {
    status_ =
        NoteError(Status(AE_TABLE_FULL, "Table \"" + table_->Name() + "\" cannot hold more than " +
                                            std::to_string(kMaxRecordCount) + " records"));
    return status_;
  }
  const size_t length = table_->Schema().RecordLength();
  std::memcpy(buffer_.data() + buffered_ * length, record, length);
  ++buffered_;
  ++next_count_;
  if ((buffered_ + 1) * length > buffer_.size()) return FlushBuffer();
  return Status::Ok();
}

Status TableAppender::FlushBuffer() {
  if (!status_ || buffered_ == 0) return status_;
  const size_t length = table_->Schema().RecordLength();
  const uint64_t offset = table_->Header().HeaderSize + written_count_ * length;
  status_ = NoteError(table_->CipherRecords(offset, buffer_.data(), buffered_ * length));
  if (status_)
    status_ = NoteError(table_->file_.WriteAt(offset, buffer_.data(), buffered_ * length));
  if (status_) {
    written_count_ += buffered_;
    buffered_ = 0;
  }
  return status_;
}

Status TableAppender::Commit() {
  if (Status s = FlushBuffer(); !s) return s;
  if (next_count_ == table_->RecordCount()) return Status::Ok();
  status_ = NoteError(table_->CommitRecordCount(static_cast<uint32_t>(next_count_)));
  return status_;
}

// ---------------------------------------------------------------- loading

Result<TableLoad> TableLoad::Begin(const Connection& connection, std::string_view name,
                                   const std::vector<FieldDef>& fields, bool replace) {
  if (Status s = CheckTableName(name); !s) return NoteError(s);
  auto schema = TableSchema::Make(fields);
  if (!schema) return NoteError(schema.status());
  const std::string& folder = connection.Folder();

  TableLoad load;
  std::string existing = FindTableFile(folder, name);
  const std::string file_name = existing.empty()
                                    ? std::string(name) + (HasExtension(name) ? "" : ".ADT")
                                    : FileNameOfPath(existing);
  load.target_path_ = folder + "/" + file_name;
  if (!existing.empty()) {
    if (Status s = FinishInterruptedRewrite(existing); !s) return NoteError(s);
    if (!replace)
      return NoteError(Status(AE_TABLE_EXISTS,
                              "Table \"" + file_name + "\" exists already in \"" + folder + "\""));
    // Held exclusively until Finish: nobody may use the table being replaced.
    auto old = LockedFile::Open(existing, platform::LockKind::Exclusive);
    if (!old) {
      if (old.status().Code() == AE_TABLE_IN_USE)
        return NoteError(InUse(file_name, OpenMode::Exclusive, "it"));
      return NoteError(old.status());
    }
    load.replaced_file_ = std::move(old.value());
    const std::string old_index = platform::FindFileIgnoringCase(IndexFileNameOf(existing));
    if (!old_index.empty()) {
      auto index = LockedFile::Open(old_index, platform::LockKind::Exclusive);
      if (!index) {
        if (index.status().Code() == AE_TABLE_IN_USE) {
          return NoteError(InUse(file_name, OpenMode::Exclusive,
                                 "its index file \"" + FileNameOfPath(old_index) + "\""));
        }
        return NoteError(index.status());
      }
      load.replaced_index_ = std::move(index.value());
    }
    load.target_path_ = existing;
  } else {
    const std::string stale_index =
        platform::FindFileIgnoringCase(IndexFileNameOf(load.target_path_));
    if (!stale_index.empty()) {
      return NoteError(Status(AE_TABLE_EXISTS, "The index file \"" + FileNameOfPath(stale_index) +
                                                   "\" of an earlier table \"" + file_name +
                                                   "\" is still in \"" + folder + "\""));
    }
  }

  // Load files of `file_name` left by loads that crashed: a file whose lock
  // can be taken belongs to no running load.
  RemoveStaleStaged(load.target_path_, kLoadFile)
      .status()
      .PermitUncheckedError();  // a stale remnant; if it cannot go, the next load tries again
  auto file = CreateStaged(load.target_path_, kLoadFile);
  if (!file) return NoteError(file.status());
  const std::string load_path = file->Path();
  const std::string header = EncodeNewHeader(*schema);
  Status written = file->WriteAt(0, header.data(), header.size());
  if (written) written = file->Sync();
  if (!written) {
    unlink(load_path.c_str());
    return NoteError(written);
  }
  auto table =
      Table::FromFile(connection.Environment(), std::move(file.value()), OpenMode::Exclusive);
  if (!table) {
    unlink(load_path.c_str());
    return NoteError(table.status());
  }
  load.table_ = std::move(table.value());
  load.appender_ = std::unique_ptr<TableAppender>(new TableAppender(*load.table_));
  return load;
}

uint64_t TableLoad::Appended() const {
  return appender_ ? appender_->Uncommitted() + table_->RecordCount() : 0;
}

Status TableLoad::Finish() {
  Status status = Complete();
  if (status) table_.reset();
  return status;
}

Status TableLoad::Complete() {
  if (done_ || !table_) return Status::Ok();
  if (Status s = appender_->Commit(); !s) return s;
  appender_.reset();
  const Status placed =
      PutStagedInPlace(table_->file_, target_path_, replaced_file_.IsOpen(), kLoadFile);
  if (!placed && table_->file_.Path() != target_path_) return NoteError(placed);
  table_->name_ = FileNameOfPath(target_path_);
  done_ = true;
  replaced_file_.Close();
  if (replaced_index_.IsOpen()) {
    // The old index file described the old records; it goes with them.
    const std::string index = replaced_index_.Path();
    const bool removed = unlink(index.c_str()) == 0 || errno == ENOENT;
    const int error_number = errno;
    replaced_index_.Close();
    if (!removed) {
      return NoteError(Status(
          AE_FILE_IO, "Table \"" + table_->Name() + "\" was replaced, but its old index file \"" +
                          index + "\" cannot be removed: " + std::strerror(error_number)));
    }
  }
  if (!placed) return NoteError(placed);  // renamed; the sync of the folder failed
  return NoteError(SyncFolder(table_->Folder()));
}

TableLoad& TableLoad::operator=(TableLoad&& other) noexcept {
  if (this != &other) {
    Abandon();
    table_ = std::move(other.table_);
    appender_ = std::move(other.appender_);
    replaced_file_ = std::move(other.replaced_file_);
    replaced_index_ = std::move(other.replaced_index_);
    target_path_ = std::move(other.target_path_);
    done_ = other.done_;
  }
  return *this;
}

void TableLoad::Abandon() {
  if (done_ || !table_) return;
  appender_.reset();
  const std::string path = table_->Path();
  table_.reset();
  unlink(path.c_str());  // the load file is ours alone; if it stays, the next load removes it
  replaced_file_.Close();
  replaced_index_.Close();
  done_ = true;
}

}  // namespace engine
