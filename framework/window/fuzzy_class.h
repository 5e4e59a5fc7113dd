// FuzzyClass: the browse framework's fuzzy text matcher, as far as the
// register needs it.  The program makes one (FuzzyMatcher), sets its two
// options at start and kills it at the end; nothing in the register matches
// text with it, so it keeps its options and does no more.
//
// Options: 1 case-insensitive matching (on = 1), 2 whole-word matching.
// Threads: set up and torn down on thread 1 only.
#ifndef ZUNA_FRAMEWORK_WINDOW_FUZZY_CLASS_H_
#define ZUNA_FRAMEWORK_WINDOW_FUZZY_CLASS_H_

#include <cstdint>

namespace zuna::framework {

class FuzzyClass {
 public:
  static constexpr int32_t kNoCase = 1;
  static constexpr int32_t kWordOnly = 2;

  void Init() { no_case_ = 0, word_only_ = 0; }
  void SetOption(int32_t option, int32_t value) {
    if (option == kNoCase) no_case_ = value;
    if (option == kWordOnly) word_only_ = value;
  }
  void Kill() {}

  int32_t no_case() const { return no_case_; }
  int32_t word_only() const { return word_only_; }

 private:
  int32_t no_case_ = 0;
  int32_t word_only_ = 0;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_FUZZY_CLASS_H_
