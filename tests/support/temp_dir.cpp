#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

namespace zuna::testing {

TempDir::TempDir() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = (tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp";
  std::string name = base + "/zuna-test-XXXXXX";
  std::vector<char> templ(name.begin(), name.end());
  templ.push_back('\0');
  if (::mkdtemp(templ.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary directory under " << base;
    return;
  }
  std::error_code error;
  path_ = std::filesystem::absolute(templ.data(), error).string();
  if (error) path_ = templ.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  // A soak that fails once in hundreds of runs is worth its files: with
  // ZUNA_KEEP_FAILED set, a failed test's directory stays for a post-mortem.
  const char* keep = std::getenv("ZUNA_KEEP_FAILED");
  if (keep != nullptr && *keep != '\0' && ::testing::Test::HasFailure()) {
    std::cerr << "kept for inspection: " << path_ << "\n";
    return;
  }
  // A test may leave read-only files or directories behind; remove_all
  // unlinks entries regardless of their mode, which is enough here.
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

}  // namespace zuna::testing
