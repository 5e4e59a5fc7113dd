// Private profile strings: reading and writing the "[section]" and
// "name=value" lines of a profile (INI) file such as Zuna.INI.
//
// Reading follows runtime/values/profile_reader.h (the reader GETINI uses),
// so both see the same entries: ';' comments, sections and names compared
// ignoring case, the first matching entry of the file winning, values trimmed
// of blanks and cut to 1024 characters, CR LF and LF lines alike.
//
// Writing changes only the lines it must and keeps every other byte of the
// file -- other programs' sections, entries, comments, blank lines and line
// ends -- as it was:
//   1. setting an entry that exists rewrites the value part of the entry a
//      read finds (the text up to the '=' and the blanks after it stay);
//   2. a new entry goes after the last entry of the first section with that
//      name, or right after its header when it has none;
//   3. a new section goes at the end of the file, after a line end if the
//      last line had none;
//   4. removing an entry removes every line of that name in every section
//      of that name, so no later duplicate shows through;
//   5. new lines end as the file's first line does (CR LF or LF; LF for a
//      new file); CR and LF inside a value become blanks.
// Names that are empty or hold '=', and sections that are empty or hold
// ']', are refused, as are line breaks in either.
//
// Safety against crashes and other writers: the new text goes to a
// temporary file in the same directory, is synced and renamed over the old
// name, and the directory is synced; a crash leaves the old file or the new
// one, never a mix.  Writers (threads or processes) take an exclusive
// open-file-description lock on the current file first and check, once
// they hold it, that the name still leads to the file they locked (another
// writer may just have renamed a new one into place), so no update is lost.
// Readers take no lock: they always see a whole file.
//
// Texts are Windows-1251 bytes.  Every function may be called from any
// thread.
#ifndef ZUNA_FRAMEWORK_WINDOW_PROFILE_FILE_H_
#define ZUNA_FRAMEWORK_WINDOW_PROFILE_FILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::framework {

// The directory of the running program (realpath of /proc/self/exe), where
// the program's own files such as Zuna.INI and Zuna.ENV live; empty when it
// cannot be found.
std::string ProgramDirectory();

// The file a profile name stands for.  A name with a directory part is used
// as given.  A bare name ("Zuna.INI") is looked for in the user's settings
// directory (values::SettingsDirectory(): $XDG_CONFIG_HOME/Zuna, else
// ~/.config/Zuna): the exact name when it exists, else the one name of
// that directory that matches it ignoring ASCII case, else the exact name
// (to be created, with the directory).
std::string ResolveProfilePath(std::string_view file_name);

// The text of a profile file (regular files only, at most
// values::kMaxProfileFileSize bytes); nullopt when there is none to read.
std::optional<std::string> ReadProfileText(const std::string& path);

// One change: set `name` in `section` to `value`, or remove it (nullopt).
struct ProfileEdit {
  std::string section;
  std::string name;
  std::optional<std::string> value;
};

// `text` with the edits applied in order (rules 1-5); nullopt when one of
// them is refused (nothing applied then).
std::optional<std::string> EditProfileText(std::string_view text,
                                           const std::vector<ProfileEdit>& edits);

// Applies the edits to the file at `path` in one atomic replacement,
// creating the file when an edit sets a value.  True when the file now
// holds them (or, for removals only, when there was no file).  False when
// an edit is refused or the file cannot be read, locked or replaced; the
// file is then unchanged.
bool WriteProfileEdits(const std::string& path,
                       const std::vector<ProfileEdit>& edits);

// The platform's profile-string calls over WriteProfileEdits and
// values::FindProfileString.
std::optional<std::string> GetProfileString(const std::string& path,
                                            std::string_view section,
                                            std::string_view name);
bool WriteProfileString(const std::string& path, std::string_view section,
                        std::string_view name, std::string_view value);
bool DeleteProfileString(const std::string& path, std::string_view section,
                         std::string_view name);

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_PROFILE_FILE_H_
