// Module-wide state is the exception: every variable a product source keeps
// at namespace scope under a g_ name, and every thread_local, must be one the
// architecture document's table names, with how tests put it back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/module_state_scan.h"

namespace {

namespace fs = std::filesystem;

constexpr char kTableTitle[] = "Module-wide state";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The folders that are not the product: tests, fuzzers, benchmarks, builds.
bool IsProductPath(const fs::path& relative) {
  const std::string top = relative.begin()->string();
  return top != "tests" && top != "fuzz" && top != "bench" && top != "build" && top[0] != '.';
}

}  // namespace

TEST(ModuleStateScan, FindsWhatTheTableMustList) {
  const struct {
    const char* name;
    const char* source;
    std::vector<std::string> found;
  } rows[] = {
      {"global with initializer", "int g_count = 0;", {"g_count"}},
      {"global in anonymous namespace",
       "namespace {\nstd::array<int, 3> g_counts{};\n}",
       {"g_counts"}},
      {"global braced after a function",
       "void F() { g_x = 1; }\nstd::atomic<bool> g_on{false};",
       {"g_on"}},
      {"local of a function", "void F() {\n  int g_local = 0;\n}", {}},
      {"member of a class", "struct S {\n  int g_member;\n};", {}},
      {"declared elsewhere", "extern bool g_flag;", {}},
      {"thread_local at namespace scope", "thread_local int cursor = 0;", {"cursor"}},
      {"thread_local in a function", "void F() { static thread_local int t; }", {"t"}},
      {"comment and text", "// int g_comment = 0;\nconst char* k = \"g_text;\";", {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(module_state::ModuleStateNames(row.source), row.found) << row.name;
  }
}

TEST(ModuleStateScan, ProductStateIsListedInTheArchitectureTable) {
  const fs::path root = VELKORO_SOURCE_DIR;
  const std::set<std::string> listed =
      module_state::ListedNames(ReadText(root / "docs" / "architecture.md"), kTableTitle);
  ASSERT_FALSE(listed.empty()) << "no table under a heading holding \"" << kTableTitle << "\"";
  std::vector<std::string> unlisted;
  int scanned = 0;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path relative = fs::relative(it->path(), root);
    if (it->is_directory() && !IsProductPath(relative)) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string extension = it->path().extension().string();
    if (!it->is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
    ++scanned;
    for (const std::string& name : module_state::ModuleStateNames(ReadText(it->path()))) {
      if (listed.count(name) == 0) unlisted.push_back(relative.string() + ": " + name);
    }
  }
  ASSERT_GT(scanned, 50) << "the product's sources were not found under " << root;
  EXPECT_EQ(unlisted, std::vector<std::string>{});
}
