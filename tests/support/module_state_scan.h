// Finds the module-wide state a C++ source defines, as the architecture
// document's table must list it: a variable named g_... defined at namespace
// scope, and any variable declared thread_local, wherever it is. A light
// scanner, not a parser: comments, literals and preprocessor lines are
// blanked first; a brace after "namespace" or extern "C" keeps namespace
// scope, any other brace (a body, a class, an initializer) leaves it.
#pragma once

#include <regex>
#include <set>
#include <string>
#include <vector>

namespace module_state {

inline std::string Blanked(const std::string& source) {
  std::string out = source;
  enum { kCode, kLine, kBlock, kString, kChar } state = kCode;
  bool lineStart = true;
  for (size_t i = 0; i < out.size(); ++i) {
    const char c = source[i];
    const char next = i + 1 < source.size() ? source[i + 1] : '\0';
    switch (state) {
      case kCode:
        if (lineStart && c == '#') {
          state = kLine;
        } else if (c == '/' && next == '/') {
          state = kLine;
        } else if (c == '/' && next == '*') {
          state = kBlock;
          out[i + 1] = ' ';
          ++i;
        } else if (c == '"') {
          state = kString;
          continue;
        } else if (c == '\'') {
          state = kChar;
          continue;
        } else {
          break;
        }
        out[i] = ' ';
        break;
      case kLine:
        if (c == '\n') state = kCode;
        if (c != '\n') out[i] = ' ';
        break;
      case kBlock:
        if (c == '*' && next == '/') {
          state = kCode;
          out[i + 1] = ' ';
          out[i++] = ' ';
        } else if (c != '\n') {
          out[i] = ' ';
        }
        break;
      case kString:
      case kChar:
        if (c == '\\') {
          out[i] = ' ';
          if (i + 1 < out.size()) out[++i] = ' ';
        } else if (c == (state == kString ? '"' : '\'')) {
          state = kCode;
        } else {
          out[i] = ' ';
        }
        break;
    }
    if (c == '\n')
      lineStart = true;
    else if (c != ' ' && c != '\t')
      lineStart = false;
  }
  return out;
}

// The name a declaration declares: the identifier just before its first
// initializer, bound or body.
inline std::string DeclaredName(const std::string& statement) {
  static const std::regex name(R"(([A-Za-z_]\w*)\s*(?:\[[^\]]*\]\s*)*(?:[={(;]|$))");
  std::smatch match;
  return std::regex_search(statement, match, name) ? match[1].str() : std::string();
}

inline std::vector<std::string> ModuleStateNames(const std::string& source) {
  const std::string code = Blanked(source);
  std::vector<std::string> names;
  static const std::regex threadLocal(R"(\bthread_local\b([^;{=(\[]*))");
  for (std::sregex_iterator it(code.begin(), code.end(), threadLocal), end; it != end; ++it) {
    names.push_back(DeclaredName((*it)[1].str()));
  }
  static const std::regex opensNamespace(
      R"(^\s*((inline\s+)?namespace\b[\w:\s]*|extern\s*"\s*")\s*$)");
  static const std::regex opensFunction(R"((\)|\bconst|\bnoexcept|\boverride|\bfinal)\s*$|->)");
  static const std::regex globalName(R"(^g_\w+$)");
  std::vector<bool> namespaces;  // true: the open brace keeps namespace scope
  std::string statement;
  int skipped = 0;  // depth inside a brace that left namespace scope
  bool function = false;
  for (const char c : code) {
    if (skipped > 0) {
      if (c == '{') ++skipped;
      if (c == '}' && --skipped == 0) {
        statement = function ? std::string() : statement + " {}";
      }
      continue;
    }
    if (c == '{') {
      if (std::regex_search(statement, opensNamespace)) {
        namespaces.push_back(true);
        statement.clear();
      } else {
        function = std::regex_search(statement, opensFunction);
        skipped = 1;
      }
    } else if (c == '}') {
      if (!namespaces.empty()) namespaces.pop_back();
      statement.clear();
    } else if (c == ';') {
      const bool declaration = statement.find("extern") == std::string::npos;
      const std::string name = DeclaredName(statement.find('{') == std::string::npos
                                                ? statement
                                                : statement.substr(0, statement.find('{') + 1));
      if (declaration && std::regex_match(name, globalName)) names.push_back(name);
      statement.clear();
    } else {
      statement += c;
    }
  }
  return names;
}

// Every name in backquotes in the rows of the first table after the heading
// that holds title, up to the next heading.
inline std::set<std::string> ListedNames(const std::string& markdown, const std::string& title) {
  std::set<std::string> names;
  bool inSection = false;
  size_t from = 0;
  static const std::regex quoted(R"(`([A-Za-z_]\w*)`)");
  while (from < markdown.size()) {
    size_t to = markdown.find('\n', from);
    if (to == std::string::npos) to = markdown.size();
    const std::string line = markdown.substr(from, to - from);
    from = to + 1;
    if (line.rfind("#", 0) == 0) {
      inSection = line.find(title) != std::string::npos;
      continue;
    }
    if (!inSection || line.rfind("|", 0) != 0) continue;
    for (std::sregex_iterator it(line.begin(), line.end(), quoted), end; it != end; ++it) {
      names.insert((*it)[1].str());
    }
  }
  return names;
}

}  // namespace module_state
