// A --log value read the way an operator types it: the prefix's case and the
// blanks before it do not matter.
#include "ledger/log_target.h"

#include "ledger/ledger.h"

namespace {

char16_t Lower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// Whether `text` holds `word` (lower-case ASCII) at `at`, in any case.
bool HasWordAt(const std::u16string& text, size_t at, std::u16string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(text[at + i]) != word[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::u16string> DatabaseConnectionOf(const std::u16string& logValue) {
  size_t at = 0;
  while (at < logValue.size() && IsBlank(logValue[at])) ++at;
  const std::u16string_view prefix(kDatabaseLogPrefix);
  if (!HasWordAt(logValue, at, prefix)) return std::nullopt;
  return logValue.substr(at + prefix.size());
}

bool HoldsConnectionKeys(const std::u16string& logValue) {
  for (size_t at = 0; at < logValue.size(); ++at) {
    for (std::u16string_view key : {u"driver=", u"dsn=", u"pwd="}) {
      if (HasWordAt(logValue, at, key)) return true;
    }
  }
  return false;
}
