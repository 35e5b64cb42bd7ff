// The table side of index files: adding a tag built from the table's
// records, rebuilding every tag, reading the index file, and checking it
// against the records.
//
// Every build makes one scan of the table. Each live record's key values
// are read straight from the record's bytes (a key part names a field; the
// part's type and length must be the field's) and handed to the tag's
// builder, which sorts the keys within the engine's sort memory; the index
// file writer then bulk-loads the trees and renames the new file into place
// (IndexFileWriter.h). The table then opens and locks the new file, since
// its lock was on the file that the rename replaced.
#include <algorithm>

#include "engine/EngineApi.h"
#include "engine/IndexFileErrors.h"
#include "engine/IndexFileFormat.h"
#include "engine/Table.h"
#include "engine/TableErrorCodes.h"

namespace engine {

namespace {

constexpr uint32_t kStatusCheckEvery = 4096;  // records between looks at the builders' errors
constexpr uint64_t kLeastSortMemory = 1ull << 20;

KeyPartType KeyTypeOf(FieldType type) {
  switch (type) {
    case FieldType::Character:
      return KeyPartType::Character;
    case FieldType::Integer:
      return KeyPartType::Integer;
    case FieldType::Double:
      return KeyPartType::Double;
    case FieldType::Date:
      return KeyPartType::Date;
    case FieldType::Logical:
      return KeyPartType::Logical;
  }
  return KeyPartType::Character;
}

// Reads the values of a key's parts from records of a table: each part is
// found among the table's fields by name and must have the field's type.
class KeyValueReader {
 public:
  static Result<KeyValueReader> For(const KeyExpression& key, const TableSchema& schema,
                                    const std::string& table_name, const std::string& tag) {
    KeyValueReader reader;
    for (const KeyPart& part : key.Parts()) {
      const auto field = schema.FindField(part.FieldName);
      if (!field) {
        return Status(AE_INDEX_UNKNOWN_FIELD, "The index " + tag + " names the field " +
                                                  part.FieldName + ", which table \"" + table_name +
                                                  "\" does not have");
      }
      const FieldInfo& info = schema.Field(*field);
      const bool same_length = part.Type != KeyPartType::Character || part.Length == info.Length;
      if (KeyTypeOf(info.Type) != part.Type || !same_length) {
        return Status(AE_INDEX_BAD_FIELD, "The key part " + part.FieldName + " of the index " +
                                              tag + " does not match the field of table \"" +
                                              table_name + "\"");
      }
      reader.parts_.push_back({*field, part.Type});
    }
    return reader;
  }

  void Read(const RecordView& record, std::vector<KeyValue>& values) const {
    values.resize(parts_.size());
    for (size_t i = 0; i < parts_.size(); ++i) {
      const size_t field = parts_[i].Field;
      const KeyPartType type = parts_[i].Type;
      if (record.IsNull(field)) {
        values[i] = KeyValue::Null(type);
        continue;
      }
      switch (type) {
        case KeyPartType::Character:
          values[i] = KeyValue::Char(record.Chars(field));
          break;
        case KeyPartType::Integer:
          values[i] = KeyValue::Integer(record.Integer(field));
          break;
        case KeyPartType::Double:
          values[i] = KeyValue::Number(record.Double(field));
          break;
        case KeyPartType::Date:
          values[i] = KeyValue::Date(record.Date(field));
          break;
        case KeyPartType::Logical:
          values[i] = KeyValue::Logical(record.Logical(field));
          break;
      }
    }
  }

 private:
  struct Part {
    size_t Field;  // in the table's schema
    KeyPartType Type;
  };
  std::vector<Part> parts_;
};

Status CheckPageSize(uint32_t page_size) {
  if (page_size == 0 || IsValidIndexPageSize(page_size)) return Status::Ok();
  return Status(AE_INDEX_BAD_PAGE_SIZE, "The index page size " + std::to_string(page_size) +
                                            " is not one of 512, 1024, 2048, 4096 and 8192");
}

}  // namespace

std::vector<KeyField> Table::KeyFields() const {
  std::vector<KeyField> fields;
  for (const FieldInfo& field : Schema().Fields()) {
    fields.push_back(KeyField{field.Name, KeyTypeOf(field.Type),
                              field.Type == FieldType::Character ? field.Length : 0});
  }
  return fields;
}

Status Table::SetIndexPageSize(uint32_t page_size) {
  if (Status status = CheckPageSize(page_size); !status.ok()) return NoteError(status);
  index_page_size_ = page_size;
  return Status::Ok();
}

Result<std::shared_ptr<const engine::IndexFile>> Table::Indexes() const {
  if (!indexes_read_) {
    indexes_.reset();
    indexes_status_ = Status::Ok();
    if (index_file_.IsOpen()) {
      auto file = engine::IndexFile::Open(index_file_.Path(), environment_->Chars);
      if (file.ok()) {
        indexes_ = std::move(file).value();
      } else {
        indexes_status_ = file.status();
      }
    }
    indexes_read_ = true;
  }
  if (!indexes_status_.ok()) return NoteError(indexes_status_);
  return indexes_;
}

IndexBuildSettings Table::BuildSettings(uint32_t share) const {
  IndexBuildSettings settings;
  settings.IndexPath = IndexFilePath();
  const uint64_t memory = uint64_t{environment_->Config.SortMemoryMiB} << 20;
  settings.SortMemoryBytes = std::max(kLeastSortMemory, memory / std::max<uint32_t>(1, share));
  settings.Table = &environment_->Chars;
  return settings;
}

Status Table::FeedBuilders(std::span<IndexBuilder* const> builders) const {
  std::vector<KeyValueReader> readers;
  for (IndexBuilder* builder : builders) {
    auto reader = KeyValueReader::For(builder->Key(), Schema(), name_, builder->Definition().Name);
    if (!reader.ok()) return reader.status();
    readers.push_back(std::move(reader).value());
  }
  std::vector<KeyValue> values;
  TableScanner scanner = Scan();
  uint32_t since_check = 0;
  while (scanner.Next()) {
    const RecordView record = scanner.Record();
    for (size_t i = 0; i < builders.size(); ++i) {
      readers[i].Read(record, values);
      builders[i]->Add(scanner.RecNo(), values);
    }
    if (++since_check == kStatusCheckEvery) {
      since_check = 0;
      for (IndexBuilder* builder : builders) {
        if (Status status = builder->status(); !status.ok()) return status;
      }
    }
  }
  if (!scanner.status().ok()) return scanner.status();
  for (IndexBuilder* builder : builders) {
    if (Status status = builder->status(); !status.ok()) return status;
  }
  return Status::Ok();
}

Status Table::AddIndex(const IndexTagDefinition& definition, uint32_t page_size,
                       const std::function<void(IndexWriteStep)>& on_step) {
  if (mode_ != OpenMode::Exclusive) {
    return NoteError(Status(AE_NEEDS_EXCLUSIVE, "An index is added to table \"" + name_ +
                                                    "\" only when it is open exclusively"));
  }
  if (Status status = CheckPageSize(page_size); !status.ok()) return NoteError(status);
  auto builder = IndexBuilder::Create(definition, KeyFields(), BuildSettings(1));
  if (!builder.ok()) return NoteError(builder.status());
  IndexBuilder* const builders[] = {builder->get()};
  if (Status status = FeedBuilders(builders); !status.ok()) return NoteError(status);
  IndexWriteOptions options;
  options.PageSize = page_size;
  options.OnStep = on_step;
  const Status written = AddIndexTag(IndexFilePath(), **builder, options);
  // Whether or not the file was replaced, the table holds the one in place.
  const Status reopened = ReopenIndexFile();
  if (!written.ok()) return NoteError(written);
  return NoteError(reopened);
}

Status Table::Reindex(uint32_t page_size) {
  if (mode_ != OpenMode::Exclusive) {
    return NoteError(Status(
        AE_NEEDS_EXCLUSIVE,
        "The indexes of table \"" + name_ + "\" are rebuilt only when it is open exclusively"));
  }
  if (Status status = CheckPageSize(page_size); !status.ok()) return NoteError(status);
  auto indexes = Indexes();
  if (!indexes.ok()) return indexes.status();
  if (!*indexes) {
    return NoteError(Status(
        AE_ALREADY_SO, "Table \"" + name_ + "\" has no index file: there is nothing to rebuild"));
  }
  const std::vector<IndexTagInfo>& tags = (*indexes)->Tags();
  std::vector<std::unique_ptr<IndexBuilder>> owned;
  std::vector<IndexBuilder*> builders;
  const std::vector<KeyField> fields = KeyFields();
  for (const IndexTagInfo& tag : tags) {
    if (tag.Kind != IndexTagKind::BTree) {
      return NoteError(Status(AE_INDEX_TAG_KIND, "The index " + tag.Name + " of table \"" + name_ +
                                                     "\" is of a kind this engine cannot rebuild"));
    }
    auto builder = IndexBuilder::Create({tag.Name, tag.Expression, tag.Options}, fields,
                                        BuildSettings(static_cast<uint32_t>(tags.size())));
    if (!builder.ok()) return NoteError(builder.status());
    builders.push_back(builder->get());
    owned.push_back(std::move(builder).value());
  }
  if (Status status = FeedBuilders(builders); !status.ok()) return NoteError(status);
  IndexWriteOptions options;
  options.PageSize = page_size;
  const Status written = WriteIndexFile(IndexFilePath(), builders, options);
  const Status reopened = ReopenIndexFile();
  if (!written.ok()) return NoteError(written);
  return NoteError(reopened);
}

std::optional<IndexFileCheck> Table::VerifyIndexes() const {
  if (!index_file_.IsOpen()) return std::nullopt;
  return VerifyIndexFile(
      index_file_.Path(),
      [this](const IndexTagInfo& tag) -> Result<std::unique_ptr<IndexBuilder>> {
        std::unique_ptr<IndexBuilder> expected =
            IndexBuilder::ForExpectedKeys(tag, BuildSettings(1));
        IndexBuilder* const builders[] = {expected.get()};
        if (Status status = FeedBuilders(builders); !status.ok()) return status;
        return expected;
      },
      environment_->Chars);
}

}  // namespace engine
