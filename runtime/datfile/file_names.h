// The names of a FILE's companion files.  The data file takes ".DAT" when its
// name has no extension; the memo file, the transaction log, the BUILD
// duplicate report, PACK's temporaries and the key files take the data file's
// full name with its extension replaced:
//
//   ZUN  -> ZUN.DAT   ZUN.MEM   ZUN.LOG   ZUN.BLD   ZUN.T00   ZUN.M00
//           ZUN.K01 (KEY 1)  ZUN.K0A (KEY 10)  ZUN.K10 (KEY 36)  ZUN.I01 (INDEX 1)
//
// An extension is what follows the last '.' of the last path component; a
// dot in a directory name does not count, and a name ending in '.' has an
// (empty) extension.  Letter case is kept as given; finding the real spelling
// on a case-sensitive file system is FileSystem::ResolveName's job.
//
// Pure functions; any thread.
#ifndef ZUNA_RUNTIME_DATFILE_FILE_NAMES_H_
#define ZUNA_RUNTIME_DATFILE_FILE_NAMES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/datfile/status.h"

namespace zuna::datfile {

inline constexpr std::string_view kDataExtension = ".DAT";
inline constexpr std::string_view kMemoExtension = ".MEM";
inline constexpr std::string_view kLogExtension = ".LOG";
inline constexpr std::string_view kBuildReportExtension = ".BLD";
inline constexpr std::string_view kPackDataExtension = ".T00";
inline constexpr std::string_view kPackMemoExtension = ".M00";

// Builds a full path from `name`: made absolute against the current
// directory, then `extension` (with its dot) added when the name has none, or
// put in place of the name's own when `replace`.  Fails with 45 ("Invalid
// Filename") for an empty name, a name with a NUL byte, a name ending in a
// directory separator, or when the current directory cannot be read.
Status BuildFileName(std::string_view name, std::string_view extension,
                     bool replace, std::string* full_path);

// The data file's name: ".DAT" added when `name` has no extension.
Status DataFileName(std::string_view name, std::string* full_path);

// `data_path` with its extension replaced by `extension` (".MEM" ...).
// REQUIRES: data_path came from DataFileName.
std::string CompanionFileName(std::string_view data_path,
                              std::string_view extension);

// ".K" (KEY) or ".I" (INDEX) and two base-36 digits of `key_number`: the
// digit of key_number / 36, then of key_number % 36 (0-9, then A-Z).
// Fails with 45 for a number outside 1..1295, which two digits cannot carry.
Status KeyFileExtension(uint32_t key_number, bool is_index,
                        std::string* extension);

// The key file of key `key_number` (1-based position in the FILE's keys).
Status KeyFileName(std::string_view data_path, uint32_t key_number,
                   bool is_index, std::string* full_path);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_FILE_NAMES_H_
