// The column format of a list box, as written in a window definition:
//
//   "154L|M~ФИО~@s30@80R(1)|M~День рождения~C(0)@D6@"
//
// Each column is its width in dialog units; an alignment letter (L left,
// R right, C centred, D decimal), optionally followed by an offset in
// parentheses; flags ('|' a line on the column's right, 'M' resizable by
// the user; other flag letters are kept but mean nothing to the engine);
// the header between '~' marks, optionally followed by its own alignment
// letter and offset; and the display picture between '@' marks.  Columns
// map to the fields of the list's rows in order.
//
// Plain values: safe to share between threads once made.
#ifndef ZUNA_RUNTIME_WINDOW_LIST_FORMAT_H_
#define ZUNA_RUNTIME_WINDOW_LIST_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::window {

struct ListColumn {
  int32_t width = 0;          // dialog units
  char align = 'L';           // 'L', 'R', 'C' or 'D'
  int32_t offset = 0;         // indent from the aligned edge
  bool right_border = false;  // '|'
  bool resizable = false;     // 'M'
  std::string flags;          // every other flag letter, as written
  std::string header;         // program's code page; "" when none
  char header_align = 0;      // 0 = not given: the list's default
  int32_t header_offset = 0;
  std::string picture;        // "@s30"; "" when none
};

// Reads a format text (program's code page).  A column without a leading
// width ends the reading: the columns read so far are returned, so a
// malformed tail never takes the good columns with it.
std::vector<ListColumn> ParseListFormat(std::string_view format);

// True when any column has a header: the list then shows a header line.
bool HasHeaders(const std::vector<ListColumn>& columns);

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_LIST_FORMAT_H_
