// A filter expression over the records of a FILE, as a filtered dynamic
// index (BUILDdynfilter) uses it: only the records it accepts get an entry.
//
// The expression names the FILE's fields by their labels ("ZUN:FIO") or
// external names, and may name the program's own bound variables too.  The
// fields are bound, in a scope of their own that is popped again as soon as
// the text is compiled, to a record image the filter owns; Accepts copies
// each record there before evaluating.  So the FILE's record buffer is never
// touched, and the program's bindings are as they were once Create returns.
//
// Field types: BYTE, SHORT, USHORT, LONG, ULONG, SREAL, REAL, STRING,
// CSTRING and PSTRING bind as themselves, a GROUP as a STRING over its bytes,
// an array with its own dimensions (a field inside a dimensioned GROUP as
// its first group element).  DECIMAL has no type in the expression language
// and is not bound: a filter naming one fails to compile with 1011.
//
// Threads: the calling thread's evaluator (evaluator.h), so a RecordFilter
// is created, used and destroyed on one thread.
#ifndef ZUNA_RUNTIME_DATFILE_RECORD_FILTER_H_
#define ZUNA_RUNTIME_DATFILE_RECORD_FILTER_H_

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/datfile/declaration.h"
#include "runtime/datfile/status.h"
#include "runtime/values/evaluator.h"

namespace zuna::datfile {

class RecordFilter {
 public:
  // Compiles `text` (program code page) over `decl`'s fields.  On failure
  // the evaluator's error number (1010 bad syntax, 1011 unknown name, 1013
  // no evaluator on this thread) with its message as the detail, and *out
  // stays empty; the thread's error state then holds that error too.
  static Status Create(const FileDecl& decl, std::string_view text,
                       std::unique_ptr<RecordFilter>* out);

  ~RecordFilter();
  RecordFilter(const RecordFilter&) = delete;
  RecordFilter& operator=(const RecordFilter&) = delete;

  // Whether the filter is true for `record` (program code page).  Errors
  // while evaluating are posted to the thread's error state as EVALUATE
  // posts them; the answer is then what the evaluator makes of the rest.
  // REQUIRES: record.size() == the declared record length.
  bool Accepts(std::span<const char> record);

 private:
  explicit RecordFilter(size_t record_length);

  // The image the fields are bound to; declared before the expression,
  // which refers to it, so it outlives it.
  std::vector<char> image_;
  std::unique_ptr<values::Expression> expression_;
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_RECORD_FILTER_H_
