// The table side of index files: adding a tag built from the table's
// records, rebuilding every tag, reading the index file, and checking it
// against the records.
//
// Every build makes one scan of the table (with IndexBuildThreads above 1
// and several tags, one scan per thread, each feeding its share of the
// tags). Each live record's key values
// are read straight from the record's bytes (a key part names a field; the
// part's type and length must be the field's) and handed to the tag's
// builder, which sorts the keys within the engine's sort memory; the index
// file writer then bulk-loads the trees and renames the new file into place
// (IndexFileWriter.h). The table then opens and locks the new file, since
// its lock was on the file that the rename replaced.
#include <algorithm>
#include <system_error>
#include <thread>

#include "engine/fulltext/FullTextTag.h"
#include "engine/index/IndexFileFormat.h"
#include "engine/table/Table.h"
#include "engine/util/FullTextErrors.h"
#include "engine/util/IndexFileErrors.h"
#include "engine/util/LastError.h"
#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"

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
    if (index_file_.IsOpen() && NeedsPassword()) {
      indexes_status_ = PasswordNotEnabled();
    } else if (index_file_.IsOpen()) {
      auto file = engine::IndexFile::Open(index_file_.Path(), environment_->Chars, Key());
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

namespace {

// Errors of an index file whose bytes are damaged, as opposed to one that is
// locked, unreadable for the system, or not the table's (8335).
bool IsDamage(const Status& status) {
  return status.Code() == AE_INDEX_CORRUPT || status.Code() == AE_INDEX_CHECKSUM;
}

}  // namespace

bool Table::IndexFileDamaged() const {
  if (!index_file_.IsOpen() || NeedsPassword()) return false;
  auto indexes = Indexes();
  if (!indexes.ok()) return IsDamage(indexes.status());
  // The header and directory read; every page is read too, as carrying the
  // tags over into a new file would.
  const engine::IndexFile& file = **indexes;
  const uint32_t per_read = std::max<uint32_t>(1, (1u << 20) / file.PageSize());
  std::vector<uint8_t> pages(uint64_t{per_read} * file.PageSize());
  for (uint32_t first = 0; first < file.PageCount(); first += per_read) {
    const uint32_t count = std::min(per_read, file.PageCount() - first);
    if (Status status = file.ReadPages(first, count, pages.data()); !status.ok())
      return IsDamage(status);
  }
  return false;
}

Result<std::shared_ptr<const engine::IndexFile>> Table::TagsToRebuild() const {
  auto indexes = Indexes();
  if (indexes.ok() || !IsDamage(indexes.status())) return indexes;
  auto directory =
      engine::IndexFile::OpenTagDirectory(index_file_.Path(), environment_->Chars, Key());
  if (directory.ok()) return std::shared_ptr<const engine::IndexFile>(std::move(directory).value());
  return NoteError(
      Status(AE_INDEX_DIRECTORY_LOST,
             "The index file " + index_file_.Path() + " cannot be rebuilt: it is damaged (" +
                 indexes.status().Message() + ") and its tag directory cannot be read either (" +
                 directory.status().Message() +
                 "), so the tags it held are not known; move it aside and add its tags again"));
}

IndexBuildSettings Table::BuildSettings(uint32_t share) const {
  IndexBuildSettings settings;
  settings.IndexPath = IndexFilePath();
  const uint64_t memory = uint64_t{environment_->Config.SortMemoryMiB} << 20;
  settings.SortMemoryBytes = std::max(kLeastSortMemory, memory / std::max<uint32_t>(1, share));
  settings.Table = &environment_->Chars;
  settings.Threads = environment_->Config.IndexBuildThreads;
  return settings;
}

Result<std::unique_ptr<FullTextTagBuild>> Table::FullTextBuildOf(
    const FullTextTagDefinition& definition, uint32_t share) const {
  const IndexBuildSettings settings = BuildSettings(share);
  FullTextBuildOptions options;
  options.MemoryBytes = settings.SortMemoryBytes;
  options.TempFolder = FolderOfPath(settings.IndexPath);
  return FullTextTagBuild::Create(definition, Schema(), name_, environment_->Chars, options);
}

namespace {

// What one scan feeding some of the builders came to, ordered as the scan
// of all of them on one thread would have met it: the first error at the
// earliest check (at a check, the builders in their order), a read error of
// the scan, then errors found at the end.
struct FeedOutcome {
  enum Stage { kAtCheck, kScanFailed, kAtEnd, kDone };
  uint64_t Checks = 0;  // checks passed before this outcome
  Stage Where = kDone;
  size_t Builder = 0;  // the builder's place among all of them
  Status Error;

  bool Before(const FeedOutcome& other) const {
    if (Checks != other.Checks) return Checks < other.Checks;
    if (Where != other.Where) return Where < other.Where;
    return Builder < other.Builder;
  }
};

}  // namespace

Status Table::FeedBuilders(std::span<IndexBuilder* const> builders,
                           std::span<FullTextTagBuild* const> builds) const {
  std::vector<KeyValueReader> readers;
  for (IndexBuilder* builder : builders) {
    auto reader = KeyValueReader::For(builder->Key(), Schema(), name_, builder->Definition().Name);
    if (!reader.ok()) return reader.status();
    readers.push_back(std::move(reader).value());
  }
  // Builder j is builders[j], or builds[j - builders.size()] past them.
  const size_t total = builders.size() + builds.size();
  auto status_of = [&](size_t j) {
    return j < builders.size() ? builders[j]->status() : builds[j - builders.size()]->status();
  };
  // One scan of the table feeding the builders `mine` (in increasing order).
  auto feed = [&](const std::vector<size_t>& mine) {
    std::vector<KeyValue> values;
    TableScanner scanner = Scan();
    uint64_t checks = 0;
    uint32_t since_check = 0;
    while (scanner.Next()) {
      const RecordView record = scanner.Record();
      for (size_t j : mine) {
        if (j < builders.size()) {
          readers[j].Read(record, values);
          builders[j]->Add(scanner.RecNo(), values);
        } else {
          builds[j - builders.size()]->Add(scanner.RecNo(), record);
        }
      }
      if (++since_check == kStatusCheckEvery) {
        since_check = 0;
        ++checks;
        for (size_t j : mine) {
          if (Status status = status_of(j); !status.ok())
            return FeedOutcome{checks, FeedOutcome::kAtCheck, j, status};
        }
      }
    }
    if (!scanner.status().ok())
      return FeedOutcome{checks, FeedOutcome::kScanFailed, 0, scanner.status()};
    for (size_t j : mine) {
      if (Status status = status_of(j); !status.ok())
        return FeedOutcome{checks, FeedOutcome::kAtEnd, j, status};
    }
    return FeedOutcome{checks, FeedOutcome::kDone, 0, Status::Ok()};
  };
  // With more threads, each scans the table for its share of the builders
  // (the full-text ones, the costliest, spread first). Every builder still
  // gets every record in order, so what it builds is the same; an encrypted
  // table's cipher serves one thread at a time, so it is scanned once.
  uint32_t threads = std::min<uint32_t>(environment_->Config.IndexBuildThreads,
                                        static_cast<uint32_t>(std::max<size_t>(1, total)));
  if (IsEncrypted()) threads = 1;
  std::vector<std::vector<size_t>> shares(threads);
  for (size_t i = 0; i < total; ++i) {
    const size_t j = i < builds.size() ? builders.size() + i : i - builds.size();
    shares[i % threads].push_back(j);
  }
  for (auto& share : shares) std::sort(share.begin(), share.end());
  std::vector<FeedOutcome> outcomes(threads);
  std::vector<std::thread> started;
  std::vector<uint32_t> refused;
  for (uint32_t t = 1; t < threads; ++t) {
    try {
      started.emplace_back([&, t] { outcomes[t] = feed(shares[t]); });
    } catch (const std::system_error&) {
      refused.push_back(t);  // the system gives no more threads: scan here
    }
  }
  outcomes[0] = feed(shares[0]);
  for (uint32_t t : refused) outcomes[t] = feed(shares[t]);
  for (std::thread& thread : started) thread.join();
  const FeedOutcome* first = &outcomes[0];
  for (const FeedOutcome& outcome : outcomes) {
    if (outcome.Before(*first)) first = &outcome;
  }
  return first->Error;
}

Status Table::AddTags(std::span<IndexBuilder* const> builders,
                      std::vector<std::unique_ptr<FullTextTagBuild>>& builds, uint32_t page_size,
                      const std::function<void(IndexWriteStep)>& on_step) {
  // A damaged file is rebuilt from its tag directory first, so that the
  // tags it held are kept beside the new one.
  if (IndexFileDamaged()) {
    if (Status status = Reindex(0); !status.ok()) return status;
  }
  std::vector<IndexTagBuild> tags;
  for (IndexBuilder* builder : builders) tags.push_back({builder, nullptr});
  for (const auto& build : builds) tags.push_back({nullptr, build.get()});
  // Full-text tags are laid out in a new page size only by building them
  // again; a file that cannot be read is left to the write to report.
  auto indexes = Indexes();
  if (indexes.ok() && *indexes && page_size != 0 && page_size != (*indexes)->PageSize()) {
    const size_t asked = tags.size();
    for (const IndexTagInfo& tag : (*indexes)->Tags()) {
      bool replaced = false;
      for (size_t i = 0; i < asked; ++i) {
        const std::string& name =
            tags[i].BTree ? tags[i].BTree->Definition().Name : tags[i].FullText->Definition().Name;
        replaced = replaced || EqualsIgnoringCase(name, tag.Name);
      }
      if (tag.Kind != IndexTagKind::FullText || replaced) continue;
      auto definition = FullTextDefinitionOf(**indexes, tag);
      if (!definition.ok()) return definition.status();
      auto build = FullTextBuildOf(*definition, static_cast<uint32_t>(asked + 1));
      if (!build.ok()) return build.status();
      builds.push_back(std::move(build).value());
      tags.push_back({nullptr, builds.back().get()});
    }
  }
  std::vector<FullTextTagBuild*> fed;
  for (const auto& build : builds) fed.push_back(build.get());
  if (Status status = FeedBuilders(builders, fed); !status.ok()) return status;
  IndexWriteOptions options;
  options.PageSize = page_size;
  options.OnStep = on_step;
  options.Key = Key();
  const Status written = AddIndexTags(IndexFilePath(), tags, options);
  // Whether or not the file was replaced, the table holds the one in place.
  const Status reopened = ReopenIndexFile();
  if (!written.ok()) return written;
  return reopened;
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
  std::vector<std::unique_ptr<FullTextTagBuild>> none;
  return NoteError(AddTags(builders, none, page_size, on_step));
}

Status Table::AddFullTextIndex(const FullTextTagDefinition& definition, uint32_t page_size) {
  if (mode_ != OpenMode::Exclusive) {
    return NoteError(Status(AE_NEEDS_EXCLUSIVE, "A full-text index is added to table \"" + name_ +
                                                    "\" only when it is open exclusively"));
  }
  if (Status status = CheckPageSize(page_size); !status.ok()) return NoteError(status);
  auto build = FullTextBuildOf(definition, 1);
  if (!build.ok()) return NoteError(build.status());
  std::vector<std::unique_ptr<FullTextTagBuild>> builds;
  builds.push_back(std::move(build).value());
  return NoteError(AddTags({}, builds, page_size, {}));
}

Result<std::vector<uint32_t>> Table::SearchFullText(std::string_view tag_name,
                                                    std::string_view words) const {
  auto indexes = Indexes();
  if (!indexes.ok()) return indexes.status();
  const IndexTagInfo* tag = *indexes ? (*indexes)->FindTag(tag_name) : nullptr;
  if (!tag) {
    return NoteError(Status(AE_INDEX_TAG_NOT_FOUND,
                            "Table \"" + name_ + "\" has no index named " + std::string(tag_name)));
  }
  auto found = SearchFullTextTag(**indexes, *tag, words, environment_->Chars);
  if (!found.ok()) return NoteError(found.status());
  // The tag is exact after every change the engine makes; records deleted
  // behind its back (a crash between a delete and its index write) are
  // left out all the same.
  std::vector<uint32_t> live;
  TableScanner scanner = Scan();
  for (uint32_t recno : *found) {
    if (recno > RecordCount()) {
      return NoteError(Status(AE_INDEX_CORRUPT, "The full-text index " + tag->Name + " of \"" +
                                                    name_ + "\" names record " +
                                                    std::to_string(recno) + " of " +
                                                    std::to_string(RecordCount())));
    }
    if (scanner.RecNo() > recno) continue;  // deleted: the scan passed it for a later record
    scanner.Reset(recno);
    if (!scanner.Next()) {
      if (!scanner.status().ok()) return NoteError(scanner.status());
      break;  // no live record from here on
    }
    if (scanner.RecNo() == recno) live.push_back(recno);
  }
  return live;
}

Status Table::Reindex(uint32_t page_size) {
  if (mode_ != OpenMode::Exclusive) {
    return NoteError(Status(
        AE_NEEDS_EXCLUSIVE,
        "The indexes of table \"" + name_ + "\" are rebuilt only when it is open exclusively"));
  }
  if (Status status = CheckPageSize(page_size); !status.ok()) return NoteError(status);
  auto indexes = TagsToRebuild();
  if (!indexes.ok()) return indexes.status();
  if (!*indexes) {
    return NoteError(Status(
        AE_ALREADY_SO, "Table \"" + name_ + "\" has no index file: there is nothing to rebuild"));
  }
  const std::vector<IndexTagInfo>& tags = (*indexes)->Tags();
  const uint32_t share = static_cast<uint32_t>(tags.size());
  std::vector<std::unique_ptr<IndexBuilder>> owned;
  std::vector<std::unique_ptr<FullTextTagBuild>> owned_builds;
  std::vector<IndexBuilder*> builders;
  std::vector<FullTextTagBuild*> builds;
  std::vector<IndexTagBuild> order;  // the tags in the file's order
  const std::vector<KeyField> fields = KeyFields();
  for (const IndexTagInfo& tag : tags) {
    if (tag.Kind == IndexTagKind::FullText) {
      auto definition = FullTextDefinitionOf(**indexes, tag);
      if (!definition.ok()) return NoteError(definition.status());
      auto build = FullTextBuildOf(*definition, share);
      if (!build.ok()) return NoteError(build.status());
      builds.push_back(build->get());
      order.push_back({nullptr, build->get()});
      owned_builds.push_back(std::move(build).value());
      continue;
    }
    auto builder =
        IndexBuilder::Create({tag.Name, tag.Expression, tag.Options}, fields, BuildSettings(share));
    if (!builder.ok()) return NoteError(builder.status());
    builders.push_back(builder->get());
    order.push_back({builder->get(), nullptr});
    owned.push_back(std::move(builder).value());
  }
  if (Status status = FeedBuilders(builders, builds); !status.ok()) return NoteError(status);
  IndexWriteOptions options;
  // A file rebuilt from its directory alone keeps its page size all the same.
  options.PageSize = page_size != 0 ? page_size : (*indexes)->PageSize();
  options.Key = Key();
  const Status written =
      WriteIndexFile(IndexFilePath(), std::span<const IndexTagBuild>(order), options);
  const Status reopened = ReopenIndexFile();
  if (!written.ok()) return NoteError(written);
  return NoteError(reopened);
}

std::optional<IndexFileCheck> Table::VerifyIndexes() const {
  if (!index_file_.IsOpen()) return std::nullopt;
  if (NeedsPassword()) {
    IndexFileCheck locked;
    locked.FileProblem = NoteError(PasswordNotEnabled()).Message();
    return locked;
  }
  return VerifyIndexFile(
      index_file_.Path(),
      [this](const IndexTagInfo& tag) -> Result<std::unique_ptr<IndexBuilder>> {
        std::unique_ptr<IndexBuilder> expected =
            IndexBuilder::ForExpectedKeys(tag, BuildSettings(1));
        IndexBuilder* const builders[] = {expected.get()};
        if (Status status = FeedBuilders(builders); !status.ok()) return status;
        return expected;
      },
      environment_->Chars,
      [this](const engine::IndexFile& file,
             const IndexTagInfo& tag) -> Result<std::unique_ptr<FullTextTagBuild>> {
        auto definition = FullTextDefinitionOf(file, tag);
        if (!definition.ok()) return definition.status();
        auto expected = FullTextBuildOf(*definition, 1);
        if (!expected.ok()) return expected.status();
        FullTextTagBuild* const builds[] = {expected->get()};
        if (Status status = FeedBuilders({}, builds); !status.ok()) return status;
        return std::move(expected).value();
      },
      Key());
}

}  // namespace engine
