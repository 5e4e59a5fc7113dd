#include "tools/zunatool/person_text.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/values/date_serial.h"
#include "runtime/values/format.h"
#include "runtime/values/picture.h"

namespace zuna::tool {
namespace {

// The texts list and export print for a date are the pictures' own: @D6
// without its leading blank, @D06 as it is.  Every date there is, from
// 1 January 1801 to 31 December 9999, and the serials either side of them
// (no date: an empty text).
TEST(PersonTextTest, DateTextsAreThePicturesForEveryDate) {
  const values::Picture list_picture = values::CompilePicture("@D6");
  const values::Picture csv_picture = values::CompilePicture("@D06");
  for (int32_t serial = values::kFirstDateSerial - 5;
       serial <= values::kLastDateSerial + 5; ++serial) {
    std::string list;
    std::string csv;
    if (values::IsValidDateSerial(serial)) {
      list = values::FormatDate(serial, list_picture);
      list.erase(0, list.find_first_not_of(' '));
      csv = values::FormatDate(serial, csv_picture);
    }
    ASSERT_EQ(ListDate(serial), list) << serial;
    ASSERT_EQ(CsvDate(serial), csv) << serial;
  }
}

}  // namespace
}  // namespace zuna::tool
