#include "app/zunabc.h"

#include <optional>

#include "app/globals.h"
#include "app/zunabc0.h"
#include "framework/data/framework_host.h"
#include "runtime/datfile/statements.h"

namespace zuna::app {
namespace {

std::optional<Dictionary>& ThreadDictionary() {
  thread_local std::optional<Dictionary> dictionary;
  return dictionary;
}

}  // namespace

namespace ZUNABC {

void DctInit() {
  ZUNABC0::DctInit();
  ZUNABC0::FilesInit();
}

void DctKill() { ZUNABC0::DctKill(); }

}  // namespace ZUNABC

Dictionary::Dictionary() {
  if (framework::Host().ThreadNumber() != 1) ZUNABC::DctInit();
}

Dictionary::~Dictionary() { ZUNABC::DctKill(); }

void StartThreadDictionary() {
  if (!ThreadDictionary()) ThreadDictionary().emplace();
}

void EndThreadDictionary() {
  ThreadDictionary().reset();
  GlobalErrorStatus.ReleaseThisThread();
  if (ZUN().is_open()) datfile::CLOSE(ZUN());
}

}  // namespace zuna::app
