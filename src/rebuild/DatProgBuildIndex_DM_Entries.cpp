#include "rebuild/DatProgBuildIndex_DM_Entries.h"

#include "common/DatGenStringsFunctions.h"

std::string InxNameOf(const std::string& key) {
  return key == kPrimaryKeyEntryKey ? "PRIMARY" : key;
}

std::string InxExpressionOf(const std::string& value) {
  const size_t star = value.find('*');
  return star == std::string::npos ? value : value.substr(0, star);
}

std::string InxOptionsTextOf(const std::string& value) {
  const size_t star = value.find('*');
  return star == std::string::npos ? std::string() : value.substr(star + 1);
}

TIndexOptions InxOptionsOf(const std::string& options_text) {
  static const struct {
    const char* word;
    TIndexOption option;
  } kWords[] = {{"ixPrimary", ixPrimary},
                {"ixUnique", ixUnique},
                {"ixCaseInsensitive", ixCaseInsensitive},
                {"ixDescending", ixDescending}};
  TIndexOptions options = 0;
  for (const auto& w : kWords) {
    if (options_text.find(w.word) != std::string::npos) options |= w.option;
  }
  return options;
}

bool IsPrimaryOnRecId(const std::string& index_name, const std::string& expression) {
  return SameText(index_name, "PRIMARY") && SameText(expression, "RECID");
}

bool SectionTableName(const std::string& section_name, std::string& table_name) {
  table_name.clear();
  const std::string upper = AnsiUpperCase(section_name);
  // The first 1-based position of each known tag, 0 when absent. A name is
  // versioned exactly when these positions OR together to 1: one tag at the
  // very start and no other tag anywhere.
  unsigned positions = 0;
  bool any_tag = false;
  for (const char* tag : kVersionTags) {
    const size_t pos = upper.find(AnsiUpperCase(tag));
    if (pos != std::string::npos) {
      positions |= static_cast<unsigned>(pos + 1);
      any_tag = true;
    }
  }
  if (positions == 1) {
    table_name = section_name.substr(kVersionTagLength);
  } else if (!any_tag && upper.find(AnsiUpperCase(kVersionTagPrefix)) == std::string::npos) {
    table_name = section_name;
  } else {
    return false;
  }
  return !table_name.empty();
}
