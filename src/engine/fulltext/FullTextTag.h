// Full-text tags in a table's index file: what defines one, building one
// from a table's live records, and reading one back for searches and checks.
//
// A full-text tag sits in the tag directory beside the B+tree tags, with
// the kind 2, no key parts, the indexed fields as its expression
// ("NOTES;COMMENTS") and its word settings and page ranges as its kind
// data (FullTextFormat.cpp); its pages are those of FullTextTagWriter.cpp,
// numbered within the tag like a B+tree's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fulltext/FullTextBuilder.h"
#include "engine/fulltext/FullTextFormat.h"
#include "engine/fulltext/FullTextWords.h"
#include "engine/index/IndexFile.h"
#include "engine/index/IndexVerify.h"
#include "engine/record/Record.h"
#include "engine/record/TableSchema.h"
#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

// A full-text tag as CREATE INDEX ... CONTENT asks for it.
struct FullTextTagDefinition {
  std::string Name;
  std::string Expression;  // the indexed fields, separated by ";"
  FullTextWordOptions Words;
};

// The character fields `expression` names in `schema`, in order. Errors
// name the field and the tag: AE_INDEX_BAD_EXPRESSION for an empty
// expression or an empty name in it, AE_INDEX_UNKNOWN_FIELD for a field the
// table lacks, AE_INDEX_BAD_FIELD for a field that is not a character field.
Result<std::vector<size_t>> FullTextFieldsOf(std::string_view expression, const TableSchema& schema,
                                             const std::string& table_name, const std::string& tag);

// One full-text tag being built during a scan of a table's live records.
class FullTextTagBuild {
 public:
  // Checks the tag's name, fields and word settings. `chars` must outlive
  // the build.
  static Result<std::unique_ptr<FullTextTagBuild>> Create(const FullTextTagDefinition& definition,
                                                          const TableSchema& schema,
                                                          const std::string& table_name,
                                                          const CharTable& chars,
                                                          const FullTextBuildOptions& options);

  const FullTextTagDefinition& Definition() const { return definition_; }
  FullTextBuilder& Builder() { return *builder_; }

  // Indexes the words of record `recno`'s indexed fields (a NULL field has
  // none). REQUIRES: records come in increasing order. Errors are sticky
  // (status()).
  void Add(uint32_t recno, const RecordView& record);
  Status status() const { return builder_->status(); }

 private:
  FullTextTagBuild() = default;

  FullTextTagDefinition definition_;
  std::vector<size_t> fields_;  // in the table's schema
  std::unique_ptr<FullTextBuilder> builder_;
};

// The definition a stored full-text tag was built with (its noise words
// come back folded, which indexes the same words).
Result<FullTextTagDefinition> FullTextDefinitionOf(const IndexFile& file, const IndexTagInfo& tag);

// What a reader needs of a full-text tag of `file`. Errors: AE_INDEX_TAG_KIND
// for a tag of another kind, AE_INDEX_CORRUPT when its settings are damaged
// or disagree with its directory entry.
Result<FullTextShape> FullTextShapeOf(const IndexFile& file, const IndexTagInfo& tag);

// A full-text tag's pages in its index file. The file and the tag must
// outlive it.
class IndexFileTagPages : public FullTextPageSource {
 public:
  IndexFileTagPages(const IndexFile& file, const IndexTagInfo& tag) : file_(file), tag_(tag) {}
  Status ReadPage(uint32_t tag_page, uint8_t* buffer) override;

 private:
  const IndexFile& file_;
  const IndexTagInfo& tag_;
};

// The records of a full-text tag of `file` that hold every word of `words`
// (split and folded like the indexed texts), in increasing order; the
// caller leaves out records deleted since. Errors: those of
// FullTextShapeOf, AE_FULLTEXT_COLLATION, AE_FULLTEXT_NO_WORDS when no word
// of `words` is one the tag indexes, and those of damaged pages.
Result<std::vector<uint32_t>> SearchFullTextTag(const IndexFile& file, const IndexTagInfo& tag,
                                                std::string_view words, const CharTable& chars);

// Checks a full-text tag of `file`: its pages and word tree and, when
// `expected` is given (a build fed with the table's live records, not
// finished), that it holds exactly their words and records.
IndexTagCheck VerifyFullTextIndexTag(const IndexFile& file, const IndexTagInfo& tag,
                                     const CharTable& chars, FullTextBuilder* expected = nullptr);

}  // namespace engine
