#include "IndexText.h"

#include <charconv>

#include "Commands.h"
#include "engine/fulltext/FullTextFormat.h"

namespace dbtool {

std::string TagOptionsText(const engine::IndexTagOptions& options) {
  std::string text;
  const auto add = [&text](bool set, const char* name) {
    if (!set) return;
    if (!text.empty()) text += ", ";
    text += name;
  };
  add(options.Unique, "unique");
  add(options.Descending, "descending");
  add(options.CaseInsensitive, "case-insensitive");
  add(options.Primary, "primary");
  return text.empty() ? "none" : text;
}

std::string TagLine(const engine::IndexTagInfo& tag, uint32_t page_size) {
  if (tag.Kind == engine::IndexTagKind::FullText) {
    auto data = engine::DecodeFullTextTagData(tag.KindData, "the index " + tag.Name);
    if (!data)
      return tag.Name + ": " + tag.Expression + ", full text, " + CodedMessage(data.status());
    std::string noise;
    for (const std::string& word : data->Words.NoiseWords)
      noise += (noise.empty() ? "" : " ") + word;
    return tag.Name + ": " + tag.Expression + ", full text, words of " +
           std::to_string(data->Words.MinWordLength) + ".." +
           std::to_string(data->Words.MaxWordLength) + " characters" +
           (noise.empty() ? std::string() : ", noise words '" + noise + "'") + ", page size " +
           std::to_string(page_size) + ", " + std::to_string(data->WordCount) + " words, " +
           std::to_string(data->PostingCount) + " (word, record) pairs";
  }
  return tag.Name + ": " + tag.Expression + ", options " + TagOptionsText(tag.Options) +
         ", page size " + std::to_string(page_size) + ", " + std::to_string(tag.KeyCount) + " keys";
}

bool ParseCount(std::string_view text, const char* what, uint64_t most, uint64_t& value,
                std::string& error) {
  uint64_t parsed = 0;
  const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.empty() || code != std::errc() || end != text.data() + text.size() || parsed > most) {
    error = std::string(what) + " must be a whole number from 0 to " + std::to_string(most) +
            ", not \"" + std::string(text) + "\"";
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace dbtool
