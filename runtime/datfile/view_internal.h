// The view engine's parts (view.h is the contract): the fields of the
// primary FILE as the expression language sees them, order items and their
// values, the access path's key match, the position format and the early
// end of a scan.  For runtime/datfile/view*.cpp and their tests only.
//
// Threads: everything here compiles or evaluates expressions, so it runs on
// the thread that owns the view (the evaluator is per thread).
#ifndef ZUNA_RUNTIME_DATFILE_VIEW_INTERNAL_H_
#define ZUNA_RUNTIME_DATFILE_VIEW_INTERNAL_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/declaration.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/expr_lexer.h"

namespace zuna::datfile::view_internal {

// --- The primary FILE's fields (view_fields.cpp) ----------------------------

// The named fields of `decl` as variables over `record` (the FILE's record
// buffer, which must outlive every expression compiled over them).  BYTE,
// SHORT, USHORT, LONG, ULONG, SREAL, REAL, STRING, CSTRING and PSTRING bind
// as themselves, a GROUP as a STRING over its bytes, arrays with their
// dimensions; DECIMAL has no type in the language and is left out.
struct RecordFields {
  std::vector<values::NamedField> fields;
  std::vector<int> field_index;  // FileDecl::fields index of each entry
  // Every name a field is bound under (labels and external names), upper
  // case, to tell a field from a program variable in a filter.
  std::vector<std::string> upper_names;
};
RecordFields BindableFields(const FileDecl& decl, std::span<char> record);

// Compiles `text` with the fields bound in a scope of their own, so they hide
// any program variable of the same name and are gone again afterwards (the
// tree keeps their addresses).  nullptr, with the evaluator's error posted,
// when it does not compile.
std::unique_ptr<values::Expression> CompileOverRecord(
    const RecordFields& fields, std::string_view text);

// `name` in upper case through the locale, as bound names compare.
std::string UpperName(std::string_view name);

// --- Tokens
// --------------------------------------------------------------------

// A token kept apart from the text it was cut from; names upper-cased, so
// two spellings of the same expression compare equal.
struct ItemToken {
  values::TokenType type = values::TokenType::kEnd;
  values::Op op = values::Op::kNone;
  std::string text;
  size_t pos = 0;  // offset in the text it was cut from
  size_t end = 0;  // one past its last character
  bool operator==(const ItemToken& other) const {
    return type == other.type && op == other.op && text == other.text;
  }
};

// The tokens of `text` up to its end; false at an error token, which is
// then the last one in *tokens.
bool Tokenize(std::string_view text, std::vector<ItemToken>* tokens);

// --- Order items and their values (view_order.cpp) --------------------------

// What an order item's value is compared as.  kLong also holds booleans.
enum class ValueKind : uint8_t { kLong, kReal, kString };

// One item's value for one record.
struct OrderValue {
  ValueKind kind = ValueKind::kLong;
  int32_t long_value = 0;
  double real_value = 0.0;
  std::string text;
};

// Negative, zero or positive; both of `kind`.  LONG as integers, REAL
// exactly (a NaN counts as 0, -0 equals 0), STRING through the locale's
// collation with trailing blanks insignificant (values::CompareStrings), as
// the language's comparisons weigh them.
int CompareValues(const OrderValue& a, const OrderValue& b);

enum class ItemForm : uint8_t {
  kExpression,  // anything else
  kField,       // a field's name
  kUpperField,  // UPPER( field )
  kLowerField,  // LOWER( field )
};

struct OrderItem {
  bool descending = false;
  std::string text;  // the expression, without its sign
  std::vector<ItemToken> tokens;
  std::unique_ptr<values::Expression> expression;
  ItemForm form = ItemForm::kExpression;
  int field = -1;  // FileDecl::fields index for the field forms
  // What the records are ordered by: the expression's value, except that
  // UPPER and LOWER of a number order by the number itself (case means
  // nothing to a number; the framework writes UPPER(ZUN:DATA) for a NOCASE
  // key on a LONG).  `value` is then the field alone.
  ValueKind kind = ValueKind::kLong;
  std::unique_ptr<values::Expression> value;

  OrderValue Evaluate() const;
};

// Parses an order text: comma-separated items, blanks and tabs around them
// ignored, each optionally led by '-' (descending) or '+'.  Stops at the
// first item that does not compile (or is empty), keeping the items before
// it; *error is then the evaluator's error number (posted), else 0.
std::vector<OrderItem> ParseOrder(std::string_view text, const FileDecl& decl,
                                  const RecordFields& fields, int32_t* error);

// --- Positions (view_order.cpp)
// ------------------------------------------------

// A place in the view's order: the values of the first `values.size()`
// items and, optionally, a record number.  Without a record number a place
// stands before every record with those leading values (reading forwards)
// or after them (reading backwards).
struct Place {
  std::vector<OrderValue> values;
  uint32_t record_no = 0;  // 0: none
};

// The position string of a place: 'V', the record number (u32 LE), the
// item count (u8), then per item a kind byte and its value (LONG i32 LE,
// REAL as IEEE bits u64 LE, STRING u32 LE length and the bytes).
std::string EncodePlace(const Place& place);
// False for a string EncodePlace did not make.
bool DecodePlace(std::string_view position, Place* place);

// --- Access path (view_access.cpp)
// ----------------------------------------------

// Whether reading key `key_index` of the declaration in key order (forwards,
// or backwards when every item is descending) gives the records in exactly
// the order the items ask for.  Its components must be the items one for
// one: the same field, plain for a number (BYTE, SHORT, USHORT, LONG,
// ULONG; UPPER/LOWER of one too), and for a STRING the item's text must
// weigh every character the file can hold as the key's encoding does (see
// view_access.cpp).  `record` is the FILE's record buffer, used for probes
// and restored.
bool KeyServesOrder(const FileDecl& decl, int key_index,
                    std::span<const OrderItem> items, std::span<char> record);

// Writes `value` into field `field` of `record`: numbers converted to the
// field's type, text cut or blank-padded.  Only the forms KeyServesOrder
// accepts reach it.
void StoreFieldValue(const FieldDecl& field, const OrderValue& value,
                     std::span<char> record);
// Writes the lowest (or highest) value the key can order field `field` by:
// numbers their type's limit, text the character the key weighs least (most).
void StoreFieldLimit(const FileDecl& decl, int key_index, int field,
                     bool highest, std::span<char> record);

// --- Early end (view_early_end.cpp)
// ------------------------------------------------

// The comparisons of a filter that can end a scan early: between the first
// order item and a value that does not depend on the FILE, reached through
// AND, OR, XOR and NOT only.  Built once per rebuild; evaluated on a record
// the filter refused.
class EarlyEnd {
 public:
  // nullptr when the filter offers nothing (or names something that could
  // change program variables between records: a bound procedure).
  static std::unique_ptr<EarlyEnd> Analyse(std::string_view filter_text,
                                           const OrderItem& first,
                                           const RecordFields& fields);
  ~EarlyEnd();

  // True when no record after the current one can pass: `first_value` is
  // the first item's value for the current record, `ascending` tells that
  // the scan meets that item's values in ascending order.
  bool Ends(const OrderValue& first_value, bool ascending) const;

 private:
  struct Atom;
  struct Node;
  class Builder;
  friend class Builder;
  EarlyEnd();

  enum class Truth : uint8_t { kFalseForEver, kTrueForEver, kUnknown };
  Truth Judge(size_t node, std::span<const Truth> atoms) const;

  std::vector<Atom> atoms_;
  std::vector<Node> nodes_;  // nodes_[0] is the root
};

// --- Judging on key entries (view_key_filter.cpp)
// ------------------------------------------------

// A filter that names no field of the FILE but integer components of the
// key the view reads (BYTE, SHORT, USHORT, LONG, ULONG, not dimensioned),
// which the key's entries give back exactly: it can be judged on an entry
// with those components written into the record buffer, and a record that
// fails need not be read at all.  Built once per rebuild.
class KeyFilter {
 public:
  // nullptr when the filter names another field, no field at all, or
  // calls something that is not a built-in (a bound procedure could read
  // the record buffer).
  static std::unique_ptr<KeyFilter> Analyse(std::string_view filter_text,
                                            const FileDecl& decl, int key_index);
  ~KeyFilter();

  // Writes the integer components of `entry` (record number, then key
  // value) into their fields of `record`; other bytes are left alone.
  void Decode(std::string_view entry, std::span<char> record) const;

  // Whether two entries with the same key value are judged alike, so a
  // judgement may be kept for the next entry: false when the filter calls
  // CLOCK, RANDOM, GETINI, MEMORY, PATH, LONGPATH, SHORTPATH or SQL.
  // Program variables may change only between reads, so a judgement lives
  // for one read at most.
  bool reusable() const { return reusable_; }
  // TODAY, AGE or DEFORMAT: a kept judgement also needs the same day (the
  // view reads the day once per page of entries).
  bool daily() const { return daily_; }

 private:
  struct Part;
  KeyFilter();

  std::vector<Part> parts_;
  bool reusable_ = true;
  bool daily_ = false;
};

}  // namespace zuna::datfile::view_internal

#endif  // ZUNA_RUNTIME_DATFILE_VIEW_INTERNAL_H_
