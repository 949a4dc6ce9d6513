// The connection string is split as ODBC drivers split it: attributes
// KEY=VALUE between semicolons, a value in braces may hold semicolons and
// writes a closing brace as two. Keys compare without case and without the
// spaces around them.
#include "ledger/connection_string.h"

#include <cctype>
#include <optional>
#include <vector>

namespace {

constexpr char kMask[] = "***";

struct Attribute {
  std::string key;  // upper case, trimmed
  std::string value;
  size_t valueBegin = 0;  // the value as written, braces included
  size_t valueEnd = 0;
};

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<Attribute> Attributes(const std::string& text) {
  std::vector<Attribute> attributes;
  size_t at = 0;
  while (at < text.size()) {
    const size_t equals = text.find_first_of("=;", at);
    if (equals == std::string::npos) break;
    if (text[equals] == ';') {
      at = equals + 1;
      continue;
    }
    Attribute attribute;
    attribute.key = Upper(Trim(text.substr(at, equals - at)));
    size_t begin = equals + 1;
    while (begin < text.size() && text[begin] == ' ') ++begin;
    attribute.valueBegin = begin;
    size_t end = begin;
    if (begin < text.size() && text[begin] == '{') {
      // Inside braces only "}}" is a brace of the value; one "}" closes it.
      for (end = begin + 1; end < text.size(); ++end) {
        if (text[end] != '}') {
          attribute.value += text[end];
        } else if (end + 1 < text.size() && text[end + 1] == '}') {
          attribute.value += '}';
          ++end;
        } else {
          ++end;
          break;
        }
      }
      attribute.valueEnd = end;
      at = text.find(';', end);
    } else {
      end = text.find(';', begin);
      if (end == std::string::npos) end = text.size();
      attribute.valueEnd = end;
      attribute.value = Trim(text.substr(begin, end - begin));
      at = end;
    }
    attributes.push_back(attribute);
    if (at == std::string::npos) break;
    ++at;
  }
  return attributes;
}

bool IsSecret(const Attribute& attribute) {
  return attribute.key == "PWD" || attribute.key == "PASSWORD";
}

std::optional<std::string> Find(const std::vector<Attribute>& attributes,
                                std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    for (const Attribute& attribute : attributes) {
      if (attribute.key == key && !attribute.value.empty()) return attribute.value;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string MaskConnectionSecret(const std::string& connection) {
  std::string masked;
  size_t kept = 0;
  for (const Attribute& attribute : Attributes(connection)) {
    if (!IsSecret(attribute)) continue;
    masked += connection.substr(kept, attribute.valueBegin - kept);
    masked += kMask;
    kept = attribute.valueEnd;
  }
  return masked + connection.substr(kept);
}

std::string HideConnectionSecretIn(const std::string& text, const std::string& connection) {
  std::string hidden = text;
  for (const Attribute& attribute : Attributes(connection)) {
    if (!IsSecret(attribute) || attribute.value.empty()) continue;
    for (size_t at = hidden.find(attribute.value); at != std::string::npos;
         at = hidden.find(attribute.value, at + sizeof kMask - 1)) {
      hidden.replace(at, attribute.value.size(), kMask);
    }
  }
  return hidden;
}

std::string ServerOf(const std::string& connection) {
  const std::vector<Attribute> attributes = Attributes(connection);
  if (const std::optional<std::string> server =
          Find(attributes, {"SERVER", "HOST", "SERVERNAME", "DATA SOURCE"})) {
    const std::optional<std::string> port = Find(attributes, {"PORT"});
    return port ? *server + ":" + *port : *server;
  }
  if (const std::optional<std::string> dsn = Find(attributes, {"DSN"})) {
    return "data source " + *dsn;
  }
  if (const std::optional<std::string> database = Find(attributes, {"DATABASE"})) {
    return "database " + *database;
  }
  return "the connection string's database";
}
