// Field pair lists: an ordered list of (Left, Right) references to program
// variables of any of the runtime's types, copied, cleared and compared pair
// by pair.  The browse keeps its (view field, queue field) pairs and its
// reset fields in one; BufferedPairsClass adds a private third copy per pair
// (Buffer) and is what the relation manager keeps the linking fields of two
// files in, so it can tell whether they changed since Save.
//
// Values: copying and comparing follow the runtime's ordinary assignment and
// comparison (runtime/values/variable.h):
//   - assignment converts as the runtime does (numbers truncated and
//     saturated, text cut or padded to the target);
//   - two values compare numerically when either is of a numeric type, as
//     text otherwise (trailing blanks never matter; the locale's collation
//     decides, so only identical texts are equal);
//   - an array is copied, cleared and compared element by element, over as
//     many elements as both sides have.
// The buffered comparisons without case sensitivity compare both values as
// text upper-cased through the locale's case table (CompareStringsNoCase):
// "ivanov" and "IVANOV" are equal, and so are two Cyrillic spellings exactly
// where the case table pairs their letters.
//
// Ownership: the list holds references only; whoever adds a pair keeps both
// variables alive until Kill (or destruction).  Each Buffer is owned by its
// row.  Rows keep the order of AddPair; every operation walks them from the
// first to the last.
//
// Life cycle: constructed (no list) -> Init (empty list) -> AddPair ... ->
// Kill (no list; Init may run again).  Kill is safe before Init and twice;
// the destructor kills.
//
// Threads: an object belongs to the thread that uses it; it takes no lock.
// The variables must not be written by other threads while an operation
// runs.
#ifndef ZUNA_FRAMEWORK_DATA_FIELD_PAIRS_H_
#define ZUNA_FRAMEWORK_DATA_FIELD_PAIRS_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/values/variable.h"

namespace zuna::framework {

// One row of the list.  Buffer is set (with its own storage) only in the
// rows of a BufferedPairsClass.
struct FieldPairRow {
  values::VariableRef Left;
  values::VariableRef Right;
  values::VariableRef Buffer;
  std::unique_ptr<char[]> buffer_storage;  // what Buffer refers to
};

using FieldPairQueue = std::vector<FieldPairRow>;

// Copies `from` into `to` with the runtime's assignment, element by element
// for arrays (over as many elements as both have).
void AssignValue(const values::VariableRef& to,
                 const values::VariableRef& from);
// Blank (text) or zero (numbers), every element.
void ClearValue(const values::VariableRef& ref);
// The runtime's comparison: numeric when either side is numeric, as text
// otherwise; true when every compared element is equal.
bool ValuesEqual(const values::VariableRef& a, const values::VariableRef& b);
// Both sides as text, compared through the locale's case table.
bool ValuesEqualNoCase(const values::VariableRef& a,
                       const values::VariableRef& b);

class FieldPairsClass {
 public:
  FieldPairsClass() = default;
  virtual ~FieldPairsClass();
  FieldPairsClass(const FieldPairsClass&) = delete;
  FieldPairsClass& operator=(const FieldPairsClass&) = delete;

  // Kill, then a new empty list: a second Init starts empty.
  virtual void Init();
  // Drops every row (and its Buffer) and the list; List is null after.
  virtual void Kill();

  // Appends (left, right).  REQUIRES: Init ran.  Before Init it is the
  // internal assertion "FieldPairs queue not initialized" followed by the
  // fatal stop: the list would silently lose its pairs.  When a test host
  // lets the stop return, nothing is added.
  virtual void AddPair(const values::VariableRef& left,
                       const values::VariableRef& right);

  void AssignLeftToRight();  // every Right = its Left
  void AssignRightToLeft();  // every Left = its Right
  void ClearLeft();
  void ClearRight();

  // 1 when every row's Left equals its Right (1 for an empty list or no
  // list), 0 at the first row that differs.
  uint8_t EqualLeftRight();
  uint8_t Equal() { return EqualLeftRight(); }

  // The rows; null before Init and after Kill.
  std::unique_ptr<FieldPairQueue> List;

 protected:
  // True when the list exists; otherwise the assertion and the fatal stop.
  bool RequireList();
};

class BufferedPairsClass : public FieldPairsClass {
 public:
  // As FieldPairsClass; each row also gets a Buffer of Left's type and
  // size (all its elements), empty (blank or zero).
  void AddPair(const values::VariableRef& left,
               const values::VariableRef& right) override;

  void AssignLeftToBuffer();   // every Buffer = its Left
  void AssignRightToBuffer();  // every Buffer = its Right
  void AssignBufferToLeft();   // every Left = its Buffer
  void AssignBufferToRight();  // every Right = its Buffer

  // 1 when every row's Left (Right) equals its Buffer.  With case_sensitive
  // 0 both are compared as upper-cased text, with 1 as values.  The forms
  // without an argument are case-insensitive.
  uint8_t EqualLeftBuffer(uint8_t case_sensitive = 0);
  uint8_t EqualRightBuffer(uint8_t case_sensitive = 0);
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_FIELD_PAIRS_H_
