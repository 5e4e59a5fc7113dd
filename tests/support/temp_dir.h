// A fresh directory for one test, removed with everything in it when the
// TempDir is destroyed, so tests run in parallel without meeting each other.
//
//   TempDir dir;
//   std::string name = dir.File("ZUN.DAT");   // "<dir>/ZUN.DAT"
//
// Created under $TMPDIR (or /tmp) as "zuna-test-XXXXXX".  A directory that
// cannot be created fails the test at once (ADD_FAILURE and an empty path).
// Not thread-safe to share; each test makes its own.  With ZUNA_KEEP_FAILED
// set in the environment, the directory of a test that has failed is kept
// and named on stderr.
#ifndef ZUNA_TESTS_SUPPORT_TEMP_DIR_H_
#define ZUNA_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>

namespace zuna::testing {

class TempDir final {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The absolute directory name, without a trailing '/'.
  const std::string& path() const { return path_; }

  // `name` inside the directory (nothing is created).
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_TEMP_DIR_H_
