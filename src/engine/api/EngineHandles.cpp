// The handle registry: one map from handle to open table and one from
// handle to (table, tag name), behind a mutex. A tag is held by its name,
// not its place, so that an index handle keeps naming the same tag after
// the index file was rewritten; it fails (8208) once the tag is gone.
#include "engine/api/EngineHandles.h"

#include <mutex>
#include <unordered_map>

#include "engine/table/TableCursor.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/LastError.h"
#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"

namespace engine {

namespace {

struct IndexRef {
  ADSHANDLE Table = 0;
  std::string Tag;
};

struct Registry {
  std::mutex Mutex;
  std::unordered_map<ADSHANDLE, Table*> Tables;
  std::unordered_map<const Table*, ADSHANDLE> HandleOf;
  std::unordered_map<ADSHANDLE, IndexRef> Indexes;
  ADSHANDLE Next = 1;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

uint32_t Answer(const Status& status) {
  if (!status.ok()) {
    NoteError(status).PermitUncheckedError();  // the code below carries it
    return static_cast<uint32_t>(status.Code());
  }
  return AE_SUCCESS;
}

Status NoTable(ADSHANDLE handle) {
  return Status(AE_INVALID_HANDLE,
                "The handle " + std::to_string(handle) + " is not the handle of an open table");
}

// The handle of the tag `name` of `table`, made when there is none yet.
ADSHANDLE IndexHandleFor(ADSHANDLE table, const std::string& name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.Mutex);
  for (const auto& [handle, ref] : registry.Indexes) {
    if (ref.Table == table && EqualsIgnoringCase(ref.Tag, name)) return handle;
  }
  const ADSHANDLE handle = registry.Next++;
  registry.Indexes.emplace(handle, IndexRef{table, name});
  return handle;
}

bool FindIndex(ADSHANDLE handle, IndexRef& ref) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.Mutex);
  const auto it = registry.Indexes.find(handle);
  if (it == registry.Indexes.end()) return false;
  ref = it->second;
  return true;
}

// Runs `step` on the cursor of the table of `handle`.
template <typename Step>
uint32_t OnCursor(ADSHANDLE handle, Step step) {
  Table* table = TableOfHandle(handle);
  if (!table) return Answer(NoTable(handle));
  return Answer(step(table->Cursor()));
}

// Takes back the table's handle and every index handle of it.
void ReleaseTableHandle(ADSHANDLE handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.Mutex);
  const auto it = registry.Tables.find(handle);
  if (it == registry.Tables.end()) return;
  registry.HandleOf.erase(it->second);
  registry.Tables.erase(it);
  std::erase_if(registry.Indexes,
                [handle](const auto& entry) { return entry.second.Table == handle; });
}

}  // namespace

ADSHANDLE HandleOfTable(Table& table) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.Mutex);
  if (const auto it = registry.HandleOf.find(&table); it != registry.HandleOf.end())
    return it->second;
  const ADSHANDLE handle = registry.Next++;
  registry.Tables.emplace(handle, &table);
  registry.HandleOf.emplace(&table, handle);
  table.OnClose([handle] { ReleaseTableHandle(handle); });
  return handle;
}

Table* TableOfHandle(ADSHANDLE handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.Mutex);
  const auto it = registry.Tables.find(handle);
  return it == registry.Tables.end() ? nullptr : it->second;
}

uint32_t AdsCreateIndex90(ADSHANDLE handle, const std::string& name, const std::string& expression,
                          uint32_t options, uint32_t page_size, ADSHANDLE* index) {
  Table* table = TableOfHandle(handle);
  if (!table) return Answer(NoTable(handle));
  IndexTagDefinition definition;
  definition.Name = name;
  definition.Expression = expression;
  definition.Options.Unique = (options & kAdsIndexUnique) != 0;
  definition.Options.Descending = (options & kAdsIndexDescending) != 0;
  definition.Options.CaseInsensitive = (options & kAdsIndexCaseInsensitive) != 0;
  definition.Options.Primary = (options & kAdsIndexPrimary) != 0;
  if (Status status = table->AddIndex(definition, page_size); !status.ok()) return Answer(status);
  if (index) *index = IndexHandleFor(handle, name);
  return AE_SUCCESS;
}

uint32_t AdsReindex61(ADSHANDLE handle, uint32_t page_size) {
  Table* table = TableOfHandle(handle);
  if (!table) return Answer(NoTable(handle));
  return Answer(table->Reindex(page_size));
}

uint32_t AdsGetIndexHandleByOrder(ADSHANDLE handle, uint16_t order, ADSHANDLE* index) {
  Table* table = TableOfHandle(handle);
  if (!table) return Answer(NoTable(handle));
  auto indexes = table->Indexes();
  if (!indexes.ok()) return Answer(indexes.status());
  if (!*indexes) {
    return Answer(Status(AE_INDEX_TAG_NOT_FOUND, "Table \"" + table->Name() +
                                                     "\" has no index file, so no tag number " +
                                                     std::to_string(order)));
  }
  auto tag = (*indexes)->TagByOrder(order);
  if (!tag.ok()) return Answer(tag.status());
  if (index) *index = IndexHandleFor(handle, (*tag)->Name);
  return AE_SUCCESS;
}

uint32_t AdsGetIndexPageSize(ADSHANDLE index, uint32_t* page_size) {
  IndexRef ref;
  if (!FindIndex(index, ref)) {
    return Answer(Status(AE_INVALID_HANDLE, "The handle " + std::to_string(index) +
                                                " is not the handle of an index of an open table"));
  }
  Table* table = TableOfHandle(ref.Table);
  if (!table) return Answer(NoTable(ref.Table));
  auto indexes = table->Indexes();
  if (!indexes.ok()) return Answer(indexes.status());
  if (!*indexes || !(*indexes)->FindTag(ref.Tag)) {
    return Answer(Status(AE_INDEX_TAG_NOT_FOUND,
                         "Table \"" + table->Name() + "\" has no index " + ref.Tag + " any more"));
  }
  if (page_size) *page_size = (*indexes)->PageSize();
  return AE_SUCCESS;
}

uint32_t AdsIsTableEncrypted(ADSHANDLE handle, uint16_t* encrypted) {
  Table* table = TableOfHandle(handle);
  if (!table) return Answer(NoTable(handle));
  if (encrypted) *encrypted = table->IsEncrypted() ? 1 : 0;
  return AE_SUCCESS;
}

uint32_t AdsEnableEncryption(ADSHANDLE handle, const std::string& password) {
  Table* table = TableOfHandle(handle);
  if (!table) return Answer(NoTable(handle));
  return Answer(table->EnableEncryption(password));
}

uint32_t AdsDisableEncryption(ADSHANDLE handle) {
  Table* table = TableOfHandle(handle);
  if (!table) return Answer(NoTable(handle));
  return Answer(table->DisableEncryption());
}

uint32_t AdsGotoTop(ADSHANDLE table) {
  return OnCursor(table, [](TableCursor& cursor) { return cursor.First(); });
}

uint32_t AdsGotoBottom(ADSHANDLE table) {
  return OnCursor(table, [](TableCursor& cursor) { return cursor.Last(); });
}

uint32_t AdsSkip(ADSHANDLE table, int32_t rows) {
  return OnCursor(table, [rows](TableCursor& cursor) {
    if (rows == 0) return cursor.Refresh();
    for (int64_t i = 0; i < (rows < 0 ? -int64_t{rows} : int64_t{rows}); ++i) {
      Status status = rows > 0 ? cursor.Next() : cursor.Prior();
      if (!status.ok()) return status;
      if (cursor.RecNo() == 0) break;  // past an end
    }
    return Status::Ok();
  });
}

uint32_t AdsGotoRecord(ADSHANDLE table, uint32_t recno) {
  return OnCursor(table, [recno](TableCursor& cursor) { return cursor.GoTo(recno); });
}

uint32_t AdsRefreshRecord(ADSHANDLE table) {
  return OnCursor(table, [](TableCursor& cursor) { return cursor.Refresh(); });
}

uint32_t AdsAtBOF(ADSHANDLE table, uint16_t* at_bof) {
  return OnCursor(table, [at_bof](TableCursor& cursor) {
    if (at_bof) *at_bof = cursor.Bof() ? 1 : 0;
    return Status::Ok();
  });
}

uint32_t AdsAtEOF(ADSHANDLE table, uint16_t* at_eof) {
  return OnCursor(table, [at_eof](TableCursor& cursor) {
    if (at_eof) *at_eof = cursor.Eof() ? 1 : 0;
    return Status::Ok();
  });
}

uint32_t AdsGetRecordNum(ADSHANDLE table, uint32_t* recno) {
  return OnCursor(table, [recno](TableCursor& cursor) {
    if (recno) *recno = cursor.RecNo();
    return Status::Ok();
  });
}

uint32_t AdsGetField(ADSHANDLE table, const std::string& field, std::string* text) {
  return OnCursor(table, [&](TableCursor& cursor) {
    auto value = cursor.FieldText(field);
    if (!value.ok()) return value.status();
    if (text) *text = std::move(value).value();
    return Status::Ok();
  });
}

uint32_t AdsIsFieldNull(ADSHANDLE table, const std::string& field, uint16_t* is_null) {
  return OnCursor(table, [&](TableCursor& cursor) {
    auto value = cursor.IsNull(field);
    if (!value.ok()) return value.status();
    if (is_null) *is_null = *value ? 1 : 0;
    return Status::Ok();
  });
}

}  // namespace engine
