#include "app/counting_browse.h"

#include "framework/data/framework_host.h"
#include "runtime/datfile/statements.h"

namespace zuna::app {

void CountingBrowse::ResetFromView() {
  framework::WaitCursor wait;
  Count();
  BrowseClass::ResetFromView();
}

void CountingBrowse::ScrollEnd(int32_t Event) {
  BrowseClass::ScrollEnd(Event);
  if (!FileLoaded && View != nullptr && !View->has_filter()) Count();
}

void CountingBrowse::Count() {
  int32_t count = 0;
  if (FileLoaded && ListQueue != nullptr) {
    // The queue holds the whole set already: no second pass over the view.
    count = ListQueue->Records();
  } else if (View != nullptr && View->has_filter()) {
    if (View->Set(View->order_items()) == 0) {
      while (View->Next() == 0) ++count;
    }
  } else if (View != nullptr) {
    const framework::SortOrderRow* order = CurrentSortOrder();
    count = static_cast<int32_t>(order != nullptr && order->MainKey
                                     ? datfile::RECORDS(View->primary(), *order->MainKey)
                                     : datfile::RECORDS(View->primary()));
  }
  count_ = count;
}

}  // namespace zuna::app
