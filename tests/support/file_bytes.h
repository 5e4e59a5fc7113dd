// A whole file's bytes, read or written in one call, for tests that set up
// a file and then look at what the code under test left in it.
//
//   WriteFileBytes(dir.File("Zuna.INI"), "[V21]\nVANTMP=/tmp\n");
//   EXPECT_EQ(ReadFileBytes(dir.File("Zuna.INI")), "...");
//
// Binary: no line-end conversion.  Any thread.
#ifndef ZUNA_TESTS_SUPPORT_FILE_BYTES_H_
#define ZUNA_TESTS_SUPPORT_FILE_BYTES_H_

#include <map>
#include <string>
#include <string_view>

namespace zuna::testing {

// The file's bytes; "" when it does not exist or cannot be read.
std::string ReadFileBytes(const std::string& path);

// Every file of `directory` by name, with its bytes.
std::map<std::string, std::string> ReadDirectoryBytes(const std::string& directory);

// Replaces the file (creating it) with `bytes`; false when it cannot.
bool WriteFileBytes(const std::string& path, std::string_view bytes);

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_FILE_BYTES_H_
