// Step objects: the map between a list's thumb (its vertical scroll bar,
// 1-100) and values of the field the list is sorted on.  A browse asks
// GetPercentile of the highlighted record's value to place the thumb, and
// GetValue of a dragged thumb position to know where to restart the list.
//
//   StepStringClass thumb;
//   thumb.Init(StepFlag::Letters | StepFlag::Digits, StepMode::Runtime);
//   thumb.SetLimit(low_name, high_name);    // after every reset of the view
//   uint16_t pct = thumb.GetPercentile(name);
//   std::string start = thumb.GetValue(50);
//
// StepStringClass works on text with one of three tables of 100 entries,
// entry k the lowest value at percentile k: a fixed table of name prefixes
// (mode 1), a fixed table of two-letter prefixes (mode 2), or one computed
// from the lowest and highest value of the list (mode 3).  In mode 3 the
// text is read as a 4-digit number whose digits are the valid characters
// (Hash), so the table splits the numbers between the two limits evenly.
// StepLongClass and StepRealClass place numbers linearly between their
// limits.
//
// Values outside the limits (records another station added since the
// limits were read, or a value that differs from the common root only in
// case) are placed at 1 or 100: the thumb stays usable and nothing is
// asked of the user.
//
// Text is Windows-1251; upper-casing uses the locale's case table.
// Threads: a step object belongs to its browse's thread.
#ifndef ZUNA_FRAMEWORK_WINDOW_STEPS_H_
#define ZUNA_FRAMEWORK_WINDOW_STEPS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/values/variable.h"

namespace zuna::framework {

// Bits of StepClass::Controls.
namespace StepFlag {
inline constexpr uint8_t Letters = 1;      // upper-case letters are valid
inline constexpr uint8_t Punctuation = 2;  // the punctuation set is valid
inline constexpr uint8_t Digits = 4;       // 0-9 are valid
inline constexpr uint8_t Lower = 8;        // lower case valid too; no upper-casing
inline constexpr uint8_t Descending = 16;  // the order is descending: mirrored
}  // namespace StepFlag

namespace StepMode {
inline constexpr uint8_t Names = 1;       // fixed table of name prefixes
inline constexpr uint8_t TwoLetters = 2;  // fixed table of two-letter prefixes
inline constexpr uint8_t Runtime = 3;     // from the list's first and last values
}  // namespace StepMode

class StepClass {
 public:
  virtual ~StepClass() = default;

  uint8_t Controls = 0;

  void Init(uint8_t controls) { Controls = controls; }
  // The thumb position (1-100) of `value`.
  virtual uint16_t GetPercentile(const values::VariableRef& value) = 0;
  // The value a thumb position stands for, as text.
  virtual std::string GetValue(uint8_t percent) = 0;
  virtual void Kill() {}
  // Takes the lowest and highest value of the list.
  virtual void SetLimit(const values::VariableRef& low,
                        const values::VariableRef& high) = 0;
  // True when the browse must read the list's first and last records after
  // every reset of its view and give them to SetLimit.
  virtual uint8_t SetLimitNeeded() = 0;

 protected:
  bool descending() const { return (Controls & StepFlag::Descending) != 0; }
};

class StepStringClass : public StepClass {
 public:
  uint8_t LookupMode = 0;
  std::string Root;       // prefix common to both limits (mode 3)
  std::string SortChars;  // the valid characters, ascending
  uint8_t TestLen = 0;    // width of a table entry

  void Init(uint8_t controls, uint8_t mode);
  uint16_t GetPercentile(const values::VariableRef& value) override;
  uint16_t GetPercentile(std::string_view value);
  std::string GetValue(uint8_t percent) override;
  void Kill() override;
  void SetLimit(const values::VariableRef& low,
                const values::VariableRef& high) override;
  void SetLimit(std::string_view low, std::string_view high);
  uint8_t SetLimitNeeded() override { return LookupMode == StepMode::Runtime; }

  // Four characters as a number in base SortChars.size(); a character
  // that is not valid counts as the lowest.
  int64_t Hash(std::string_view text) const;
  std::string Unhash(int64_t h) const;
  // Table entry k (0-99).
  std::string Entry(int k) const;

 private:
  std::string Fold(std::string_view text) const;

  std::string table_;  // mode 3: 100 entries of TestLen characters
  bool told_outside_root_ = false;
};

// Numbers placed linearly between the limits.
class StepRealClass : public StepClass {
 public:
  double Low = 0;
  double High = 100;

  uint16_t GetPercentile(const values::VariableRef& value) override;
  uint16_t GetPercentile(double value);
  std::string GetValue(uint8_t percent) override;
  void SetLimit(const values::VariableRef& low,
                const values::VariableRef& high) override;
  uint8_t SetLimitNeeded() override { return 1; }
};

// As StepRealClass, with whole values.
class StepLongClass : public StepRealClass {
 public:
  std::string GetValue(uint8_t percent) override;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_STEPS_H_
