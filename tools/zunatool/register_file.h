// How the register's commands open ZUN, read it a page at a time, and end:
// the pieces every command over the register shares.
//
// Sharing.  The register is shared as the program shares it: writers open
// it read/write denying nobody (SHARE, 42h), readers read-only denying
// nobody (40h), so each works while Zuna or another zunatool has the file
// open.  Every operation waits out another station's transaction (up to
// --wait, then 56).
#ifndef ZUNA_TOOLS_ZUNATOOL_REGISTER_FILE_H_
#define ZUNA_TOOLS_ZUNATOOL_REGISTER_FILE_H_

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <type_traits>

#include "app/zun_dictionary.h"
#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/view.h"

namespace zuna::tool {

// Statements return the error number and post it; the post is what
// ReportFileError prints.
constexpr int32_t kNoError = 0;
constexpr int32_t kEndOfSequence = 33;

// Readers ask for nothing more than reading, so they work on a register
// they may only read (a backup, a read-only share) too; a dead
// transaction is still undone, through a description of the recovery's own.
constexpr uint32_t kReadShared = datfile::kAccessReadOnly | datfile::kShareDenyNone;
constexpr uint32_t kWriteShared = datfile::kShareDefaultMode;  // 42h

// A FILE under the dictionary's declaration of ZUN, named `name` ("ZUN" or
// "ZUN.DAT") as the driver takes it, not yet open.
std::unique_ptr<datfile::DatFileInstance> NewZun(const std::string& name);

// "zunatool: MESSAGE" on stderr, for a refused argument; returns 1.
int Refuse(const std::string& message);

// The runtime error of the last statement on `file`, reported against it;
// returns 1.
int ReportFor(const datfile::DatFileInstance& file);

// Runs CLOSE and reports the first error, `error` if it is one: the
// statement that failed first is the one to report.  Returns the exit code.
int CloseAndReport(datfile::DatFileInstance& file, int32_t error);

// Readers take the register a page at a time: one hold of it (a
// datfile::OperationGroup: one header refresh, and on the shared register
// one hold of its lock byte) serves a page of records, where one per
// record would cost several system calls each.  Other stations wait for a
// page meanwhile, so pages stay short, and a page's text is written only
// once the hold has ended: a slow reader of our output (a pager, a pipe)
// never keeps other stations waiting.  (A view whose filter passes few of
// the records it examines lets other stations in every few hundred of
// them, page or no page: datfile::YieldGroup.)
constexpr int kRecordsPerPage = 512;
// A reader in file order that reads to the end (export) goes through a
// page in about a millisecond: pages eight times longer spare it most of
// a page's own cost (the lock calls, the headers read again, a run of slots
// read ahead past the page's end) while other stations wait no longer than
// for a page of a view.
constexpr int kRecordsPerFilePage = 4096;

// Reads up to a page of `records_per_page` records with `next` (NEXT, or a
// view's Next) under one hold of `file`, appending each record's text
// (UTF-8) to *text: `text_of(record)`, or what `text_of(record, text)`
// appends itself; *count counts them.  Returns the error that ended the page early,
// kNoError when the page is full.
template <typename Next, typename TextOf>
int32_t ReadPage(datfile::DatFileInstance& file, Next next, TextOf text_of,
                 std::string* text, size_t* count,
                 int records_per_page = kRecordsPerPage) {
  datfile::OperationGroup page(file);
  for (int i = 0; i < records_per_page; ++i) {
    const int32_t error = next();
    if (error != kNoError) return error;
    const app::ZUN_Record record = app::ReadZunRecord(file.record());
    if constexpr (std::is_invocable_v<TextOf, const app::ZUN_Record&, std::string*>) {
      text_of(record, text);
    } else {
      *text += text_of(record);
    }
    ++*count;
  }
  return kNoError;
}

// Pages of ReadPage until an error (33 at the end), each written to stdout
// after its hold.  Returns that error.
template <typename Next, typename TextOf>
int32_t PrintPages(datfile::DatFileInstance& file, Next next, TextOf text_of,
                   size_t* count, int records_per_page = kRecordsPerPage) {
  std::string text;
  int32_t error = kNoError;
  while (error == kNoError) {
    text.clear();
    error = ReadPage(file, next, text_of, &text, count, records_per_page);
    std::cout << text;
  }
  return error;
}

// Opens `file` shared read-only, prints `text_of(record)` for each record
// `view` passes, in its order, and closes both; *count counts the records.
// Returns the exit code, having reported any failure.
template <typename TextOf>
int PrintView(datfile::DatFileInstance& file, datfile::View& view,
              TextOf text_of, size_t* count) {
  if (datfile::OPEN(file, kReadShared) != kNoError) return ReportFor(file);
  int32_t error = view.Open();
  if (error == kNoError) error = view.Set();
  if (error == kNoError) {
    error = PrintPages(file, [&view] { return view.Next(); }, text_of, count);
  }
  if (error == kEndOfSequence) error = view.Close();
  if (error != kNoError) {
    const int result = ReportFor(file);
    (void)view.Close();
    (void)datfile::CLOSE(file);
    return result;
  }
  return CloseAndReport(file, kNoError);
}

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_REGISTER_FILE_H_
