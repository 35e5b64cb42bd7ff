#include "engine/fulltext/FullTextTag.h"

#include "engine/fulltext/FullTextReader.h"
#include "engine/fulltext/FullTextVerify.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string TagPlace(const IndexFile& file, const IndexTagInfo& tag) {
  return "Index file " + file.Path() + ", full-text tag " + tag.Name;
}

}  // namespace

Result<std::vector<size_t>> FullTextFieldsOf(std::string_view expression, const TableSchema& schema,
                                             const std::string& table_name,
                                             const std::string& tag) {
  std::vector<size_t> fields;
  size_t at = 0;
  while (true) {
    const size_t end = std::min(expression.find(';', at), expression.size());
    const std::string_view name = TrimBlanks(expression.substr(at, end - at));
    if (name.empty()) {
      return Status(AE_INDEX_BAD_EXPRESSION,
                    "The fields of the full-text index " + tag + " hold an empty name");
    }
    const auto field = schema.FindField(name);
    if (!field) {
      return Status(AE_INDEX_UNKNOWN_FIELD, "The full-text index " + tag + " names the field " +
                                                std::string(name) + ", which table \"" +
                                                table_name + "\" does not have");
    }
    if (schema.Field(*field).Type != FieldType::Character) {
      return Status(AE_INDEX_BAD_FIELD, "The full-text index " + tag + " names the field " +
                                            std::string(name) + " of table \"" + table_name +
                                            "\", which is not a character field");
    }
    fields.push_back(*field);
    if (end == expression.size()) break;
    at = end + 1;
  }
  return fields;
}

Result<std::unique_ptr<FullTextTagBuild>> FullTextTagBuild::Create(
    const FullTextTagDefinition& definition, const TableSchema& schema,
    const std::string& table_name, const CharTable& chars, const FullTextBuildOptions& options) {
  if (definition.Name.empty() || definition.Name.size() > kMaxTagNameLength) {
    return Status(AE_INDEX_BAD_TAG_NAME, "The index name \"" + definition.Name +
                                             "\" is empty or longer than " +
                                             std::to_string(kMaxTagNameLength) + " characters");
  }
  if (definition.Expression.size() > 0xFFFF) {
    return Status(AE_INDEX_BAD_EXPRESSION,
                  "The fields of the full-text index " + definition.Name + " are too long");
  }
  auto fields = FullTextFieldsOf(definition.Expression, schema, table_name, definition.Name);
  if (!fields) return fields.status();
  auto builder = FullTextBuilder::Create(definition.Words, chars, options);
  if (!builder) return builder.status();
  std::unique_ptr<FullTextTagBuild> build(new FullTextTagBuild());
  build->definition_ = definition;
  build->fields_ = std::move(fields.value());
  build->builder_ = std::move(builder.value());
  return build;
}

void FullTextTagBuild::Add(uint32_t recno, const RecordView& record) {
  for (size_t field : fields_) {
    if (record.IsNull(field)) continue;
    // Errors stay in the builder, which the caller asks for them.
    builder_->Add(recno, record.Chars(field)).PermitUncheckedError();
  }
}

Result<FullTextShape> FullTextShapeOf(const IndexFile& file, const IndexTagInfo& tag) {
  if (tag.Kind != IndexTagKind::FullText) {
    return Status(AE_INDEX_TAG_KIND, "The index " + tag.Name + " is not a full-text index");
  }
  const std::string place = TagPlace(file, tag);
  auto data = DecodeFullTextTagData(tag.KindData, place);
  if (!data) return data.status();
  if (data->PageCount != tag.PageCount || data->RootPage != tag.RootPage ||
      data->Height != tag.Height) {
    return Status(AE_INDEX_CORRUPT,
                  place + ": the tag directory and the full-text settings disagree on its pages");
  }
  FullTextShape shape;
  shape.FileName = file.Path();
  shape.TagName = tag.Name;
  shape.PageSize = file.PageSize();
  shape.TagSerial = tag.Serial;
  shape.FirstPage = tag.FirstPage;
  shape.Data = std::move(data.value());
  return shape;
}

Result<FullTextTagDefinition> FullTextDefinitionOf(const IndexFile& file, const IndexTagInfo& tag) {
  auto shape = FullTextShapeOf(file, tag);
  if (!shape) return shape.status();
  FullTextTagDefinition definition;
  definition.Name = tag.Name;
  definition.Expression = tag.Expression;
  definition.Words = shape->Data.Words;
  return definition;
}

Status IndexFileTagPages::ReadPage(uint32_t tag_page, uint8_t* buffer) {
  if (tag_page >= tag_.PageCount) {
    return Status(AE_INDEX_CORRUPT, TagPlace(file_, tag_) + ": page " + std::to_string(tag_page) +
                                        " of the tag is beyond its " +
                                        std::to_string(tag_.PageCount) + " pages");
  }
  return file_.ReadPage(tag_.FirstPage + tag_page, buffer);
}

Result<std::vector<uint32_t>> SearchFullTextTag(const IndexFile& file, const IndexTagInfo& tag,
                                                std::string_view words, const CharTable& chars) {
  auto shape = FullTextShapeOf(file, tag);
  if (!shape) return shape.status();
  IndexFileTagPages pages(file, tag);
  auto reader = FullTextReader::Open(pages, std::move(shape.value()), chars);
  if (!reader) return reader.status();
  return reader->Search(words);
}

IndexTagCheck VerifyFullTextIndexTag(const IndexFile& file, const IndexTagInfo& tag,
                                     const CharTable& chars, FullTextBuilder* expected) {
  IndexTagCheck check;
  check.Tag = tag.Name;
  auto shape = FullTextShapeOf(file, tag);
  if (!shape) {
    check.Problem = shape.status().Message();
    return check;
  }
  IndexFileTagPages pages(file, tag);
  const FullTextCheck verdict = VerifyFullTextTag(pages, *shape, chars, expected);
  check.Problem = verdict.Problem;
  return check;
}

}  // namespace engine
