// A read-only reader of private profile strings: the "[section]" and
// "key=value" lines of an INI file such as Zuna.INI.  GETINI uses it; the
// settings-file layer builds on it.
//
// Format as read here:
//   - Lines end at LF; a CR before the LF (or at the end) is ignored.
//   - A line whose first non-blank character is ';' is a comment.
//   - "[name]" starts a section; the name is the text between the brackets,
//     blanks around it removed.  A line before any section belongs to none
//     and is never found.
//   - "key=value": the key is the text before the first '=', the value the
//     text after it, both with blanks and tabs around them removed.  Lines
//     without '=' are ignored.
//   - Sections and keys match case-insensitively (locale case table); the
//     first matching entry in the file wins, even when its section appears
//     again later.
//
// Pure functions apart from reading the named file; safe on any thread.
#ifndef ZUNA_RUNTIME_VALUES_PROFILE_READER_H_
#define ZUNA_RUNTIME_VALUES_PROFILE_READER_H_

#include <optional>
#include <string>
#include <string_view>

namespace zuna::values {

// The longest value returned; longer values are cut.
inline constexpr size_t kMaxProfileValue = 1024;
// Files beyond this size are read only this far.
inline constexpr size_t kMaxProfileFileSize = 1 << 20;

// The value of `key` in `section` of the profile text, or nullopt.
std::optional<std::string> FindProfileString(std::string_view file_text,
                                             std::string_view section,
                                             std::string_view key);

// As FindProfileString on the contents of the file at `path`; nullopt when
// the file does not exist, is not a regular file or cannot be read.
std::optional<std::string> ReadProfileString(const std::string& path,
                                             std::string_view section,
                                             std::string_view key);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_PROFILE_READER_H_
