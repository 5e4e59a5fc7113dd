// zunatool list reads through a view: every person is listed, also one the
// keys leave out (no date, or a blank name), and filters on the order's own
// field (which end the view's scan early) select exactly what they say.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/zunatool_register_test.h"

namespace zuna::testing {
namespace {

class ZunatoolListViewTest : public ZunatoolRegisterTest {
 protected:
  void SetUp() override {
    MakeRegister(Zun(),
                 "Жуков Георгий;01/12/1980\n"
                 "Без даты;\n"
                 "ежов Николай;05/03/2009\n"
                 "Ёлкин Пётр;15/06/1975\n"
                 "Ежов Иван;05/03/2009\n"
                 "ЕЖОВ НИКОЛАЙ;31/12/1999\n");
  }
};

TEST_F(ZunatoolListViewTest, EveryPersonIsListedInTheKeysOrder) {
  EXPECT_EQ(Ok({"list", Zun()}),
            "Без даты|\n"
            "Ёлкин Пётр|15/06/1975\n"
            "Жуков Георгий|1/12/1980\n"
            "ЕЖОВ НИКОЛАЙ|31/12/1999\n"
            "ежов Николай|5/03/2009\n"
            "Ежов Иван|5/03/2009\n");
  // Russian order, case ignored, ties in the order they were added.
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name"}),
            "Без даты|\n"
            "Ежов Иван|5/03/2009\n"
            "ежов Николай|5/03/2009\n"
            "ЕЖОВ НИКОЛАЙ|31/12/1999\n"
            "Ёлкин Пётр|15/06/1975\n"
            "Жуков Георгий|1/12/1980\n");
}

TEST_F(ZunatoolListViewTest, FiltersOnTheOrdersFieldSelectExactly) {
  // 1 January 2000 is serial 72687.
  EXPECT_EQ(
      Ok({"list", Zun(), "--filter", "zun:data >= 1 and zun:data < 72687"}),
      "Ёлкин Пётр|15/06/1975\n"
      "Жуков Георгий|1/12/1980\n"
      "ЕЖОВ НИКОЛАЙ|31/12/1999\n");
  EXPECT_EQ(Ok({"list", Zun(), "--filter",
                "not (zun:data > 72686) and zun:fio <> ''"}),
            "Без даты|\n"
            "Ёлкин Пётр|15/06/1975\n"
            "Жуков Георгий|1/12/1980\n"
            "ЕЖОВ НИКОЛАЙ|31/12/1999\n");
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name", "--filter",
                "upper(zun:fio) < 'ЕЖОВ О'"}),
            "Без даты|\n"
            "Ежов Иван|5/03/2009\n"
            "ежов Николай|5/03/2009\n"
            "ЕЖОВ НИКОЛАЙ|31/12/1999\n");
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name", "--filter",
                "upper(zun:fio) = 'ЕЖОВ НИКОЛАЙ'"}),
            "ежов Николай|5/03/2009\n"
            "ЕЖОВ НИКОЛАЙ|31/12/1999\n");
}

}  // namespace
}  // namespace zuna::testing
