// The content lines of a vCard file (2.1, 3.0 and 4.0), as phones and mail
// programs write them: "[group.]NAME[;PARAM...]:VALUE", folded onto
// several physical lines.
//
// Unfolding: a physical line beginning with a blank or a tab continues the
// line before it (the line end and that one blank are dropped).  2.1 also
// breaks quoted-printable values with a soft line break, a '=' at the end of
// the line, after which the value goes on at the start of the next line;
// such a line is joined to the next one whatever that begins with.
//
// Values come out as UTF-8 (BASE64 ones, photos and keys, as they are):
// quoted-printable decoded first (ENCODING=
// QUOTED-PRINTABLE, or 2.1's bare QUOTED-PRINTABLE), then converted from
// their CHARSET (2.1; 3.0 and 4.0 are UTF-8 throughout).  A 2.1 value
// without CHARSET that is not valid UTF-8 is read as windows-1251, which is
// what Russian Windows programs wrote.  Escapes (\\ \, \; \n) are left in
// the value: where they apply depends on the property (UnescapeText,
// SplitComponents).
#ifndef ZUNA_TOOLS_ZUNATOOL_VCARD_LINES_H_
#define ZUNA_TOOLS_ZUNATOOL_VCARD_LINES_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::tool {

struct VcardParam {
  std::string name;   // upper case; empty for a 2.1 bare parameter
  std::string value;  // quotes removed; for a bare parameter, the word itself
};

struct VcardLine {
  int line_no = 0;    // the physical line (1-based) the content line starts on
  std::string name;   // upper case, group removed ("FN", "BDAY")
  std::vector<VcardParam> params;
  std::string value;  // UTF-8, escapes kept
  // Why `value` could not be made UTF-8 (a CHARSET this reader cannot
  // convert), value then holding the bytes as they came; empty when it
  // could.  Whether that matters depends on the property, so it is the
  // caller's to report.
  std::string undecodable;

  // The value of parameter `name` (upper case), upper-cased; for
  // "ENCODING" 2.1's bare QUOTED-PRINTABLE, BASE64, 8BIT and 7BIT count
  // too.  nullopt when absent.
  std::optional<std::string> Param(std::string_view name) const;
};

// Unfolds `text` (the whole file; a UTF-8 byte-order mark and CR line ends
// are accepted) into content lines, skipping blank ones.  On failure the
// reason with the physical line number ("строка 7: ..."), and *lines is
// incomplete: a line without ':' or without a name.  A card's VERSION line decides how its values without
// CHARSET are read, so it must come before them, as every writer puts it.
std::optional<std::string> ReadVcardLines(std::string_view text,
                                          std::vector<VcardLine>* lines);

// Text value escapes undone: "\n" and "\N" become a line feed, "\x" any
// other character x (so "\," ",", "\;" ";", "\\" "\").
std::string UnescapeText(std::string_view value);

// A structured value (N) cut at its unescaped ';', each part unescaped.
std::vector<std::string> SplitComponents(std::string_view value);

// The text escaped as a vCard 4.0 text value: '\', ',' and ';' get a
// backslash and a line feed becomes "\n".
std::string EscapeText(std::string_view text);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_VCARD_LINES_H_
