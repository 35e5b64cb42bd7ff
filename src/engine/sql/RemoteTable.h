// A table open through dbserver: the client's side of a table handle that a
// server session holds, with the calls the dataset components, dbtool and
// the rebuild make on a table.
//
// The work runs on the server, next to the files: filters are evaluated
// there, index builds, reindexes, checks and statements run there. Records
// come back in batches (one round trip for many records), as their raw
// bytes, so that the client reads fields exactly as a local table would.
//
// The cursor follows TableCursor, with one difference: Next() past the last
// record sets Eof() and keeps the last record current.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/env/Connection.h"
#include "engine/index/IndexBuilder.h"
#include "engine/index/IndexFile.h"
#include "engine/net/Wire.h"
#include "engine/record/Record.h"
#include "engine/record/TableSchema.h"
#include "engine/sql/SqlExecute.h"
#include "engine/table/Table.h"
#include "engine/util/EngineError.h"

namespace engine {

class RemoteSession;

struct RemoteIndexCheck {
  bool HasFile = false;  // false: the table has no index file
  bool Ok = true;
  std::vector<std::string> Lines;
};

// What dbtool info shows of a table beyond its description at the open.
struct RemoteTableInfo {
  uint16_t VersionMajor = 0;
  uint16_t VersionMinor = 0;
  bool Counted = false;  // false: the password is needed to count live records
  uint32_t LiveRecords = 0;
  std::string IndexFileName;  // empty: no index file
  uint64_t IndexFileBytes = 0;
};

struct RemoteIndexTags {
  uint32_t PageSize = 0;
  std::vector<IndexTagInfo> Tags;  // name, expression, kind, options, key count, kind data
};

class RemoteTable {
 public:
  ~RemoteTable();
  RemoteTable(const RemoteTable&) = delete;
  RemoteTable& operator=(const RemoteTable&) = delete;

  // Opens `name` in the connection's folder on its server, under the same
  // OS locks a local open takes there. REQUIRES: connection.IsRemote().
  static Result<std::unique_ptr<RemoteTable>> Open(const Connection& connection,
                                                   std::string_view name, OpenMode mode);

  const std::string& Name() const { return name_; }
  OpenMode Mode() const { return mode_; }
  const TableSchema& Schema() const { return schema_; }
  uint32_t RecordCount() const { return record_count_; }  // when opened, deleted ones included
  bool IsEncrypted() const { return encrypted_; }
  bool NeedsPassword() const { return needs_password_; }
  uint32_t IndexPageSize() const { return index_page_size_; }
  Status SetIndexPageSize(uint32_t page_size);

  // ---- the cursor
  Status SetFilter(std::string_view text);
  Status First();
  Status Next();
  Status Last();
  Status GoTo(uint32_t recno);
  // Reads the current record again; one that left the selection gives way
  // to the next, or to end of data.
  Status Refresh();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  uint32_t RecNo() const { return recno_; }
  Result<std::string> FieldText(std::string_view name) const;
  // REQUIRES: RecNo() > 0.
  RecordView Record() const { return RecordView(schema_, current_.data()); }
  Result<uint32_t> CountMatching();

  // Every record in record order (with `include_deleted`, the deleted ones
  // too), without the filter, until `each` answers false.
  Status ScanRecords(bool include_deleted,
                     const std::function<bool(uint32_t recno, const RecordView&)>& each);

  // The live records in the order of the tag `tag`, from its first key or,
  // with `from`, from the first key at or after those values (texts
  // separated by ";", as TableIndexScan::SeekText reads them), until `each`
  // answers false.
  Status ScanInOrder(std::string_view tag, const std::string* from,
                     const std::function<bool(uint32_t recno, const RecordView&)>& each);
  // The live records holding every one of `words`, found through the
  // full-text tag `tag` on the server, in record order.
  Status SearchFullText(std::string_view tag, std::string_view words,
                        const std::function<bool(uint32_t recno, const RecordView&)>& each);
  Result<RemoteTableInfo> Info();

  // ---- the table's files, changed on the server
  // Recalls the deleted records `filter` lets through (all when empty) and
  // rebuilds the tags (RecallDeletedRecords). REQUIRES: opened exclusively.
  Result<uint32_t> RecallDeleted(std::string_view filter);
  Status AddIndex(const IndexTagDefinition& definition, uint32_t page_size);
  Status Reindex(uint32_t page_size);
  Status EnableEncryption(std::string_view password);
  Status DisableEncryption();
  // The page size of the index file, found through the tag at `order` the
  // way AdsGetIndexHandleByOrder and AdsGetIndexPageSize find it.
  Result<uint32_t> IndexPageSizeByOrder(uint16_t order);
  Result<RemoteIndexCheck> VerifyIndexes();
  Result<RemoteIndexTags> Tags();

 private:
  struct Row {
    uint32_t RecNo = 0;
    std::vector<uint8_t> Bytes;
  };
  RemoteTable() = default;
  // Places the server's cursor by `move` and reads up to `count` records.
  Status Fetch(uint8_t move, uint32_t recno, uint32_t count, std::vector<Row>& rows,
               bool& exhausted);
  Status Simple(uint8_t op, const std::function<void(net::WireWriter&)>& body);
  // Hands the records of the reading the server holds for this table to
  // `each`, in full batches.
  Status ReadOn(const std::function<bool(uint32_t recno, const RecordView&)>& each);
  void Land(Row row);
  void Park();
  void ForgetAhead();

  std::shared_ptr<RemoteSession> session_;
  uint32_t handle_ = 0;
  std::string name_;
  OpenMode mode_ = OpenMode::Shared;
  TableSchema schema_;
  uint32_t record_count_ = 0;
  bool encrypted_ = false;
  bool needs_password_ = false;
  uint32_t index_page_size_ = 0;

  std::vector<uint8_t> current_;
  std::deque<Row> ahead_;   // records after the current one, already fetched
  bool exhausted_ = false;  // nothing follows what ahead_ holds
  uint32_t batch_ = 0;      // records the next forward fetch asks for
  uint32_t recno_ = 0;
  bool bof_ = false;
  bool eof_ = true;
};

// Encrypts (or decrypts) the table `name` of the connection's folder on its
// server, as EncryptTable and DecryptTable do locally; `rounds` 0 is the
// default key derivation.
Status RewriteRemoteTable(const Connection& connection, std::string_view name, bool encrypt,
                          std::string_view password, uint32_t rounds);

// A new table loaded through a server, as TableLoad loads one locally: the
// records are sent in batches and the table is put in place by Finish only.
// A load the client leaves unfinished is abandoned by the server when the
// session ends.
class RemoteTableLoad {
 public:
  static Result<std::unique_ptr<RemoteTableLoad>> Begin(const Connection& connection,
                                                        std::string_view name,
                                                        const std::vector<FieldDef>& fields,
                                                        bool replace);
  const TableSchema& Schema() const { return schema_; }
  Status Append(const RecordBuilder& record);
  // Sends what is left and puts the table in place: the records loaded.
  Result<uint64_t> Finish();

 private:
  RemoteTableLoad() = default;
  Status Flush();

  std::shared_ptr<RemoteSession> session_;
  uint32_t load_ = 0;
  TableSchema schema_;
  std::vector<uint8_t> pending_;  // records not sent yet
  uint32_t pending_count_ = 0;
};

// Runs one statement on the connection's server (ExecuteStatement's
// answers, as the server's engine gave them).
Result<SqlOutcome> ExecuteRemoteStatement(const Connection& connection, std::string_view text);

// The version of the engine on the connection's server.
Result<std::string> RemoteEngineVersion(const Connection& connection);

}  // namespace engine
