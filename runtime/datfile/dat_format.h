// The data file (".DAT") byte for byte.  Writer and reader include this one
// header; a test pins each layout with hand-written bytes.  All integers are
// little-endian (coding.h); u8/u16/u32 unsigned; char[n] a fixed byte field.
//
// File layout, no gaps:
//
//   OFFSET            SIZE                 CONTENT
//   0                 85                   header
//   85                27 x field count     field descriptors, declaration order
//   ...               19 + 6 x components  one key descriptor per declared key
//   ...               2 + L                picture entries (u16 L, L bytes)
//   ...               6 + 4 x D            array descriptors
//   data offset       slot length x slots  record slots; slot n (1-based) at
//                                          data offset + (n - 1) x slot length
//
// Header (85 bytes):
//
//   OFFSET SIZE  FIELD           MEANING
//    0     u16   signature       0x3356, the bytes "V3"
//    2     u16   attributes      kAttr* bits below
//    4     u8    key count       key descriptors
//    5     u32   record slots    slots ever allocated, live and deleted
//    9     u32   deleted count   slots with the deleted bit
//   13     u16   field count     field descriptors
//   15     u16   picture count   picture entries
//   17     u16   array count     array descriptors
//   19     u16   slot length     record length + 5
//   21     u32   data offset     offset of slot 1
//   25     u32   logical EOF     highest live record number (0: empty)
//   29     u32   logical BOF     where a forward scan starts (0: empty)
//   33     u32   first free      head of the chain of deleted slots, 0: none
//   37     12    record name     spaces
//   49     12    memo name       memo label without prefix, cut, padded
//   61     3     file prefix     zero-padded
//   64     3     record prefix   zero-padded; emptied when moved to file prefix
//   67     u16   memo size       declared memo bytes, 0 if none
//   69     u16   memo width      0
//   71     u32   reserved        0
//   75     u32   change time     time serial of the last stamped header write
//   79     u32   change date     date serial of the last stamped header write
//   83     u16   header check    OWNER: 16-bit sum of the 85 plain bytes with
//                                this field 0; else 0
//
// With OWNER, header bytes 4..84 and every descriptor are scrambled
// (scramble.h); bytes 0..3 (signature and attributes) never are, so a reader
// can always tell whether it must unscramble.
//
// Field descriptor (27 bytes):
//
//   OFFSET SIZE  FIELD
//    0     u8    type code (kType*)
//    1     16    name, space-padded (descriptors.h, the name rule)
//   17     u16   offset in the record data
//   19     u16   element length (size / element count)
//   21     u8    integer digits (DECIMAL: 2 x size - 1 - places)
//   22     u8    places (DECIMAL)
//   23     u16   array number, 1-based; 0: not an array
//   25     u16   picture number, 1-based; type 4 only
//
// Key descriptor (19 bytes, then 6 per component):
//
//   OFFSET SIZE  FIELD                 COMPONENT   OFFSET SIZE FIELD
//    0     u8    component count                    0   u8   type code
//    1     16    key label, cut, padded             1   u16  field number, 1-based
//   17     u8    key type (kKey* bits)              3   u16  offset in record data
//   18     u8    key length                         5   u8   component length
//
// Array descriptor (6 + 4 x D bytes):
//
//   OFFSET SIZE  FIELD
//    0     u16   own dimension count
//    2     u16   total dimension count D (enclosing GROUPs' + own)
//    4     u16   total size of the field
//    6     D x (u16 bound, u16 stride), enclosing GROUPs first, outermost first
//
// Record slot (record length + 5 bytes):
//
//   OFFSET SIZE  FIELD
//    0     u8    status byte (kStatus* bits)
//    1     u32   link: live - first memo block (0: none);
//                deleted - next slot on the free chain (0: end)
//    5     ...   record image, scrambled with ENCRYPT
#ifndef ZUNA_RUNTIME_DATFILE_DAT_FORMAT_H_
#define ZUNA_RUNTIME_DATFILE_DAT_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace zuna::datfile::dat {

// --- header ----------------------------------------------------------------
inline constexpr uint16_t kSignature = 0x3356;  // "V3"
inline constexpr size_t kHeaderSize = 85;

inline constexpr size_t kSignatureOffset = 0;
inline constexpr size_t kAttributesOffset = 2;
inline constexpr size_t kKeyCountOffset = 4;
inline constexpr size_t kRecordSlotsOffset = 5;
inline constexpr size_t kDeletedCountOffset = 9;
inline constexpr size_t kFieldCountOffset = 13;
inline constexpr size_t kPictureCountOffset = 15;
inline constexpr size_t kArrayCountOffset = 17;
inline constexpr size_t kSlotLengthOffset = 19;
inline constexpr size_t kDataOffsetOffset = 21;
inline constexpr size_t kLogicalEofOffset = 25;
inline constexpr size_t kLogicalBofOffset = 29;
inline constexpr size_t kFirstFreeOffset = 33;
inline constexpr size_t kRecordNameOffset = 37;
inline constexpr size_t kMemoNameOffset = 49;
inline constexpr size_t kFilePrefixOffset = 61;
inline constexpr size_t kRecordPrefixOffset = 64;
inline constexpr size_t kMemoSizeOffset = 67;
inline constexpr size_t kMemoWidthOffset = 69;
inline constexpr size_t kReservedOffset = 71;
inline constexpr size_t kChangeTimeOffset = 75;
inline constexpr size_t kChangeDateOffset = 79;
inline constexpr size_t kHeaderCheckOffset = 83;

inline constexpr size_t kRecordNameSize = 12;
inline constexpr size_t kMemoNameSize = 12;
inline constexpr size_t kPrefixSize = 3;

// The part of the header an OWNER scrambles: everything after the signature
// and the attribute word.
inline constexpr size_t kScrambledHeaderBegin = 4;
inline constexpr size_t kScrambledHeaderSize = kHeaderSize - kScrambledHeaderBegin;

static_assert(kRecordNameOffset + kRecordNameSize == kMemoNameOffset);
static_assert(kMemoNameOffset + kMemoNameSize == kFilePrefixOffset);
static_assert(kFilePrefixOffset + kPrefixSize == kRecordPrefixOffset);
static_assert(kRecordPrefixOffset + kPrefixSize == kMemoSizeOffset);
static_assert(kReservedOffset + 4 == kChangeTimeOffset);
static_assert(kChangeDateOffset + 4 == kHeaderCheckOffset);
static_assert(kHeaderCheckOffset + 2 == kHeaderSize);

// Attribute bits (header offset 2).  Bits not listed are always 0.
inline constexpr uint16_t kAttrLocked = 0x0001;     // a station holds LOCK
inline constexpr uint16_t kAttrOwner = 0x0002;      // header+descriptors scrambled
inline constexpr uint16_t kAttrEncrypt = 0x0004;    // records+memo scrambled
inline constexpr uint16_t kAttrMemo = 0x0008;       // a memo file exists
inline constexpr uint16_t kAttrReclaim = 0x0020;    // informational
inline constexpr uint16_t kAttrAlways = 0x0080;     // set at creation

// --- field descriptor -------------------------------------------------------
inline constexpr size_t kFieldDescriptorSize = 27;
inline constexpr size_t kFieldTypeOffset = 0;
inline constexpr size_t kFieldNameOffset = 1;
inline constexpr size_t kFieldOffsetOffset = 17;
inline constexpr size_t kFieldLengthOffset = 19;
inline constexpr size_t kFieldDigitsOffset = 21;
inline constexpr size_t kFieldPlacesOffset = 22;
inline constexpr size_t kFieldArrayOffset = 23;
inline constexpr size_t kFieldPictureOffset = 25;
inline constexpr size_t kNameSize = 16;
static_assert(kFieldNameOffset + kNameSize == kFieldOffsetOffset);
static_assert(kFieldPictureOffset + 2 == kFieldDescriptorSize);

// Type codes: the file's own numbering, not the runtime's.
inline constexpr uint8_t kTypeOther = 0;
inline constexpr uint8_t kTypeLong = 1;
inline constexpr uint8_t kTypeReal = 2;
inline constexpr uint8_t kTypeString = 3;
inline constexpr uint8_t kTypePictureString = 4;
inline constexpr uint8_t kTypeByte = 5;
inline constexpr uint8_t kTypeShort = 6;
inline constexpr uint8_t kTypeGroup = 7;
inline constexpr uint8_t kTypeDecimal = 8;

// --- key descriptor ---------------------------------------------------------
inline constexpr size_t kKeyDescriptorFixedSize = 19;
inline constexpr size_t kKeyComponentSize = 6;
inline constexpr size_t kKeyComponentCountOffset = 0;
inline constexpr size_t kKeyNameOffset = 1;
inline constexpr size_t kKeyTypeOffset = 17;
inline constexpr size_t kKeyLengthOffset = 18;
static_assert(kKeyNameOffset + kNameSize == kKeyTypeOffset);
static_assert(kKeyLengthOffset + 1 == kKeyDescriptorFixedSize);

inline constexpr size_t kComponentTypeOffset = 0;
inline constexpr size_t kComponentFieldOffset = 1;
inline constexpr size_t kComponentOffsetOffset = 3;
inline constexpr size_t kComponentLengthOffset = 5;
static_assert(kComponentLengthOffset + 1 == kKeyComponentSize);

// Key type bits, shared with the key file header.
inline constexpr uint8_t kKeyIndex = 0x01;
inline constexpr uint8_t kKeyDuplicates = 0x10;
inline constexpr uint8_t kKeyNoCase = 0x20;
inline constexpr uint8_t kKeyNotOptional = 0x40;

// A key value longer than this is refused (error 88); it also keeps every
// component length within the descriptor's u8.
inline constexpr uint32_t kMaxKeyLength = 245;

// --- picture entry / array descriptor ---------------------------------------
inline constexpr size_t kPictureLengthSize = 2;  // u16 text length + 1
inline constexpr size_t kArrayDescriptorFixedSize = 6;
inline constexpr size_t kArrayDimensionSize = 4;
inline constexpr size_t kArrayOwnCountOffset = 0;
inline constexpr size_t kArrayTotalCountOffset = 2;
inline constexpr size_t kArrayTotalSizeOffset = 4;
inline constexpr size_t kMaxDimensions = 4;  // more fails creation with 75

// --- record slot ------------------------------------------------------------
inline constexpr size_t kSlotPrefixSize = 5;
inline constexpr size_t kSlotStatusOffset = 0;
inline constexpr size_t kSlotLinkOffset = 1;
static_assert(kSlotLinkOffset + 4 == kSlotPrefixSize);

// The largest record a u16 slot length can carry.
inline constexpr uint32_t kMaxRecordLength = 0xFFFF - kSlotPrefixSize;

// Status byte bits.  ADD/APPEND write exactly kStatusNew; PUT ors in
// kStatusRevised; DELETE ors in kStatusDeleted; HOLD/RELEASE toggle kStatusHeld.
inline constexpr uint8_t kStatusNew = 0x01;
inline constexpr uint8_t kStatusRevised = 0x04;
inline constexpr uint8_t kStatusDeleted = 0x10;
inline constexpr uint8_t kStatusHeld = 0x40;

}  // namespace zuna::datfile::dat

#endif  // ZUNA_RUNTIME_DATFILE_DAT_FORMAT_H_
