#include "engine/sql/RemoteTable.h"

#include <algorithm>
#include <future>

#include "engine/env/RemoteSession.h"
#include "engine/record/ValueText.h"
#include "engine/util/EngineVersion.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/LastError.h"
#include "engine/util/TableCryptoErrors.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

namespace {

// The first forward fetch asks for few records (a dataset that reads one
// record and closes pays little); each further one for twice as many.
constexpr uint32_t kFirstBatchRecords = 32;

}  // namespace

RemoteTable::~RemoteTable() {
  if (handle_ == 0) return;
  net::WireWriter body;
  body.U32(handle_);
  // A server that went has released the table already.
  session_->Call(net::Op::Close, body).status().PermitUncheckedError();
}

Result<std::unique_ptr<RemoteTable>> RemoteTable::Open(const Connection& connection,
                                                       std::string_view name, OpenMode mode) {
  const auto& session = connection.Remote();
  net::WireWriter body;
  body.Text(name).U8(mode == OpenMode::Exclusive ? 1 : 0);
  auto reply = session->Call(net::Op::Open, body);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  std::unique_ptr<RemoteTable> table(new RemoteTable());
  table->session_ = session;
  table->mode_ = mode;
  table->handle_ = r.U32();
  table->name_ = r.Text();
  table->encrypted_ = r.U8() != 0;
  table->needs_password_ = r.U8() != 0;
  table->record_count_ = r.U32();
  table->index_page_size_ = r.U32();
  const uint32_t count = r.Count(9);
  std::vector<FieldDef> fields(count);
  for (FieldDef& field : fields) {
    field.Name = r.Text();
    field.Type = static_cast<FieldType>(r.U8());
    field.Length = r.U32();
  }
  if (!r.AtEnd()) return NoteError(MalformedReply(*session, net::Op::Open));
  auto schema = TableSchema::Make(fields);
  if (!schema) return NoteError(schema.status());
  table->schema_ = std::move(schema.value());
  // Like a local table: nothing to stand on until the password is enabled.
  if (table->needs_password_) table->bof_ = table->eof_ = true;
  return table;
}

Status RemoteTable::SetIndexPageSize(uint32_t page_size) {
  if (page_size != 0 && page_size != 512 && page_size != 1024 && page_size != 2048 &&
      page_size != 4096 && page_size != 8192) {
    return NoteError(
        Status(AE_INDEX_BAD_PAGE_SIZE, "The index page size " + std::to_string(page_size) +
                                           " is not one of 512, 1024, 2048, 4096 and 8192"));
  }
  index_page_size_ = page_size;
  return Status::Ok();
}

Status RemoteTable::Simple(uint8_t op, const std::function<void(net::WireWriter&)>& body) {
  net::WireWriter w;
  w.U32(handle_);
  if (body) body(w);
  auto reply = session_->Call(static_cast<net::Op>(op), w);
  if (!reply) return NoteError(reply.status());
  return Status::Ok();
}

Status RemoteTable::Fetch(uint8_t move, uint32_t recno, uint32_t count, std::vector<Row>& rows,
                          bool& exhausted) {
  net::WireWriter w;
  w.U32(handle_).U8(move).U32(recno).U32(count);
  auto reply = session_->Call(net::Op::Fetch, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  exhausted = r.U8() != 0;
  const size_t length = schema_.RecordLength();
  const uint32_t n = r.Count(4 + length);
  rows.clear();
  rows.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    Row row;
    row.RecNo = r.U32();
    auto bytes = r.Raw(length);
    row.Bytes.assign(bytes.begin(), bytes.end());
    rows.push_back(std::move(row));
  }
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Fetch));
  return Status::Ok();
}

void RemoteTable::Land(Row row) {
  recno_ = row.RecNo;
  current_ = std::move(row.Bytes);
  bof_ = eof_ = false;
}

void RemoteTable::Park() {
  ForgetAhead();
  recno_ = 0;
  current_.clear();
  bof_ = eof_ = true;
}

void RemoteTable::ForgetAhead() {
  ahead_.clear();
  exhausted_ = false;
  batch_ = kFirstBatchRecords;
}

Status RemoteTable::SetFilter(std::string_view text) {
  const Status status =
      Simple(static_cast<uint8_t>(net::Op::SetFilter), [&](net::WireWriter& w) { w.Text(text); });
  // Like a local cursor: at end of data after any filter change.
  ForgetAhead();
  recno_ = 0;
  current_.clear();
  bof_ = false;
  eof_ = true;
  return status;
}

Status RemoteTable::First() {
  ForgetAhead();
  std::vector<Row> rows;
  bool exhausted = false;
  if (Status s = Fetch(static_cast<uint8_t>(net::Move::First), 0, batch_, rows, exhausted); !s) {
    Park();
    return s;
  }
  if (rows.empty()) {
    Park();
    return Status::Ok();
  }
  Land(std::move(rows.front()));
  ahead_.assign(std::make_move_iterator(rows.begin() + 1), std::make_move_iterator(rows.end()));
  exhausted_ = exhausted;
  batch_ = std::min(batch_ * 2, net::kMaxBatchRecords);
  return Status::Ok();
}

Status RemoteTable::Next() {
  if (recno_ == 0) return First();
  if (ahead_.empty() && !exhausted_) {
    std::vector<Row> rows;
    bool exhausted = false;
    if (Status s = Fetch(static_cast<uint8_t>(net::Move::After), recno_, batch_, rows, exhausted);
        !s)
      return s;
    ahead_.assign(std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    exhausted_ = exhausted || rows.empty();
    batch_ = std::min(batch_ * 2, net::kMaxBatchRecords);
  }
  if (ahead_.empty()) {
    eof_ = true;  // the last record stays current
    return Status::Ok();
  }
  Land(std::move(ahead_.front()));
  ahead_.pop_front();
  return Status::Ok();
}

Status RemoteTable::Last() {
  ForgetAhead();
  std::vector<Row> rows;
  bool exhausted = false;
  if (Status s = Fetch(static_cast<uint8_t>(net::Move::Last), 0, 1, rows, exhausted); !s) {
    Park();
    return s;
  }
  if (rows.empty()) {
    Park();
    return Status::Ok();
  }
  Land(std::move(rows.front()));
  exhausted_ = true;
  return Status::Ok();
}

Status RemoteTable::GoTo(uint32_t recno) {
  std::vector<Row> rows;
  bool exhausted = false;
  if (Status s = Fetch(static_cast<uint8_t>(net::Move::At), recno, 1, rows, exhausted); !s)
    return s;
  if (rows.empty()) return NoteError(MalformedReply(*session_, net::Op::Fetch));
  ForgetAhead();
  Land(std::move(rows.front()));
  return Status::Ok();
}

Status RemoteTable::Refresh() {
  if (recno_ == 0) return Status::Ok();
  std::vector<Row> rows;
  bool exhausted = false;
  if (Status s = Fetch(static_cast<uint8_t>(net::Move::AtOrAfter), recno_, 1, rows, exhausted); !s)
    return s;
  ForgetAhead();
  if (rows.empty()) {
    recno_ = 0;
    current_.clear();
    bof_ = false;
    eof_ = true;
    return Status::Ok();
  }
  Land(std::move(rows.front()));
  return Status::Ok();
}

Result<std::string> RemoteTable::FieldText(std::string_view name) const {
  const auto field = schema_.FindField(name);
  if (!field) {
    return NoteError(Status(AE_FIELD_NOT_FOUND,
                            "Table \"" + name_ + "\" has no field \"" + std::string(name) + "\""));
  }
  if (needs_password_) {
    return NoteError(
        Status(AE_PASSWORD_NOT_ENABLED, "Table \"" + name_ +
                                            "\" is encrypted: its password must be enabled "
                                            "before its records or indexes are used"));
  }
  if (recno_ == 0) {
    return NoteError(Status(AE_NO_CURRENT_RECORD, "Table \"" + name_ + "\" is at " +
                                                      (bof_ && !eof_ ? "the start" : "end") +
                                                      " of data: there is no current record"));
  }
  return engine::FieldText(Record(), *field);
}

Result<uint32_t> RemoteTable::CountMatching() {
  net::WireWriter w;
  w.U32(handle_);
  auto reply = session_->Call(net::Op::Count, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  const uint32_t count = r.U32();
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Count));
  return count;
}

Status RemoteTable::ScanRecords(bool include_deleted,
                                const std::function<bool(uint32_t, const RecordView&)>& each) {
  const size_t length = schema_.RecordLength();
  // A scan reads every record: full batches from the start, the next one
  // asked for while this one is read, so that the server reads and sends
  // while the caller works.
  const auto fetch = [this, include_deleted](uint32_t from) {
    net::WireWriter w;
    w.U32(handle_).U8(include_deleted ? 1 : 0).U32(from).U32(net::kMaxBatchRecords);
    return session_->Call(net::Op::Scan, w);
  };
  uint32_t from = 1;
  auto pending = std::async(std::launch::async, fetch, from);
  for (;;) {
    auto reply = pending.get();
    if (!reply) return NoteError(reply.status());
    net::WireReader r(*reply);
    const bool exhausted = r.U8() != 0;
    const uint32_t next = r.U32();
    const uint32_t n = r.Count(4 + length);
    if (!r.Ok() || next <= from) return NoteError(MalformedReply(*session_, net::Op::Scan));
    if (!exhausted) pending = std::async(std::launch::async, fetch, next);
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t recno = r.U32();
      auto bytes = r.Raw(length);
      if (!r.Ok()) break;
      if (!each(recno, RecordView(schema_, bytes.data()))) return Status::Ok();
    }
    if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Scan));
    if (exhausted) return Status::Ok();
    from = next;
  }
}

Status RemoteTable::AddIndex(const IndexTagDefinition& definition, uint32_t page_size) {
  const uint32_t options = TagOptionBits(definition.Options);
  const Status status = Simple(static_cast<uint8_t>(net::Op::AddIndex), [&](net::WireWriter& w) {
    w.Text(definition.Name).Text(definition.Expression).U32(options).U32(page_size);
  });
  ForgetAhead();
  return status;
}

Status RemoteTable::Reindex(uint32_t page_size) {
  const Status status =
      Simple(static_cast<uint8_t>(net::Op::Reindex), [&](net::WireWriter& w) { w.U32(page_size); });
  ForgetAhead();
  return status;
}

Status RemoteTable::EnableEncryption(std::string_view password) {
  const Status status = Simple(static_cast<uint8_t>(net::Op::EnableEncryption),
                               [&](net::WireWriter& w) { w.Text(password); });
  if (status.ok()) needs_password_ = false;
  ForgetAhead();
  return status;
}

Status RemoteTable::DisableEncryption() {
  const Status status = Simple(static_cast<uint8_t>(net::Op::DisableEncryption), {});
  if (status.ok()) {
    needs_password_ = encrypted_;
    Park();
  }
  return status;
}

Result<uint32_t> RemoteTable::IndexPageSizeByOrder(uint16_t order) {
  net::WireWriter w;
  w.U32(handle_).U16(order);
  auto reply = session_->Call(net::Op::IndexPageSize, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  const uint32_t size = r.U32();
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::IndexPageSize));
  return size;
}

Result<RemoteIndexCheck> RemoteTable::VerifyIndexes() {
  net::WireWriter w;
  w.U32(handle_);
  auto reply = session_->Call(net::Op::Verify, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  RemoteIndexCheck check;
  check.HasFile = r.U8() != 0;
  check.Ok = r.U8() != 0;
  const uint32_t n = r.Count(4);
  for (uint32_t i = 0; i < n; ++i) check.Lines.push_back(r.Text());
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Verify));
  return check;
}

Result<RemoteIndexTags> RemoteTable::Tags() {
  net::WireWriter w;
  w.U32(handle_);
  auto reply = session_->Call(net::Op::Tags, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  RemoteIndexTags tags;
  tags.PageSize = r.U32();
  const uint32_t n = r.Count(22);
  for (uint32_t i = 0; i < n; ++i) {
    IndexTagInfo tag;
    tag.Name = r.Text();
    tag.Expression = r.Text();
    tag.Kind = static_cast<IndexTagKind>(r.U8());
    tag.Options = TagOptionsOfBits(r.U8());
    tag.KeyCount = r.U64();
    tag.KindData = r.Text();
    tags.Tags.push_back(std::move(tag));
  }
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Tags));
  return tags;
}

Status RemoteTable::ReadOn(const std::function<bool(uint32_t, const RecordView&)>& each) {
  const size_t length = schema_.RecordLength();
  for (;;) {
    net::WireWriter w;
    w.U32(handle_).U32(net::kMaxBatchRecords);
    auto reply = session_->Call(net::Op::ReadOn, w);
    if (!reply) return NoteError(reply.status());
    net::WireReader r(*reply);
    const bool exhausted = r.U8() != 0;
    const uint32_t n = r.Count(4 + length);
    if (!r.Ok()) return NoteError(MalformedReply(*session_, net::Op::ReadOn));
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t recno = r.U32();
      auto bytes = r.Raw(length);
      if (!r.Ok()) break;
      if (!each(recno, RecordView(schema_, bytes.data()))) return Status::Ok();
    }
    if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::ReadOn));
    if (exhausted) return Status::Ok();
  }
}

Status RemoteTable::ScanInOrder(std::string_view tag, const std::string* from,
                                const std::function<bool(uint32_t, const RecordView&)>& each) {
  ForgetAhead();
  const Status started =
      Simple(static_cast<uint8_t>(net::Op::OrderedScan), [&](net::WireWriter& w) {
        w.Text(tag).U8(from ? 1 : 0).Text(from ? std::string_view(*from) : std::string_view());
      });
  if (!started.ok()) return started;
  return ReadOn(each);
}

Status RemoteTable::SearchFullText(std::string_view tag, std::string_view words,
                                   const std::function<bool(uint32_t, const RecordView&)>& each) {
  ForgetAhead();
  net::WireWriter w;
  w.U32(handle_).Text(tag).Text(words);
  auto reply = session_->Call(net::Op::Search, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  r.U32();  // the number of matches, for a caller that wants it before the records
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Search));
  return ReadOn(each);
}

Result<RemoteTableInfo> RemoteTable::Info() {
  net::WireWriter w;
  w.U32(handle_);
  auto reply = session_->Call(net::Op::Info, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  RemoteTableInfo info;
  info.VersionMajor = r.U16();
  info.VersionMinor = r.U16();
  info.Counted = r.U8() != 0;
  info.LiveRecords = r.U32();
  info.IndexFileName = r.Text();
  info.IndexFileBytes = r.U64();
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Info));
  return info;
}

Result<uint32_t> RemoteTable::RecallDeleted(std::string_view filter) {
  ForgetAhead();
  net::WireWriter w;
  w.U32(handle_).Text(filter);
  auto reply = session_->Call(net::Op::Recall, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  const uint32_t recalled = r.U32();
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::Recall));
  return recalled;
}

Status RewriteRemoteTable(const Connection& connection, std::string_view name, bool encrypt,
                          std::string_view password, uint32_t rounds) {
  net::WireWriter w;
  w.Text(name).U8(encrypt ? 1 : 0).Text(password).U32(rounds);
  auto reply = connection.Remote()->Call(net::Op::Rewrite, w);
  if (!reply) return NoteError(reply.status());
  return Status::Ok();
}

namespace {

// A load sends its records in batches of about this many bytes.
constexpr size_t kLoadBatchBytes = 1u << 20;

}  // namespace

Result<std::unique_ptr<RemoteTableLoad>> RemoteTableLoad::Begin(const Connection& connection,
                                                                std::string_view name,
                                                                const std::vector<FieldDef>& fields,
                                                                bool replace) {
  auto schema = TableSchema::Make(fields);
  if (!schema) return NoteError(schema.status());
  net::WireWriter w;
  w.Text(name).U8(replace ? 1 : 0).U32(static_cast<uint32_t>(fields.size()));
  for (const FieldDef& field : fields)
    w.Text(field.Name).U8(static_cast<uint8_t>(field.Type)).U32(field.Length);
  auto reply = connection.Remote()->Call(net::Op::LoadBegin, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  std::unique_ptr<RemoteTableLoad> load(new RemoteTableLoad());
  load->load_ = r.U32();
  if (!r.AtEnd()) return NoteError(MalformedReply(*connection.Remote(), net::Op::LoadBegin));
  load->session_ = connection.Remote();
  load->schema_ = std::move(schema.value());
  return load;
}

Status RemoteTableLoad::Append(const RecordBuilder& record) {
  const uint8_t* bytes = record.Data();
  pending_.insert(pending_.end(), bytes, bytes + schema_.RecordLength());
  ++pending_count_;
  return pending_.size() >= kLoadBatchBytes ? Flush() : Status::Ok();
}

Status RemoteTableLoad::Flush() {
  if (pending_count_ == 0) return Status::Ok();
  net::WireWriter w;
  w.U32(load_).U32(pending_count_).Raw(pending_);
  pending_.clear();
  pending_count_ = 0;
  auto reply = session_->Call(net::Op::LoadAppend, w);
  if (!reply) return NoteError(reply.status());
  return Status::Ok();
}

Result<uint64_t> RemoteTableLoad::Finish() {
  if (Status s = Flush(); !s.ok()) return s;
  net::WireWriter w;
  w.U32(load_);
  auto reply = session_->Call(net::Op::LoadFinish, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  const uint64_t records = r.U64();
  if (!r.AtEnd()) return NoteError(MalformedReply(*session_, net::Op::LoadFinish));
  return records;
}

Result<SqlOutcome> ExecuteRemoteStatement(const Connection& connection, std::string_view text) {
  net::WireWriter w;
  w.Text(text);
  auto reply = connection.Remote()->Call(net::Op::Sql, w);
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  SqlOutcome outcome;
  outcome.What = r.U8() == 1 ? SqlOutcome::Kind::IndexCreated : SqlOutcome::Kind::Deleted;
  outcome.RowsAffected = r.U32();
  outcome.Table = r.Text();
  outcome.Index = r.Text();
  outcome.IndexEntries = r.U64();
  if (!r.AtEnd()) return NoteError(MalformedReply(*connection.Remote(), net::Op::Sql));
  return outcome;
}

Result<std::string> RemoteEngineVersion(const Connection& connection) {
  auto reply = connection.Remote()->Call(net::Op::Version, net::WireWriter());
  if (!reply) return NoteError(reply.status());
  net::WireReader r(*reply);
  const uint32_t major = r.U32();
  const uint32_t minor = r.U32();
  const char letter = static_cast<char>(r.U8());
  std::string description = r.Text();
  if (!r.AtEnd()) return NoteError(MalformedReply(*connection.Remote(), net::Op::Version));
  return std::to_string(major) + "." + std::to_string(minor) + letter + " " + description;
}

}  // namespace engine
