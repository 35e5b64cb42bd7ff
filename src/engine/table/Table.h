// An open table: its file, held under an OS lock, and (when the table has
// one) its index file beside it, locked the same way.
//
// Opening is the one place where a table's files are found and locked:
//   1. the name is looked up in the connection's folder, exactly first, then
//      ignoring case, then with ".ADT" added when it has no extension;
//   2. the table file is opened and locked, shared or exclusive; a lock held
//      elsewhere refuses the open (8103 naming the table);
//   3. the header is read and checked (TableFormat.h);
//   4. temporary files that an interrupted index write left beside the
//      index file are removed (RemoveIndexTemporaries);
//   5. the index file, the table's name with ".Adi" in place of its
//      extension (found ignoring case), is opened and locked in the same mode
//      when it exists, and the table's index page size option is set to its
//      page size (0 without one, or when the file cannot be read: the error
//      then comes from the first use of the indexes);
//   6. the table gets its handle (EngineHandles.h).
// So a table open exclusively anywhere cannot be opened at all, and a table
// open shared anywhere cannot be opened exclusively, whether "anywhere" is
// another process or another open in this one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/crypto/TableCrypto.h"
#include "engine/env/Connection.h"
#include "engine/env/EngineEnvironment.h"
#include "engine/index/IndexBuilder.h"
#include "engine/index/IndexFile.h"
#include "engine/indexfile/IndexFileVerify.h"
#include "engine/indexfile/IndexFileWriter.h"
#include "engine/record/Record.h"
#include "engine/record/TableFormat.h"
#include "engine/record/TableSchema.h"
#include "engine/util/EngineError.h"
#include "engine/util/LockedFile.h"

namespace engine {

enum class OpenMode { Shared, Exclusive };

class TableScanner;
class TableAppender;
class TableCursor;
class FullTextTagBuild;
struct FullTextTagDefinition;

class Table {
 public:
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  static Result<std::unique_ptr<Table>> Open(const Connection& connection, std::string_view name,
                                             OpenMode mode);

  // Opens a damaged table shared to copy out what can be read (SalvageTable):
  // a table whose last commit cannot be told (8130), whose commit slots are
  // both damaged or whose file is cut short is read as far as the file
  // holds whole records. Never for anything but reading records.
  static Result<std::unique_ptr<Table>> OpenForSalvage(const Connection& connection,
                                                       std::string_view name);

  // Creates an empty table (".ADT" is added to a name without extension) and
  // answers it open exclusively. Refuses a name taken by a table, or by an
  // index file that an earlier table left behind. The file appears whole: it
  // is written under a temporary name and renamed into place.
  static Result<std::unique_ptr<Table>> Create(const Connection& connection, std::string_view name,
                                               const std::vector<FieldDef>& fields);

  const std::string& Name() const { return name_; }  // the file name, as on disk
  const std::string& Path() const { return file_.Path(); }
  const std::string& Folder() const { return folder_; }
  OpenMode Mode() const { return mode_; }
  const TableSchema& Schema() const { return header_.Schema; }
  const TableHeader& Header() const { return header_; }
  uint32_t RecordCount() const { return header_.Commit.RecordCount; }  // deleted records included
  bool IsEncrypted() const { return (header_.Commit.Flags & kCommitFlagEncrypted) != 0; }

  // ---- encryption (TableEncryption.cpp)
  //
  // An encrypted table opens with its records and index file unreadable:
  // reading a record, scanning, moving the cursor, building, reading or
  // checking indexes and deleting answer AE_PASSWORD_NOT_ENABLED (8334)
  // naming the table, until the password is enabled on the open table.

  // True while the table is encrypted and its password not enabled.
  bool NeedsPassword() const { return IsEncrypted() && !cipher_; }
  // Unlocks the open table. 5068 when it is not encrypted or its password
  // is enabled already, 8330 for a wrong password (also the empty one),
  // 8129 for an encryption scheme this engine does not know.
  Status EnableEncryption(std::string_view password);
  // Locks it again: what was read under the password is dropped (the
  // cursor stands on no record, at both ends). 5068 when no password is
  // enabled.
  Status DisableEncryption();
  // The table's key while its password is enabled, else nullptr.
  const TableCipher* Key() const { return cipher_.get(); }
  // The error every read answers while NeedsPassword() (not noted).
  Status PasswordNotEnabled() const;
  // Counts the enables and disables, so that readers know when bytes they
  // hold were read under another state of the key.
  uint64_t KeyGeneration() const { return key_generation_; }
  const EngineEnvironment& Environment() const { return *environment_; }
  const std::shared_ptr<const EngineEnvironment>& EnvironmentPtr() const { return environment_; }
  const LockedFile& File() const { return file_; }

  // Reads record `recno` (1..RecordCount, deleted or not) into `buffer`.
  Status ReadRecord(uint32_t recno, std::vector<uint8_t>& buffer) const;

  // A scan over the live records in record-number order (all records with
  // `include_deleted`), reading many records per system call.
  TableScanner Scan(bool include_deleted = false) const;

  // Live records, by a scan.
  Result<uint32_t> CountLiveRecords() const;

  // Flags record `recno` deleted. It stays in the file and scans skip it.
  // The flag reaches the disk at the next Sync() (or when the system writes
  // it back), so a statement that deletes many records syncs once.
  Status DeleteRecord(uint32_t recno);
  // Clears the deleted flag of record `recno` (a live record stays as it
  // is). The table must be open exclusively, and its tags are out of date
  // until Reindex: they hold no key for the record.
  Status RecallRecord(uint32_t recno);
  Status Sync() { return file_.Sync(); }

  // A bulk appender (the table must be open exclusively).
  Result<TableAppender> Appender();

  // The index file: where it is (or would be), the open and locked file when
  // it exists, reopening after it was created or replaced on disk (in the
  // table's mode), and closing before it is removed.
  std::string IndexFilePath() const;
  LockedFile* IndexFile() { return index_file_.IsOpen() ? &index_file_ : nullptr; }
  const LockedFile* IndexFile() const { return index_file_.IsOpen() ? &index_file_ : nullptr; }
  Status ReopenIndexFile();
  void CloseIndexFile();

  // ---- indexes (TableIndexes.cpp)

  // The index page size option: what callers pass to AddIndex and Reindex
  // unless they choose otherwise. Opening sets it to the page size of the
  // existing index file, or 0 (the engine's default) without one. Setting
  // it refuses sizes other than 0, 512, 1024, 2048, 4096 and 8192 (8203).
  uint32_t IndexPageSize() const { return index_page_size_; }
  Status SetIndexPageSize(uint32_t page_size);

  // The index file as read: nullptr when the table has none, an engine
  // error when it cannot be read (damaged, not an index file). The answer
  // stays valid while the caller holds it, also across later changes.
  Result<std::shared_ptr<const engine::IndexFile>> Indexes() const;

  // Adds the tag `definition` to the index file, built from one scan of the
  // live records: creates the file with the first tag, replaces a tag of
  // the same name, keeps every other one. `page_size` 0 keeps the existing
  // file's page size or lets the engine choose for a new file; another size
  // lays the kept tags out again in it. Needs the table open exclusively
  // (8120). Errors: those of the key expression (82xx), 7059 when a unique
  // tag meets a record whose key is NULL or empty, 8204 for two equal keys
  // in a unique tag, those of reading the old file and writing the new one;
  // the old file is then untouched. `on_step` sees the write's steps.
  Status AddIndex(const IndexTagDefinition& definition, uint32_t page_size,
                  const std::function<void(IndexWriteStep)>& on_step = {});

  // Rebuilds every tag of the index file from one scan of the live records,
  // in their order, with `page_size` (0 keeps the file's). Each tag's sort
  // gets an equal share of the engine's sort memory. Needs the table open
  // exclusively; a table without an index file answers 5068 (nothing to
  // rebuild, already so). A file whose pages are damaged or cut off is
  // rebuilt from its tag directory when that still reads; when it does not
  // either, 8215 says so (the tags it held are not known).
  Status Reindex(uint32_t page_size);

  // True when the index file is there but cannot be read as a whole (a
  // damage that Reindex and AddIndex repair from its tag directory).
  bool IndexFileDamaged() const;

  // Checks every tag of the index file: its structure, that its keys are
  // exactly those of the live records, uniqueness; for a full-text tag,
  // that it holds exactly the words of the live records. Nothing (an empty
  // optional) when the table has no index file.
  std::optional<IndexFileCheck> VerifyIndexes() const;

  // Adds the full-text tag `definition` (FullTextTag.h) like AddIndex adds
  // a B+tree tag: one scan of the live records, the file created, a tag of
  // the same name replaced, the others kept. Needs the table open
  // exclusively (8120). Errors: 8200/8201/8212 for the fields (a field that
  // is not a character field is named), 8210, 8310, and those of the write.
  // AddIndex and Reindex rebuild full-text tags from their stored
  // definition when they change the page size or rebuild the file.
  Status AddFullTextIndex(const FullTextTagDefinition& definition, uint32_t page_size);

  // The live records holding every word of `words`, found through the
  // full-text tag `tag`, in record order. Errors: 8208 without such a tag,
  // 8213 for a tag that is not a full-text tag, 8311 when no word of
  // `words` is one the tag indexes, those of a damaged index file.
  Result<std::vector<uint32_t>> SearchFullText(std::string_view tag, std::string_view words) const;

  // The fields of the table as key expressions see them.
  std::vector<KeyField> KeyFields() const;

  // ---- handle and cursor

  // Runs `action` once when the table closes: the handle registry
  // (HandleOfTable, EngineHandles.h) takes back the table's handles through it.
  void OnClose(std::function<void()> action) { on_close_ = std::move(action); }
  // The table's own cursor: the one the handle's navigation calls move.
  TableCursor& Cursor();

 private:
  friend class TableAppender;
  friend class TableLoad;
  friend class TableScanner;
  Table() = default;

  // Encrypts or decrypts `size` bytes of records lying at byte `offset` of
  // the file (nothing for a table that is not encrypted); 8334 while the
  // password is not enabled.
  Status CipherRecords(uint64_t offset, uint8_t* data, size_t size) const;

  static Result<std::unique_ptr<Table>> OpenFile(
      std::shared_ptr<const EngineEnvironment> environment, const std::string& path, OpenMode mode,
      SlotChoice choice = SlotChoice::Strict);
  // Reads and checks the header of the open and locked `file`, then opens
  // the index file beside it.
  static Result<std::unique_ptr<Table>> FromFile(
      std::shared_ptr<const EngineEnvironment> environment, LockedFile file, OpenMode mode,
      SlotChoice choice = SlotChoice::Strict);
  // Syncs the records, then writes `count` into the slot that is not current
  // and syncs again; the written slot becomes current.
  Status CommitRecordCount(uint32_t count);
  // Fills `builders` and the full-text `builds` from one scan of the live records.
  Status FeedBuilders(std::span<IndexBuilder* const> builders,
                      std::span<FullTextTagBuild* const> builds = {}) const;
  // Adds the tags of `builders` and `builds` from one scan; with a page
  // size other than the file's, the file's other full-text tags are built
  // again in the same scan.
  Status AddTags(std::span<IndexBuilder* const> builders,
                 std::vector<std::unique_ptr<FullTextTagBuild>>& builds, uint32_t page_size,
                 const std::function<void(IndexWriteStep)>& on_step);
  // A full-text build of `definition` for this table, one of `share` builds
  // filled together.
  Result<std::unique_ptr<FullTextTagBuild>> FullTextBuildOf(const FullTextTagDefinition& definition,
                                                            uint32_t share) const;
  // The tags a rebuild makes: those of the index file as read, or of its
  // tag directory alone when its pages are damaged (8215 when that cannot
  // be read either).
  Result<std::shared_ptr<const engine::IndexFile>> TagsToRebuild() const;
  // Sort settings for one of `share` builders filled together.
  IndexBuildSettings BuildSettings(uint32_t share) const;

  LockedFile file_;
  LockedFile index_file_;
  std::string name_;
  std::string folder_;
  OpenMode mode_ = OpenMode::Shared;
  TableHeader header_;
  std::shared_ptr<const EngineEnvironment> environment_;
  // The connection's memory of enabled passwords (none for a table opened
  // from a bare path).
  std::shared_ptr<TablePasswordMemory> passwords_;
  uint32_t index_page_size_ = 0;
  // The index file as last read; reset whenever the file is reopened.
  mutable std::shared_ptr<const engine::IndexFile> indexes_;
  mutable Status indexes_status_;
  mutable bool indexes_read_ = false;
  std::function<void()> on_close_;
  std::unique_ptr<TableCursor> cursor_;
  // The key while the password is enabled; records and index pages are
  // decrypted through it as they are read (one thread at a time).
  mutable std::unique_ptr<TableCipher> cipher_;
  uint64_t key_generation_ = 0;
};

// Walks a table's records in order. Next() moves to the next record and
// answers false at the end or on an error, which status() then holds.
// REQUIRES: the table outlives the scanner and is not appended to meanwhile.
class TableScanner {
 public:
  TableScanner(const Table& table, bool include_deleted);

  // Places the scan before record `recno` (1 = the start).
  void Reset(uint32_t recno = 1);
  bool Next();
  uint32_t RecNo() const { return recno_; }  // the current record, 0 before the first
  RecordView Record() const { return RecordView(table_->Schema(), current_); }
  const Status& status() const { return status_; }

 private:
  bool Fill(uint32_t first);

  const Table* table_;
  bool include_deleted_;
  std::vector<uint8_t> buffer_;
  uint32_t chunk_records_;
  uint32_t chunk_first_ = 0;  // record number of buffer_'s first record (0: nothing read)
  uint32_t chunk_count_ = 0;
  uint64_t chunk_key_generation_ = 0;  // the table's KeyGeneration() when buffer_ was read
  uint32_t next_ = 1;                  // the record Next() looks at first
  uint32_t recno_ = 0;
  const uint8_t* current_ = nullptr;
  Status status_;
};

// Appends records to a table opened exclusively, buffering them and writing
// many per call. Nothing appended counts until Commit(), which writes the
// buffered records, syncs them and only then records the new count, so a
// crash never leaves a header that counts records that are not there. Errors
// are sticky: after the first, every call answers it.
class TableAppender {
 public:
  TableAppender(TableAppender&&) = default;
  ~TableAppender() = default;  // records not committed are dropped

  Status Append(const RecordBuilder& record) { return Append(record.Data()); }
  Status Append(const uint8_t* record);
  Status Commit();
  uint32_t Uncommitted() const {
    return static_cast<uint32_t>(next_count_ - table_->RecordCount());
  }

 private:
  friend class Table;
  friend class TableLoad;
  explicit TableAppender(Table& table);
  Status FlushBuffer();

  Table* table_;
  std::vector<uint8_t> buffer_;
  size_t buffered_ = 0;         // records in buffer_
  uint64_t written_count_ = 0;  // records on disk (committed or not)
  uint64_t next_count_ = 0;     // records appended so far
  Status status_;
};

// Loads a new table under a temporary name beside its final one and puts it
// in place only when the load is complete, so a failed or interrupted load
// leaves nothing half-made (and the table it replaces untouched). A load
// file left by a crashed load is removed by the next load of that name.
class TableLoad {
 public:
  // With `replace`, an existing table of that name (damaged or not) and its
  // index file are locked exclusively at once (they must not be in use) and
  // replaced by Finish; without, an existing table is an error.
  static Result<TableLoad> Begin(const Connection& connection, std::string_view name,
                                 const std::vector<FieldDef>& fields, bool replace);
  TableLoad(TableLoad&&) = default;
  TableLoad& operator=(TableLoad&& other) noexcept;
  ~TableLoad() { Abandon(); }

  const TableSchema& Schema() const { return table_->Schema(); }
  Status Append(const RecordBuilder& record) { return appender_->Append(record); }
  // REQUIRES: `record` holds Schema().RecordLength() bytes of a sound record.
  Status Append(const uint8_t* record) { return appender_->Append(record); }
  uint64_t Appended() const;

  // Commits the records and renames the file into place; the replaced
  // table's index file, which described the old records, is removed. The new
  // table is closed afterwards.
  Status Finish();
  // Removes the load file (nothing when finished).
  void Abandon();

  const std::string& TargetPath() const { return target_path_; }

 private:
  friend class Table;
  TableLoad() = default;
  // Finish, leaving the new table open exclusively in table_.
  Status Complete();

  std::unique_ptr<Table> table_;  // the load file
  std::unique_ptr<TableAppender> appender_;
  // The files of the table being replaced, locked exclusively until Finish.
  // They are not read, so a damaged table can be replaced as well.
  LockedFile replaced_file_;
  LockedFile replaced_index_;
  std::string target_path_;
  bool done_ = false;
};

}  // namespace engine
