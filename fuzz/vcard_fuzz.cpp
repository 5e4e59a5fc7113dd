// Feeds arbitrary bytes to the vCard reader, as a contacts file from any
// program may hold anything.  Beyond what the sanitizers catch, it aborts
// when a file read without complaint gives a person the register could not
// hold (an empty or over-long name, no valid date), or when the people do
// not come back the same through the vCard writer and the reader again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/zun_dictionary.h"
#include "runtime/values/date_serial.h"
#include "tools/zunatool/vcard_people.h"

namespace {

using zuna::tool::Person;
using zuna::tool::ReadVcard;
using zuna::tool::VcardPeople;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  VcardPeople read;
  if (ReadVcard(text, &read)) return 0;  // refused as malformed: fine
  std::string written;
  for (const Person& person : read.people) {
    Check(!person.fio.empty() && person.fio.size() <= zuna::app::kZunFioSize);
    Check(zuna::values::IsValidDateSerial(person.date));
    written += zuna::tool::VcardEntry(zuna::app::MakeZunRecord(person.fio, person.date));
  }
  if (read.people.empty()) return 0;  // no card to write: nothing to read back
  VcardPeople again;
  Check(!ReadVcard(written, &again));
  Check(again.people.size() == read.people.size());
  for (size_t i = 0; i < read.people.size(); ++i) {
    Check(again.people[i].fio == read.people[i].fio);
    Check(again.people[i].date == read.people[i].date);
  }
  return 0;
}
