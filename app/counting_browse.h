// CountingBrowse: a register list that shows how many people it lists.
// After every fill it counts the records of its view into `*count` (a
// 32-bit count: a register may hold far more than a SHORT's 32767).  A
// file-loaded list counts its queue, which holds the whole set; with a
// filter a page list reads the view through once; without one the key's own count
// is the same number, known without reading, so a page list also counts
// again whenever Home or End rebuilds its page from the file (another
// station's additions show there).
#ifndef ZUNA_APP_COUNTING_BROWSE_H_
#define ZUNA_APP_COUNTING_BROWSE_H_

#include <cstdint>

#include "framework/window/browse_class.h"

namespace zuna::app {

class CountingBrowse : public framework::BrowseClass {
 public:
  explicit CountingBrowse(int32_t& count) : count_(count) {}
  void ResetFromView() override;
  void ScrollEnd(int32_t Event) override;

 private:
  void Count();

  int32_t& count_;
};

}  // namespace zuna::app

#endif  // ZUNA_APP_COUNTING_BROWSE_H_
