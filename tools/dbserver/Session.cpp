#include "Session.h"

#include <algorithm>
#include <filesystem>

#include "engine/api/EngineApi.h"
#include "engine/api/EngineHandles.h"
#include "engine/index/IndexVerify.h"
#include "engine/net/NetErrors.h"
#include "engine/sql/SqlExecute.h"
#include "engine/table/TableCursor.h"
#include "engine/table/TableRecall.h"
#include "engine/table/TableRewrite.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/TableErrorCodes.h"
#include "platform/Platform.h"

namespace dbserver {

using engine::net::Op;
using engine::net::WireReader;
using engine::net::WireWriter;

namespace {

// The server waits this long for a new connection's TLS handshake and hello.
constexpr int kHandshakeTimeoutMs = 10000;

bool IsNotPlaceable(int code) {
  return code == engine::AE_RECORD_NUMBER || code == engine::AE_NO_CURRENT_RECORD;
}

// Places `cursor` on `recno`, or on the first record after it in the
// selection when it is not there (deleted, filtered out); at end of data
// when none follows.
engine::Status PlaceAtOrAfter(engine::TableCursor& cursor, uint32_t recno) {
  engine::Status s = cursor.GoTo(recno);
  if (s.ok() || !IsNotPlaceable(s.Code())) return s;
  if (s = cursor.First(); !s.ok()) return s;
  while (!cursor.Eof() && cursor.RecNo() < recno) {
    if (s = cursor.Next(); !s.ok()) return s;
  }
  return engine::Status::Ok();
}

}  // namespace

Session::Session(const ServerConfig& config, std::unique_ptr<engine::net::Channel> channel,
                 uint64_t id, LogFn log)
    : config_(config), channel_(std::move(channel)), id_(id), log_(std::move(log)) {}

Session::~Session() {
  loads_.clear();  // abandons unfinished loads: their files go
  readings_.clear();
  scans_.clear();
  tables_.clear();  // closes the tables: their locks go with them
  connection_.reset();
}

void Session::Interrupt() {
  channel_->Interrupt();
}

void Session::Fail(Reply& out, const engine::Status& status) {
  out.Code = status.Code();
  out.Message = status.Message();
}

bool Session::Handshake() {
  std::vector<uint8_t> payload;
  std::string error;
  channel_->SetTimeout(kHandshakeTimeoutMs);
  if (channel_->ReceiveFrame(payload, 1024, error) != engine::net::FrameRead::Ok) {
    log_("connection " + std::to_string(id_) + ": no handshake: " + error);
    return false;
  }
  engine::net::Hello hello;
  engine::net::HelloAnswer answer;
  answer.Server.EngineMajor = engine::kEngineMajorVersion;
  answer.Server.EngineMinor = engine::kEngineMinorVersion;
  if (!engine::net::DecodeHello(payload, hello)) {
    log_("connection " + std::to_string(id_) + ": the hello is outside the protocol");
    return false;
  }
  if (hello.Protocol < engine::net::kOldestProtocolVersion) {
    answer.Code = engine::AE_SERVER_PROTOCOL;
    answer.Message = "The client speaks protocol " + std::to_string(hello.Protocol) +
                     "; this server needs " + std::to_string(engine::net::kOldestProtocolVersion) +
                     " or later";
  } else if (hello.OldestProtocol > engine::net::kProtocolVersion) {
    answer.Code = engine::AE_OLD_SERVER;
    answer.Message = "The server speaks protocol " + std::to_string(engine::net::kProtocolVersion) +
                     "; the client needs " + std::to_string(hello.OldestProtocol) + " or later";
  }
  if (!channel_->SendFrame(engine::net::EncodeHelloAnswer(answer), error)) return false;
  if (answer.Code != 0) {
    log_("connection " + std::to_string(id_) + " refused: " + answer.Message);
    return false;
  }
  channel_->SetTimeout(
      static_cast<int>(std::min<uint64_t>(config_.IdleSeconds * 1000ull, INT32_MAX)));
  return true;
}

void Session::Run() {
  if (!Handshake()) return;
  std::vector<uint8_t> payload;
  std::string error;
  std::string reason = "the client closed the connection";
  for (;;) {
    const auto read = channel_->ReceiveFrame(payload, config_.MaxFrameBytes, error);
    if (read != engine::net::FrameRead::Ok) {
      if (read == engine::net::FrameRead::TimedOut)
        reason = "idle for " + std::to_string(config_.IdleSeconds) + " s";
      else if (read != engine::net::FrameRead::Closed)
        reason = error;
      break;
    }
    WireReader in(payload);
    const uint32_t request = in.U32();
    const auto op = static_cast<Op>(in.U16());
    Reply out;
    out.Body = WireWriter(std::move(spare_body_));
    if (!in.Ok()) {
      reason = "a request of " + std::to_string(payload.size()) + " bytes has no header";
      break;
    }
    Handle(op, in, out);
    if (out.Code == engine::AE_SERVER_PROTOCOL) {
      reason = out.Message;
      break;
    }
    if (out.Code != 0 && out.Code != engine::AE_ALREADY_SO) {
      log_("connection " + std::to_string(id_) + " request " + std::to_string(request) + " (" +
           std::to_string(static_cast<int>(op)) + ") refused: " + std::to_string(out.Code) + " " +
           out.Message);
    }
    const auto head = engine::net::EncodeReplyHead(request, out.Code, out.Message);
    const bool sent = channel_->SendFrame(
        head,
        out.Code == 0 ? std::span<const uint8_t>(out.Body.Bytes()) : std::span<const uint8_t>(),
        error);
    spare_body_ = out.Body.Take();
    if (!sent) {
      reason = error;
      break;
    }
  }
  const size_t open_tables = tables_.size();
  loads_.clear();
  readings_.clear();
  scans_.clear();
  tables_.clear();
  connection_.reset();
  log_("connection " + std::to_string(id_) + " from " + channel_->PeerAddress() + " closed (" +
       reason + "); " + std::to_string(open_tables) + " open table(s) released");
}

engine::Table* Session::TableOf(uint32_t handle, Reply& out) {
  const auto it = tables_.find(handle);
  if (it == tables_.end()) {
    out.Code = engine::AE_INVALID_HANDLE;
    out.Message = "The handle " + std::to_string(handle) + " is not that of a table open here";
    return nullptr;
  }
  return it->second.get();
}

void Session::Handle(Op op, WireReader& in, Reply& out) {
  const auto malformed = [&] {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "request " + std::to_string(static_cast<int>(op)) + " is outside the protocol";
  };
  if (op == Op::Connect) {
    DoConnect(in, out);
    return;
  }
  if (op == Op::Version) {
    if (!in.AtEnd()) return malformed();
    uint32_t major = 0, minor = 0;
    char letter = 0;
    std::string description;
    engine::AdsGetVersion(&major, &minor, &letter, &description);
    out.Body.U32(major).U32(minor).U8(static_cast<uint8_t>(letter)).Text(description);
    return;
  }
  if (!connection_) {
    if (op < Op::Connect || op > engine::net::kLastOp) return malformed();
    out.Code = engine::AE_SHARE_PATH;
    out.Message = "No database folder was connected on this session";
    return;
  }
  if (op == Op::Open) return DoOpen(in, out);
  if (op == Op::Sql || op == Op::Rewrite) {
    scans_.clear();
    readings_.clear();
    return op == Op::Sql ? DoSql(in, out) : DoRewrite(in, out);
  }
  if (op == Op::LoadBegin || op == Op::LoadAppend || op == Op::LoadFinish)
    return DoLoad(op, in, out);

  const uint32_t handle = in.U32();
  if (!in.Ok()) return malformed();
  engine::Table* table = TableOf(handle, out);
  if (!table) return;
  // A kept scan goes on only from one Scan request to the next, a reading
  // only from one ReadOn to the next.
  if (op != Op::Scan) scans_.erase(handle);
  if (op != Op::ReadOn) readings_.erase(handle);
  switch (op) {
    case Op::Close:
      if (!in.AtEnd()) return malformed();
      tables_.erase(handle);
      return;
    case Op::SetFilter: {
      const std::string filter = in.Text();
      if (!in.AtEnd()) return malformed();
      if (engine::Status s = table->Cursor().SetFilter(filter); !s.ok()) Fail(out, s);
      return;
    }
    case Op::Fetch:
      return DoFetch(*table, in, out);
    case Op::Scan:
      return DoScan(handle, *table, in, out);
    case Op::Info:
      return DoInfo(*table, in, out);
    case Op::OrderedScan:
      return DoOrderedScan(handle, *table, in, out);
    case Op::Search:
      return DoSearch(handle, *table, in, out);
    case Op::ReadOn:
      return DoReadOn(handle, *table, in, out);
    case Op::Recall: {
      const std::string filter = in.Text();
      if (!in.AtEnd()) return malformed();
      auto recalled = engine::RecallDeletedRecords(*table, filter);
      if (!recalled) return Fail(out, recalled.status());
      out.Body.U32(*recalled);
      return;
    }
    case Op::Count: {
      if (!in.AtEnd()) return malformed();
      auto count = table->Cursor().CountMatching();
      if (!count) return Fail(out, count.status());
      out.Body.U32(*count);
      return;
    }
    case Op::AddIndex: {
      engine::IndexTagDefinition definition;
      definition.Name = in.Text();
      definition.Expression = in.Text();
      const uint32_t options = in.U32();
      const uint32_t page_size = in.U32();
      if (!in.AtEnd()) return malformed();
      definition.Options = engine::TagOptionsOfBits(static_cast<uint8_t>(options));
      if (engine::Status s = table->AddIndex(definition, page_size); !s.ok()) Fail(out, s);
      return;
    }
    case Op::Reindex: {
      const uint32_t page_size = in.U32();
      if (!in.AtEnd()) return malformed();
      if (engine::Status s = table->Reindex(page_size); !s.ok()) Fail(out, s);
      return;
    }
    case Op::IndexPageSize: {
      const uint16_t order = in.U16();
      if (!in.AtEnd()) return malformed();
      engine::ADSHANDLE index = 0;
      uint32_t page_size = 0;
      uint32_t code =
          engine::AdsGetIndexHandleByOrder(engine::HandleOfTable(*table), order, &index);
      if (code == 0) code = engine::AdsGetIndexPageSize(index, &page_size);
      if (code != 0) {
        uint32_t last = 0;
        engine::AdsGetLastError(&last, &out.Message);
        out.Code = static_cast<int32_t>(code);
        return;
      }
      out.Body.U32(page_size);
      return;
    }
    case Op::IsEncrypted:
      if (!in.AtEnd()) return malformed();
      out.Body.U8(table->IsEncrypted() ? 1 : 0);
      return;
    case Op::EnableEncryption: {
      const std::string password = in.Text();
      if (!in.AtEnd()) return malformed();
      if (engine::Status s = table->EnableEncryption(password); !s.ok()) Fail(out, s);
      return;
    }
    case Op::DisableEncryption:
      if (!in.AtEnd()) return malformed();
      if (engine::Status s = table->DisableEncryption(); !s.ok()) Fail(out, s);
      return;
    case Op::Verify: {
      if (!in.AtEnd()) return malformed();
      const auto check = table->VerifyIndexes();
      const std::vector<std::string> lines = check ? check->Lines() : std::vector<std::string>();
      out.Body.U8(check ? 1 : 0).U8(!check || check->Ok() ? 1 : 0);
      out.Body.U32(static_cast<uint32_t>(lines.size()));
      for (const std::string& line : lines) out.Body.Text(line);
      return;
    }
    case Op::Tags: {
      if (!in.AtEnd()) return malformed();
      auto indexes = table->Indexes();
      if (!indexes) return Fail(out, indexes.status());
      if (!*indexes) {
        out.Body.U32(0).U32(0);
        return;
      }
      out.Body.U32((*indexes)->PageSize());
      out.Body.U32(static_cast<uint32_t>((*indexes)->Tags().size()));
      for (const engine::IndexTagInfo& tag : (*indexes)->Tags()) {
        out.Body.Text(tag.Name).Text(tag.Expression).U8(static_cast<uint8_t>(tag.Kind));
        out.Body.U8(engine::TagOptionBits(tag.Options)).U64(tag.KeyCount).Text(tag.KindData);
      }
      return;
    }
    default:
      return malformed();
  }
}

void Session::DoConnect(WireReader& in, Reply& out) {
  const std::string path = in.Text();
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a connect request is outside the protocol";
    return;
  }
  ResolvedFolder folder;
  std::string error;
  if (const int code = ResolveShareFolder(config_.Shares, path, folder, error); code != 0) {
    out.Code = code;
    out.Message = error;
    return;
  }
  auto connection = engine::Connection::Connect(folder.Folder, engine::kServerTypeLocal);
  if (!connection) return Fail(out, connection.status());
  tables_.clear();  // a session connects once; a second connect starts over
  connection_ = std::move(connection.value());
  connection_->KeepPasswordsToItself();  // statements see this client's passwords only
  folder_ = folder;
  log_("connection " + std::to_string(id_) + " from " + channel_->PeerAddress() + " connected to " +
       path);
}

void Session::DoOpen(WireReader& in, Reply& out) {
  const std::string name = in.Text();
  const bool exclusive = in.U8() != 0;
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "an open request is outside the protocol";
    return;
  }
  if (tables_.size() + loads_.size() >= config_.MaxHandles) {
    out.Code = engine::AE_SERVER_LIMIT;
    out.Message = "This connection has " + std::to_string(tables_.size() + loads_.size()) +
                  " tables open, the most the server allows";
    return;
  }
  auto opened = engine::Table::Open(
      *connection_, name, exclusive ? engine::OpenMode::Exclusive : engine::OpenMode::Shared);
  if (!opened) return Fail(out, opened.status());
  std::unique_ptr<engine::Table> table = std::move(opened.value());
  const bool index_inside = !platform::FileExists(table->IndexFilePath()) ||
                            InsideShare(folder_.ShareRoot, table->IndexFilePath());
  if (!InsideShare(folder_.ShareRoot, table->Path()) || !index_inside) {
    out.Code = engine::AE_SHARE_PATH;
    out.Message = "Table \"" + name + "\" is refused: a symbolic link leads out of the share";
    return;
  }
  const uint32_t handle = next_handle_++;
  out.Body.U32(handle).Text(table->Name()).U8(table->IsEncrypted() ? 1 : 0);
  out.Body.U8(table->NeedsPassword() ? 1 : 0).U32(table->RecordCount()).U32(table->IndexPageSize());
  const auto fields = table->Schema().Definitions();
  out.Body.U32(static_cast<uint32_t>(fields.size()));
  for (const engine::FieldDef& field : fields)
    out.Body.Text(field.Name).U8(static_cast<uint8_t>(field.Type)).U32(field.Length);
  tables_.emplace(handle, std::move(table));
}

void Session::DoFetch(engine::Table& table, WireReader& in, Reply& out) {
  const auto move = static_cast<engine::net::Move>(in.U8());
  const uint32_t recno = in.U32();
  const uint32_t count = std::min(in.U32(), engine::net::kMaxBatchRecords);
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a fetch request is outside the protocol";
    return;
  }
  engine::TableCursor& cursor = table.Cursor();
  const uint32_t length = table.Schema().RecordLength();
  WireWriter rows;
  uint32_t n = 0;
  const auto take = [&] {
    rows.U32(cursor.RecNo()).Raw(std::span<const uint8_t>(cursor.Record().Bytes(), length));
    ++n;
  };
  engine::Status s;
  bool fill = false;
  switch (move) {
    case engine::net::Move::First:
      s = cursor.First();
      fill = true;
      if (s.ok() && !cursor.Eof()) take();
      break;
    case engine::net::Move::Last:
      s = cursor.Last();
      if (s.ok() && cursor.RecNo() > 0) take();
      break;
    case engine::net::Move::After:
      fill = true;
      if (cursor.RecNo() != recno) {
        s = PlaceAtOrAfter(cursor, recno);
        if (s.ok() && !cursor.Eof() && cursor.RecNo() > recno) take();
      }
      break;
    case engine::net::Move::At:
      s = cursor.GoTo(recno);
      if (s.ok()) take();
      break;
    case engine::net::Move::AtOrAfter:
      s = PlaceAtOrAfter(cursor, recno);
      if (s.ok() && !cursor.Eof()) take();
      break;
    default:
      out.Code = engine::AE_SERVER_PROTOCOL;
      out.Message = "a fetch request names no move";
      return;
  }
  if (!s.ok()) return Fail(out, s);
  while (fill && n < count && !cursor.Eof() && rows.Bytes().size() < engine::net::kBatchBytes) {
    if (s = cursor.Next(); !s.ok()) return Fail(out, s);
    if (cursor.Eof()) break;
    take();
  }
  const bool exhausted = move == engine::net::Move::Last || cursor.Eof();
  out.Body.U8(exhausted ? 1 : 0).U32(n).Raw(rows.Bytes());
}

void Session::DoScan(uint32_t handle, engine::Table& table, WireReader& in, Reply& out) {
  const bool deleted = in.U8() != 0;
  const uint32_t from = std::max<uint32_t>(in.U32(), 1);
  const uint32_t count = std::min(in.U32(), engine::net::kMaxBatchRecords);
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a scan request is outside the protocol";
    return;
  }
  Scan& scan = scans_[handle];
  if (!scan.Scanner || scan.Deleted != deleted) {
    scan.Scanner = std::make_unique<engine::TableScanner>(table, deleted);
    scan.Deleted = deleted;
    scan.Next = 0;
  }
  if (scan.Next != from) scan.Scanner->Reset(from);
  engine::TableScanner& scanner = *scan.Scanner;
  const uint32_t length = table.Schema().RecordLength();
  // The header's values are known at the end: room now, written then.
  out.Body.U8(0).U32(0).U32(0);
  uint32_t n = 0;
  uint32_t next = from;
  bool exhausted = false;
  while (n < count && out.Body.Size() < engine::net::kBatchBytes) {
    if (!scanner.Next()) {
      if (!scanner.status().ok()) {
        const engine::Status failed = scanner.status();
        scans_.erase(handle);
        return Fail(out, failed);
      }
      exhausted = true;
      break;
    }
    out.Body.U32(scanner.RecNo()).Raw(std::span<const uint8_t>(scanner.Record().Bytes(), length));
    next = scanner.RecNo() + 1;
    ++n;
  }
  if (next <= from) next = from + 1;
  scan.Next = exhausted ? 0 : next;
  out.Body.PatchU8(0, exhausted ? 1 : 0);
  out.Body.PatchU32(1, next);
  out.Body.PatchU32(5, n);
}

void Session::DoSql(WireReader& in, Reply& out) {
  const std::string text = in.Text();
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a statement request is outside the protocol";
    return;
  }
  // The statement's table must be a file of the share like any other open.
  if (!InsideShareOrRefuse(engine::StatementTableName(text), out)) return;
  auto outcome = engine::ExecuteStatement(*connection_, text);
  if (!outcome) return Fail(out, outcome.status());
  out.Body.U8(outcome->What == engine::SqlOutcome::Kind::IndexCreated ? 1 : 0);
  out.Body.U32(outcome->RowsAffected).Text(outcome->Table).Text(outcome->Index);
  out.Body.U64(outcome->IndexEntries);
}

}  // namespace dbserver

namespace dbserver {

bool Session::InsideShareOrRefuse(const std::string& name, Reply& out) const {
  // A name with a path in it is refused by the engine's own name rules.
  if (name.empty() || name.find_first_of("/\\") != std::string::npos) return true;
  std::string found = platform::FindFileIgnoringCase(folder_.Folder + "/" + name);
  if (found.empty()) found = platform::FindFileIgnoringCase(folder_.Folder + "/" + name + ".ADT");
  if (found.empty() || InsideShare(folder_.ShareRoot, found)) return true;
  out.Code = engine::AE_SHARE_PATH;
  out.Message = "Table \"" + name + "\" is refused: a symbolic link leads out of the share";
  return false;
}

void Session::DoInfo(engine::Table& table, WireReader& in, Reply& out) {
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "an info request is outside the protocol";
    return;
  }
  uint32_t live = 0;
  const bool counted = !table.NeedsPassword();
  if (counted) {
    auto count = table.CountLiveRecords();
    if (!count) return Fail(out, count.status());
    live = *count;
  }
  std::string index_name;
  uint64_t index_bytes = 0;
  if (const engine::LockedFile* index = table.IndexFile()) {
    index_name = std::filesystem::path(index->Path()).filename().string();
    std::error_code ignored;  // the size is shown for information only
    const auto size = std::filesystem::file_size(index->Path(), ignored);
    index_bytes = ignored ? 0 : static_cast<uint64_t>(size);
  }
  out.Body.U16(static_cast<uint16_t>(table.Header().VersionMajor));
  out.Body.U16(static_cast<uint16_t>(table.Header().VersionMinor));
  out.Body.U8(counted ? 1 : 0).U32(live).Text(index_name).U64(index_bytes);
}

void Session::DoOrderedScan(uint32_t handle, engine::Table& table, WireReader& in, Reply& out) {
  const std::string tag = in.Text();
  const bool seek = in.U8() != 0;
  const std::string values = in.Text();
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "an ordered scan request is outside the protocol";
    return;
  }
  auto scan = engine::TableIndexScan::Open(table, tag);
  if (!scan) return Fail(out, scan.status());
  if (engine::Status s = seek ? (*scan)->SeekText(values) : (*scan)->First(); !s.ok())
    return Fail(out, s);
  readings_[handle].Ordered = std::move(scan.value());
}

void Session::DoSearch(uint32_t handle, engine::Table& table, WireReader& in, Reply& out) {
  const std::string tag = in.Text();
  const std::string words = in.Text();
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a search request is outside the protocol";
    return;
  }
  auto found = table.SearchFullText(tag, words);
  if (!found) return Fail(out, found.status());
  out.Body.U32(static_cast<uint32_t>(found->size()));
  readings_[handle].Matches = std::move(found.value());
}

void Session::DoReadOn(uint32_t handle, engine::Table& table, WireReader& in, Reply& out) {
  const uint32_t count = std::min(in.U32(), engine::net::kMaxBatchRecords);
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a read request is outside the protocol";
    return;
  }
  const auto it = readings_.find(handle);
  if (it == readings_.end()) {
    out.Code = engine::AE_NO_CURRENT_RECORD;
    out.Message = "Table \"" + table.Name() + "\" has no ordered scan or search under way";
    return;
  }
  Reading& reading = it->second;
  const uint32_t length = table.Schema().RecordLength();
  out.Body.U8(0).U32(0);  // exhausted and n, written at the end
  uint32_t n = 0;
  bool exhausted = false;
  while (n < count && out.Body.Size() < engine::net::kBatchBytes) {
    if (reading.Ordered) {
      engine::TableIndexScan& scan = *reading.Ordered;
      if (scan.Eof()) {
        exhausted = true;
        break;
      }
      out.Body.U32(scan.RecNo()).Raw(std::span<const uint8_t>(scan.Record().Bytes(), length));
      if (engine::Status s = scan.Next(); !s.ok()) {
        readings_.erase(it);
        return Fail(out, s);
      }
    } else {
      if (reading.At == reading.Matches.size()) {
        exhausted = true;
        break;
      }
      const uint32_t recno = reading.Matches[reading.At++];
      if (engine::Status s = table.ReadRecord(recno, reading.Record); !s.ok()) {
        readings_.erase(it);
        return Fail(out, s);
      }
      out.Body.U32(recno).Raw(std::span<const uint8_t>(reading.Record.data(), length));
    }
    ++n;
  }
  if (!exhausted)
    exhausted = reading.Ordered ? reading.Ordered->Eof() : reading.At == reading.Matches.size();
  out.Body.PatchU8(0, exhausted ? 1 : 0);
  out.Body.PatchU32(1, n);
}

void Session::DoRewrite(WireReader& in, Reply& out) {
  const std::string name = in.Text();
  const bool encrypt = in.U8() != 0;
  const std::string password = in.Text();
  const uint32_t rounds = in.U32();
  if (!in.AtEnd()) {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a rewrite request is outside the protocol";
    return;
  }
  if (!InsideShareOrRefuse(name, out)) return;
  engine::TableRewriteOptions options;
  if (rounds != 0) options.KdfIterations = rounds;
  const engine::Status s = encrypt ? engine::EncryptTable(*connection_, name, password, options)
                                   : engine::DecryptTable(*connection_, name, password, options);
  if (!s.ok()) Fail(out, s);
}

void Session::DoLoad(Op op, WireReader& in, Reply& out) {
  const auto malformed = [&] {
    out.Code = engine::AE_SERVER_PROTOCOL;
    out.Message = "a load request is outside the protocol";
  };
  if (op == Op::LoadBegin) {
    const std::string name = in.Text();
    const bool replace = in.U8() != 0;
    std::vector<engine::FieldDef> fields(in.Count(9));
    for (engine::FieldDef& field : fields) {
      field.Name = in.Text();
      field.Type = static_cast<engine::FieldType>(in.U8());
      field.Length = in.U32();
    }
    if (!in.AtEnd()) return malformed();
    if (tables_.size() + loads_.size() >= config_.MaxHandles) {
      out.Code = engine::AE_SERVER_LIMIT;
      out.Message = "This connection has " + std::to_string(tables_.size() + loads_.size()) +
                    " tables open, the most the server allows";
      return;
    }
    if (!InsideShareOrRefuse(name, out)) return;
    auto load = engine::TableLoad::Begin(*connection_, name, fields, replace);
    if (!load) return Fail(out, load.status());
    const uint32_t id = next_load_++;
    loads_.emplace(id, std::move(load.value()));
    out.Body.U32(id);
    return;
  }
  const uint32_t id = in.U32();
  if (!in.Ok()) return malformed();
  const auto it = loads_.find(id);
  if (it == loads_.end()) {
    out.Code = engine::AE_INVALID_HANDLE;
    out.Message = "The handle " + std::to_string(id) + " is not that of a table being loaded here";
    return;
  }
  engine::TableLoad& load = it->second;
  if (op == Op::LoadFinish) {
    if (!in.AtEnd()) return malformed();
    const uint64_t appended = load.Appended();
    const engine::Status s = load.Finish();
    loads_.erase(it);
    if (!s.ok()) return Fail(out, s);
    out.Body.U64(appended);
    return;
  }
  // The records are built anew here field by field from what the client
  // sent, so that the file holds only values a record of its schema can
  // hold, whatever the bytes said.
  const engine::TableSchema& schema = load.Schema();
  const size_t length = schema.RecordLength();
  const uint32_t n = in.Count(length);
  engine::RecordBuilder builder(schema);
  for (uint32_t i = 0; i < n; ++i) {
    const auto bytes = in.Raw(length);
    if (!in.Ok()) break;
    const engine::RecordView record(schema, bytes.data());
    builder.Clear();
    for (size_t field = 0; field < schema.FieldCount(); ++field) {
      if (record.IsNull(field)) continue;
      switch (schema.Field(field).Type) {
        case engine::FieldType::Character:
          if (engine::Status s = builder.SetChars(field, record.TrimmedChars(field)); !s.ok())
            return Fail(out, s);
          break;
        case engine::FieldType::Integer:
          builder.SetInteger(field, record.Integer(field));
          break;
        case engine::FieldType::Double:
          builder.SetDouble(field, record.Double(field));
          break;
        case engine::FieldType::Date:
          builder.SetDate(field, record.Date(field));
          break;
        case engine::FieldType::Logical:
          builder.SetLogical(field, record.Logical(field));
          break;
      }
    }
    if (engine::Status s = load.Append(builder); !s.ok()) {
      loads_.erase(it);
      return Fail(out, s);
    }
  }
  if (!in.AtEnd()) return malformed();
}

}  // namespace dbserver
