// A log value read the way an operator types it: the prefix's case and the
// blanks around it do not matter.
#include "ledger/log_target.h"

#include <string_view>

#include "ledger/connection_string.h"
#include "ledger/operation_record.h"

namespace {

constexpr std::string_view kPrefix = "odbc:";

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Whether `text` holds `word` (lower-case ASCII) at `at`, in any case.
bool HasWordAt(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(text[at + i]) != word[i]) return false;
  }
  return true;
}

bool HoldsConnectionKeys(std::string_view value) {
  for (size_t at = 0; at < value.size(); ++at) {
    for (std::string_view key : {"driver=", "dsn=", "pwd="}) {
      if (HasWordAt(value, at, key)) return true;
    }
  }
  return false;
}

}  // namespace

LogTarget ParseLogTarget(const std::string& logValue) {
  const std::string_view value = Trim(logValue);
  LogTarget target;
  if (HasWordAt(value, 0, kPrefix)) {
    target.kind = LogKind::kDatabase;
    target.connection = std::string(Trim(value.substr(kPrefix.size())));
    target.shown = std::string(kPrefix) + MaskConnectionSecret(target.connection);
  } else if (HoldsConnectionKeys(value)) {
    target.kind = LogKind::kUnmarkedConnection;
    target.connection = logValue;
    // Not split as a connection string would be (a path may hold PWD=), so
    // none of it is shown.
    target.shown = "a connection string without odbc:";
  } else {
    target.connection = logValue;
    target.shown = logValue;
  }
  return target;
}

LogTarget ParseLogTarget(const std::u16string& logValue) {
  return ParseLogTarget(Utf8(logValue));
}

std::string StoreFailureText(const LogTarget& target, const std::string& error) {
  if (target.kind == LogKind::kDatabase) return HideConnectionSecretIn(error, target.connection);
  return target.shown + (error.empty() ? "" : " (" + error + ")");
}
