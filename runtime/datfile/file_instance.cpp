#include "runtime/datfile/file_instance.h"

#include <utility>

#include "runtime/datfile/driver.h"
#include "runtime/datfile/driver_internal.h"

namespace zuna::datfile {

DatFileInstance::DatFileInstance(FileDecl decl, FileSystem& fs)
    : decl_(std::move(decl)),
      fs_(fs),
      logged_fs_(fs, state_.log),
      name_(decl_.name.empty() ? decl_.label : decl_.name),
      // A zeroed record is blank to every key (numbers 0, texts empty).
      record_(decl_.record_length, '\0') {
  if (decl_.memo) {
    // A text memo is blank when all spaces: zeros would count as text and
    // be written out by the first ADD.
    memo_.assign(decl_.memo->size, decl_.memo->binary ? '\0' : ' ');
  }
}

DatFileInstance::~DatFileInstance() {
  if (is_open()) {
    // Nobody is left to hear about a failure here; CLOSE reports it when
    // the program closes the FILE itself.
    driver::CloseDestroyed(*this);
  }
}

}  // namespace zuna::datfile
