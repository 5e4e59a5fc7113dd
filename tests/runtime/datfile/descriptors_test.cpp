#include "runtime/datfile/descriptors.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/status_matchers.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

TEST(DatDescriptorTest, NameRule) {
  struct Case {
    const char* label;
    const char* stored;
  };
  const Case cases[] = {
      {"ZUN:FIO", "ZUN:FIO         "},
      {"ZUN:DATA1", "ZUN:DATA1       "},
      {"Customer:Name", "Cus:Name        "},               // prefix of 4+: 3 kept
      {"Customer:AVeryLongFieldName", "Cus:AVeryLongFie"},  // name cut to 12
      {"ABC:ThirteenChars", "ABC:ThirteenChar"},            // cut to 16
      {"AB:ThirteenChars", "AB:ThirteenChar "},             // prefix + 13
      {"A:FourteenChars!", "A:FourteenChar  "},             // prefix + 13
      {"A:Short", "A:Short         "},
      {"NoColonLabelLonger", "NoColonLabel    "},  // no colon: 12
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(datfile::StoredFieldName(c.label), c.stored);
  }
  EXPECT_EQ(datfile::StoredKeyName("Customer:ByNameAndCity"), "Customer:ByNameA");
  EXPECT_EQ(datfile::StoredKeyName("ZUN:key2"), "ZUN:key2        ");
}

TEST(DatDescriptorTest, LabelPrefixNeedsTheColonWithinFourCharacters) {
  EXPECT_EQ(datfile::LabelPrefix("ZUN:FIO"), "ZUN");
  EXPECT_EQ(datfile::LabelPrefix("A:B"), "A");
  EXPECT_EQ(datfile::LabelPrefix("Cust:Name"), "");
  EXPECT_EQ(datfile::LabelPrefix("Name"), "");
}

TEST(DatDescriptorTest, CountsTheOpenChecksCompare) {
  EXPECT_EQ(datfile::StoredFieldCount(ZunDeclaration()), 3);
  EXPECT_EQ(datfile::StoredFieldCount(NumericDeclaration()), 7);
  EXPECT_EQ(datfile::ArrayDescriptorCount(ZunDeclaration()), 0);
  EXPECT_EQ(datfile::ArrayDescriptorCount(ArrayDeclaration()), 5);
}

TEST(DatDescriptorTest, KeyFilePrefixWinsOverRecordPrefix) {
  datfile::FileDecl decl = ZunDeclaration();
  decl.fields[0].label = "Rec:FIO";
  decl.keys[0].label = "KY:zun_key";
  datfile::DescriptorLayout layout;
  ASSERT_OK(datfile::BuildDescriptorLayout(decl, &layout));
  EXPECT_EQ(layout.file_prefix, "KY");
  EXPECT_EQ(layout.record_prefix, "Rec");
  EXPECT_EQ(layout.key_descriptor_offsets, (std::vector<uint32_t>{166, 191}));
  EXPECT_EQ(layout.data_offset, 216u);
}

TEST(DatDescriptorTest, GroupChainMustRunBackwards) {
  datfile::FileDecl decl = ArrayDeclaration();
  decl.fields[2].group = 4;  // a later, non-GROUP field
  datfile::DescriptorLayout layout;
  EXPECT_STATUS_CODE(datfile::BuildDescriptorLayout(decl, &layout),
                     datfile::Err::kInvalidFieldTypeDescriptor);
}

}  // namespace
}  // namespace zuna::testing
