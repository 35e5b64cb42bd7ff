#include "common/DatGenAppNamesServices_Unit.h"

#include "common/DatGenStringsFunctions.h"

namespace {

std::string& ProductName() {
  static std::string name;
  return name;
}

constexpr int kEveryIgnoringCase = rfReplaceAll | rfIgnoreCase;

}  // namespace

const std::string& GetProductName() {
  return ProductName();
}

void SetProductName(const std::string& name) {
  ProductName() = name;
}

std::string ReplaceProductNames(const std::string& text, const std::string& name) {
  std::string out = ReplaceText(text, kProductFullWord, name, kEveryIgnoringCase);
  out = ReplaceText(out, kProductFullWord, kProductPlaceholder, kEveryIgnoringCase);
  out = ReplaceText(out, kProductWord, name, kEveryIgnoringCase);
  out = ReplaceText(out, kProductPlaceholder, kProductFullWord, kEveryIgnoringCase);
  out = ReplaceText(out, kProductHebrewWord, name, kEveryIgnoringCase);
  return ReplaceProductToken(out, name);
}

std::string ReplaceProductToken(const std::string& text, const std::string& name) {
  return ReplaceText(text, kProductToken, name, kEveryIgnoringCase);
}
