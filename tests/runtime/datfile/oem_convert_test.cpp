#include "runtime/datfile/oem_convert.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/datfile/coding.h"
#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/dat_test_util.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

using datfile::OemTextMap;

std::string SpansOf(const OemTextMap& map) {
  std::string out;
  for (const OemTextMap::Span& s : map.spans()) {
    out += "[" + std::to_string(s.offset) + "," + std::to_string(s.offset + s.length) + ")";
  }
  return out;
}

TEST(OemConvertTest, OnlyTextSpansAreConverted) {
  EXPECT_EQ(SpansOf(OemTextMap(ZunDeclaration())), "[0,30)");
  // Codes [0,12); Tags in both repetitions of Period [20,24) and [32,36),
  // merging with Title and Note [36,56).
  EXPECT_EQ(SpansOf(OemTextMap(ArrayDeclaration())), "[0,12)[20,24)[32,56)");
  EXPECT_EQ(SpansOf(OemTextMap(NumericDeclaration())), "[25,32)");
}

TEST(OemConvertTest, PStringKeepsItsLengthByte) {
  datfile::FileDecl decl;
  decl.record_length = 10;
  datfile::FieldDecl names;
  names.label = "P:Names";
  names.type = datfile::FieldType::kPString;
  names.offset = 0;
  names.size = 10;
  names.dimensions = {2};
  decl.fields = {names};
  EXPECT_EQ(SpansOf(OemTextMap(decl)), "[1,5)[6,10)");
}

// A LONG holding bytes 0x80-0xFF must come through the round trip unchanged,
// and the name must be 866 on disk.
TEST(OemConvertTest, RoundTripLeavesLongBytesAlone) {
  const OemTextMap map(ZunDeclaration());
  const std::string fio = values::W("Ёлкин Эдуард");
  std::string record = ZunRecord(fio, 0, 0);
  datfile::EncodeFixed32(record.data() + 30, 0xfedcba98u);
  datfile::EncodeFixed32(record.data() + 34, 0x8091a2b3u);
  const std::string original = record;

  map.ToOem(record);
  // Ё = f0, л = ab, к = aa, и = a8, н = ad; Э = 9d, д = a4, у = e3, а = a0, р = e0.
  EXPECT_EQ(ToHex(record.substr(0, 12)), "f0 ab aa a8 ad 20 9d a4 e3 a0 e0 a4");
  EXPECT_EQ(ToHex(record.substr(30)), "98 ba dc fe b3 a2 91 80");
  map.ToProgram(record);
  EXPECT_EQ(record, original);
}

TEST(OemConvertTest, DataFileConvertsOnlyForOemFiles) {
  class Fixture : public DatFileTest {
   public:
    void TestBody() override {}
    using DatFileTest::Create;
    using DatFileTest::DatBytes;
    using DatFileTest::OpenData;
    using DatFileTest::data_;
  };
  for (bool oem : {true, false}) {
    SCOPED_TRACE(oem);
    Fixture f;
    datfile::FileDecl decl = ZunDeclaration();
    decl.oem = oem;
    ASSERT_OK(f.Create(decl));
    ASSERT_OK(f.OpenData());
    const std::string record = ZunRecord(values::W("Я"), static_cast<int32_t>(0x9f9f9f9f));
    datfile::AddPlan plan;
    ASSERT_OK(f.data_->PlanAdd(&plan));
    ASSERT_OK(f.data_->CommitAdd(plan, 0, record));
    EXPECT_EQ(ToHex(f.DatBytes(216 + 5, 1)), oem ? "9f" : "df");  // Я
    EXPECT_EQ(ToHex(f.DatBytes(216 + 5 + 30, 4)), "9f 9f 9f 9f");
    std::string back(kZunRecordLength, '\0');
    datfile::SlotPrefix prefix;
    ASSERT_OK(f.data_->ReadRecord(1, &prefix, back));
    EXPECT_EQ(back, record);
  }
}

}  // namespace
}  // namespace zuna::testing
