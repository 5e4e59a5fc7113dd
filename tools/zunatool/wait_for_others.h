// A command's wait for other programs that have its register open, bounded
// by --wait: the command tries, and while another program stands in its
// way it asks Again(), which says once on stderr why the command waits and
// tells when the time is up.
//
//   WaitForOthers wait(label, "файл открыт другой программой; ...");
//   while (the file is busy) {
//     if (!wait.Again()) return RefuseFile(label, "...");
//   }
//
// The time counts from construction.  One thread.
#ifndef ZUNA_TOOLS_ZUNATOOL_WAIT_FOR_OTHERS_H_
#define ZUNA_TOOLS_ZUNATOOL_WAIT_FOR_OTHERS_H_

#include <chrono>
#include <string>

namespace zuna::tool {

class WaitForOthers {
 public:
  // `reason` is printed as "zunatool: LABEL: REASON" at the first Again().
  WaitForOthers(std::string label, std::string reason);

  // False once WaitLimit() has passed since construction; else, after a
  // short pause, true (try again).
  bool Again();

  // Whether Again() was called at all (the reason printed).
  bool waited() const { return said_; }

 private:
  std::string label_;
  std::string reason_;
  std::chrono::steady_clock::time_point give_up_;
  bool said_ = false;
};

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_WAIT_FOR_OTHERS_H_
