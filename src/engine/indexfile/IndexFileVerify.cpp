#include "engine/indexfile/IndexFileVerify.h"

namespace engine {

bool IndexFileCheck::Ok() const {
  if (!FileProblem.empty()) return false;
  for (const IndexTagCheck& tag : Tags) {
    if (!tag.Ok()) return false;
  }
  return true;
}

std::vector<std::string> IndexFileCheck::Lines() const {
  std::vector<std::string> lines;
  if (!FileProblem.empty()) lines.push_back(FileProblem);
  for (const IndexTagCheck& tag : Tags) lines.push_back(tag.Line());
  return lines;
}

IndexFileCheck VerifyIndexFile(const std::string& path, const ExpectedKeysFor& expected_for,
                               const CharTable& table, const ExpectedWordsFor& words_for,
                               const TableCipher* key) {
  IndexFileCheck check;
  Result<std::unique_ptr<IndexFile>> file = IndexFile::Open(path, table, key);
  if (!file.ok()) {
    check.FileProblem = file.status().Message();
    return check;
  }
  for (const IndexTagInfo& tag : (*file)->Tags()) {
    if (tag.Kind == IndexTagKind::FullText) {
      std::unique_ptr<FullTextTagBuild> words;
      if (words_for) {
        Result<std::unique_ptr<FullTextTagBuild>> made = words_for(**file, tag);
        if (!made.ok()) {
          check.Tags.push_back(IndexTagCheck{
              tag.Name, "the expected words could not be read: " + made.status().Message()});
          continue;
        }
        words = std::move(made).value();
      }
      check.Tags.push_back(
          VerifyFullTextIndexTag(**file, tag, table, words ? &words->Builder() : nullptr));
      continue;
    }
    std::unique_ptr<IndexBuilder> expected;
    if (expected_for) {
      Result<std::unique_ptr<IndexBuilder>> made = expected_for(tag);
      if (!made.ok()) {
        check.Tags.push_back(IndexTagCheck{
            tag.Name, "the expected keys could not be read: " + made.status().Message()});
        continue;
      }
      expected = std::move(made).value();
    }
    check.Tags.push_back(VerifyIndexTag(**file, tag, expected.get()));
  }
  return check;
}

}  // namespace engine
