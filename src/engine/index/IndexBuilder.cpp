#include "engine/index/IndexBuilder.h"

#include <cstring>

#include "engine/index/BTreePage.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/LockedFile.h"

namespace engine {

namespace {

ExternalSorterOptions SorterOptions(const IndexBuildSettings& settings, uint32_t key_length) {
  ExternalSorterOptions options;
  options.RecordSize = key_length + kRecordNumberSize;
  options.MemoryBytes = settings.SortMemoryBytes;
  options.TempFolder = FolderOfPath(settings.IndexPath);
  options.TempNamePrefix = FileNameOfPath(settings.IndexPath);
  options.Threads = settings.Threads;
  return options;
}

}  // namespace

Result<std::unique_ptr<IndexBuilder>> IndexBuilder::Create(const IndexTagDefinition& definition,
                                                           std::span<const KeyField> fields,
                                                           const IndexBuildSettings& settings) {
  if (definition.Name.empty() || definition.Name.size() > kMaxTagNameLength) {
    return Status(AE_INDEX_BAD_TAG_NAME, "The index name \"" + definition.Name +
                                             "\" is empty or longer than " +
                                             std::to_string(kMaxTagNameLength) + " characters");
  }
  if (definition.Expression.size() > 0xFFFF) {
    return Status(AE_INDEX_BAD_EXPRESSION,
                  "The expression of the index " + definition.Name + " is too long");
  }
  const CharTable& table = settings.Table ? *settings.Table : DefaultCharTable();
  KeyOptions options;
  options.Descending = definition.Options.Descending;
  options.CaseInsensitive = definition.Options.CaseInsensitive;
  Result<KeyExpression> key = KeyExpression::Parse(definition.Expression, fields, options, table);
  if (!key.ok()) return key.status();
  return std::unique_ptr<IndexBuilder>(
      new IndexBuilder(definition, std::move(key).value(), settings, true));
}

std::unique_ptr<IndexBuilder> IndexBuilder::ForExpectedKeys(const IndexTagInfo& tag,
                                                            const IndexBuildSettings& settings) {
  IndexTagDefinition definition{tag.Name, tag.Expression, tag.Options};
  return std::unique_ptr<IndexBuilder>(new IndexBuilder(definition, tag.Key, settings, false));
}

IndexBuilder::IndexBuilder(IndexTagDefinition definition, KeyExpression key,
                           const IndexBuildSettings& settings, bool checks)
    : definition_(std::move(definition)),
      key_(std::move(key)),
      sorter_(SorterOptions(settings, key_.KeyLength())),
      checks_(checks) {}

IndexBuilder::~IndexBuilder() = default;

Status IndexBuilder::status() const {
  return status_.ok() ? sorter_.status() : status_;
}

void IndexBuilder::CheckKey(uint32_t record_number, const uint8_t* key) {
  if (checks_ && definition_.Options.Unique && key_.IsEmpty(key)) {
    status_ = Status(AE_UNIQUE_EMPTY_KEY, "The unique index " + definition_.Name +
                                              " cannot be built: record " +
                                              std::to_string(record_number) + " has an empty key");
  }
}

void IndexBuilder::Add(uint32_t record_number, std::span<const KeyValue> values) {
  if (!status_.ok()) return;
  if (finished_) {
    status_ = Status(AE_INDEX_BUILDER_STATE,
                     "A key was added to the index " + definition_.Name + " after Finish");
    return;
  }
  uint8_t* slot = sorter_.Append();
  if (Status encoded = key_.Encode(values, slot); !encoded.ok()) {
    status_ = Status(encoded.Code(), "Index " + definition_.Name + ", record " +
                                         std::to_string(record_number) + ": " + encoded.Message());
    return;
  }
  PutRecordNumber(slot, key_.KeyLength(), record_number);
  CheckKey(record_number, slot);
}

void IndexBuilder::AddKey(uint32_t record_number, const uint8_t* key) {
  if (!status_.ok()) return;
  if (finished_) {
    status_ = Status(AE_INDEX_BUILDER_STATE,
                     "A key was added to the index " + definition_.Name + " after Finish");
    return;
  }
  uint8_t* slot = sorter_.Append();
  std::memcpy(slot, key, key_.KeyLength());
  PutRecordNumber(slot, key_.KeyLength(), record_number);
  CheckKey(record_number, slot);
}

Status IndexBuilder::Finish() {
  if (!status_.ok()) return status_;
  if (finished_)
    return Status(AE_INDEX_BUILDER_STATE, "The index " + definition_.Name + " was finished twice");
  finished_ = true;
  if (Status status = sorter_.Finish(); !status.ok()) {
    status_ = Status(status.Code(), "Index " + definition_.Name + ": " + status.Message());
  }
  return status_;
}

void IndexBuilder::Abandon() {
  sorter_.Abandon();
}

}  // namespace engine
