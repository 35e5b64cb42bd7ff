#include "dataset/AdsTable.h"

#include "dataset/ComponentNames.h"
#include "dataset/EDatabaseError.h"
#include "engine/api/EngineHandles.h"
#include "engine/sql/RemoteTable.h"
#include "engine/table/TableCursor.h"

TAdsTable::TAdsTable(QObject* owner) : QObject(owner) {}

TAdsTable::~TAdsTable() {
  Close();
}

void TAdsTable::CheckInactive(const char* property) const {
  if (Active()) {
    throw EDatabaseError(ComponentName(*this) + ": " + property +
                         " cannot be changed while table \"" + table_name_ + "\" is open");
  }
}

void TAdsTable::CheckActive() const {
  if (!Active()) throw EDatabaseError(ComponentName(*this) + ": the table is not open");
}

void TAdsTable::Check(uint32_t code, const std::string& column) const {
  if (code != engine::AE_SUCCESS) RaiseAdsCode(code, ErrorPlace(column));
}

void TAdsTable::CheckStatus(const engine::Status& status, const std::string& column) const {
  if (!status.ok()) RaiseAdsError(status, ErrorPlace(column));
}

void TAdsTable::SetDatabaseName(const std::string& name) {
  if (name == database_name_) return;
  CheckInactive("DatabaseName");
  database_name_ = name;
}

void TAdsTable::SetTableName(const std::string& name) {
  if (name == table_name_) return;
  CheckInactive("TableName");
  table_name_ = name;
}

void TAdsTable::SetExclusive(bool exclusive) {
  if (exclusive == exclusive_) return;
  CheckInactive("Exclusive");
  exclusive_ = exclusive;
}

EADSDatabaseError::Place TAdsTable::ErrorPlace(const std::string& column) const {
  return AdsErrorPlace(this, table_name_, column);
}

engine::ADSHANDLE TAdsTable::Handle() const {
  return table_ ? engine::HandleOfTable(*table_) : 0;
}

void TAdsTable::Open() {
  if (Active()) return;
  TAdsConnection& connection = UseConnection(database_name_, *this);
  if (connection.EngineConnection().IsRemote()) {
    OpenRemote(connection);
    return;
  }
  auto opened =
      engine::Table::Open(connection.EngineConnection(), table_name_,
                          exclusive_ ? engine::OpenMode::Exclusive : engine::OpenMode::Shared);
  if (!opened) RaiseAdsError(opened.status(), ErrorPlace());
  std::unique_ptr<engine::Table> table = std::move(opened.value());
  if (filtered_) {
    if (engine::Status s = table->Cursor().SetFilter(filter_); !s.ok())
      RaiseAdsError(s, ErrorPlace());
  }
  // An encrypted table opens before its password is enabled; it stands on
  // no record (at both ends) until the re-placing after the enable.
  if (!table->NeedsPassword()) {
    if (engine::Status s = table->Cursor().First(); !s.ok()) RaiseAdsError(s, ErrorPlace());
  }
  AdsTableOptions.AdsIndexPageSize = static_cast<uint16_t>(table->IndexPageSize());
  table_ = std::move(table);
  bof_ = true;
  eof_ = table_->Cursor().Eof();
  connection_ = &connection;
  connection_->AttachClient(*this);
}

void TAdsTable::OpenRemote(TAdsConnection& connection) {
  auto opened = engine::RemoteTable::Open(
      connection.EngineConnection(), table_name_,
      exclusive_ ? engine::OpenMode::Exclusive : engine::OpenMode::Shared);
  if (!opened) RaiseAdsError(opened.status(), ErrorPlace());
  std::unique_ptr<engine::RemoteTable> table = std::move(opened.value());
  if (filtered_) {
    if (engine::Status s = table->SetFilter(filter_); !s.ok()) RaiseAdsError(s, ErrorPlace());
  }
  if (!table->NeedsPassword()) {
    if (engine::Status s = table->First(); !s.ok()) RaiseAdsError(s, ErrorPlace());
  }
  AdsTableOptions.AdsIndexPageSize = static_cast<uint16_t>(table->IndexPageSize());
  remote_ = std::move(table);
  bof_ = true;
  eof_ = remote_->Eof();
  connection_ = &connection;
  connection_->AttachClient(*this);
}

void TAdsTable::Close() {
  if (!Active()) return;
  table_.reset();
  remote_.reset();
  bof_ = eof_ = true;
  if (connection_) connection_->DetachClient(*this);
  connection_ = nullptr;
}

void TAdsTable::SetActive(bool active) {
  if (active) {
    Open();
  } else {
    Close();
  }
}

bool TAdsTable::EngineAtEof() const {
  if (remote_) return remote_->Eof();
  uint16_t at_eof = 0;
  Check(engine::AdsAtEOF(Handle(), &at_eof));
  return at_eof != 0;
}

bool TAdsTable::EngineAtBof() const {
  if (remote_) return remote_->Bof();
  uint16_t at_bof = 0;
  Check(engine::AdsAtBOF(Handle(), &at_bof));
  return at_bof != 0;
}

void TAdsTable::ApplyFilter(const std::string& filter, bool filtered) {
  const engine::Status applied =
      remote_ ? remote_->SetFilter(filtered ? filter : std::string())
              : table_->Cursor().SetFilter(filtered ? filter : std::string());
  // The engine's cursor is at its end after any filter change, also a
  // refused one (whose old filter stays in force): start again from the top.
  First();
  if (!applied.ok()) RaiseAdsError(applied, ErrorPlace());
}

void TAdsTable::SetFilter(const std::string& filter) {
  if (filter == filter_) return;
  if (Active() && filtered_) ApplyFilter(filter, true);
  filter_ = filter;
}

void TAdsTable::SetFiltered(bool filtered) {
  if (filtered == filtered_) return;
  if (Active()) ApplyFilter(filter_, filtered);
  filtered_ = filtered;
}

void TAdsTable::First() {
  CheckActive();
  if (remote_) {
    CheckStatus(remote_->First());
    bof_ = true;
    eof_ = remote_->Eof();
    return;
  }
  engine::TableCursor& cursor = table_->Cursor();
  CheckStatus(cursor.First());
  bof_ = true;
  eof_ = cursor.Eof();
}

void TAdsTable::Next() {
  CheckActive();
  if (eof_) return;
  if (remote_) {
    // Past the last record the remote cursor stays on it by itself.
    CheckStatus(remote_->Next());
    if (remote_->Eof()) {
      eof_ = true;
      return;
    }
    bof_ = false;
    return;
  }
  engine::TableCursor& cursor = table_->Cursor();
  const uint32_t current = cursor.RecNo();
  CheckStatus(cursor.Next());
  if (cursor.Eof()) {
    // No further record: the dataset ends and stays on the one it was on.
    CheckStatus(cursor.GoTo(current));
    eof_ = true;
    return;
  }
  bof_ = false;
}

void TAdsTable::Last() {
  CheckActive();
  if (remote_) {
    CheckStatus(remote_->Last());
    eof_ = true;
    bof_ = remote_->Bof();
    return;
  }
  engine::TableCursor& cursor = table_->Cursor();
  CheckStatus(cursor.Last());
  eof_ = true;
  bof_ = cursor.Bof();  // only an empty selection is at both ends
}

bool TAdsTable::Bof() const {
  return !Active() || bof_;
}

bool TAdsTable::Eof() const {
  return !Active() || eof_;
}

std::string TAdsTable::FieldText(const std::string& field) const {
  CheckActive();
  auto text = remote_ ? remote_->FieldText(field) : table_->Cursor().FieldText(field);
  CheckStatus(text.status(), field);
  return std::move(text.value());
}

void TAdsTable::AddIndex(const std::string& name, const std::string& expression,
                         TIndexOptions options) {
  CheckActive();
  uint32_t engine_options = 0;
  if (options & ixUnique) engine_options |= engine::kAdsIndexUnique;
  if (options & ixDescending) engine_options |= engine::kAdsIndexDescending;
  if (options & ixCaseInsensitive) engine_options |= engine::kAdsIndexCaseInsensitive;
  if (options & ixPrimary) engine_options |= engine::kAdsIndexPrimary;
  if (remote_) {
    engine::IndexTagDefinition definition;
    definition.Name = name;
    definition.Expression = expression;
    definition.Options.Unique = (options & ixUnique) != 0;
    definition.Options.Descending = (options & ixDescending) != 0;
    definition.Options.CaseInsensitive = (options & ixCaseInsensitive) != 0;
    definition.Options.Primary = (options & ixPrimary) != 0;
    CheckStatus(remote_->AddIndex(definition, AdsTableOptions.AdsIndexPageSize));
    return;
  }
  Check(engine::AdsCreateIndex90(Handle(), name, expression, engine_options,
                                 AdsTableOptions.AdsIndexPageSize, nullptr));
}

void TAdsTable::SetBrowseMode() {
  CheckActive();
}

void TAdsTable::ReplaceCursor() {
  CheckActive();
  if (remote_) {
    ReplaceRemoteCursor();
    return;
  }
  if (table_->NeedsPassword()) {
    // The password was just disabled: there is no record to stand on.
    bof_ = eof_ = true;
    return;
  }
  const engine::ADSHANDLE handle = Handle();
  if (EngineAtBof()) {
    First();
    return;
  }
  if (EngineAtEof()) {
    Last();
    return;
  }
  uint32_t before = 0;
  Check(engine::AdsGetRecordNum(handle, &before));
  Check(engine::AdsRefreshRecord(handle));
  if (EngineAtEof()) {
    // The current record left the selection and none follows it.
    Last();
    return;
  }
  uint32_t after = 0;
  Check(engine::AdsGetRecordNum(handle, &after));
  if (after != before) bof_ = false;
}

void TAdsTable::ReplaceRemoteCursor() {
  // The same steps as for a local table, on the remote cursor.
  if (remote_->NeedsPassword()) {
    bof_ = eof_ = true;
    return;
  }
  if (EngineAtBof()) {
    First();
    return;
  }
  if (EngineAtEof()) {
    Last();
    return;
  }
  const uint32_t before = remote_->RecNo();
  CheckStatus(remote_->Refresh());
  if (EngineAtEof()) {
    Last();
    return;
  }
  if (remote_->RecNo() != before) bof_ = false;
}
