// The installed CRM product's name and its substitution into texts.
//
// Texts of the installation may carry the product words ("VorlexCRM",
// "Vorlex", the product word in Hebrew letters) or the product token; these
// services put the installed product's name in their place.
#pragma once

#include <string>

// The product words.
inline constexpr const char* kProductFullWord = "VorlexCRM";
inline constexpr const char* kProductWord = "Vorlex";

// The product word in Hebrew letters, windows-1255 bytes: vav, vav, resh,
// lamed, qof, samekh ("Vorlex" spelled in Hebrew).
inline constexpr const char* kProductHebrewWord = "\xE5\xE5\xF8\xEC\xF7\xF1";

// The token form texts carry where the product name belongs.
inline constexpr const char* kProductToken = "***VlxGenProd107349***";

// Shields a "VorlexCRM" that the new name itself brings in while "Vorlex" is
// replaced. Control characters keep it out of any real text, and it holds no
// product word in any case.
inline constexpr const char* kProductPlaceholder = "\x01\x02PRODUCT-NAME-PLACEHOLDER\x02\x01";

// The process-wide product name: empty until start-up sets it.
const std::string& GetProductName();
void SetProductName(const std::string& name);

// The full substitution: every product word and the token become `name`,
// ignoring case, without cutting up a "VorlexCRM" inside `name`.
std::string ReplaceProductNames(const std::string& text, const std::string& name);

// Only the product token becomes `name`, ignoring case, every occurrence.
std::string ReplaceProductToken(const std::string& text, const std::string& name);
