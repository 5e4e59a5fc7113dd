#include "runtime/datfile/dat_header.h"

#include <algorithm>
#include <string>

#include "runtime/datfile/coding.h"

namespace zuna::datfile {
namespace {

template <size_t N>
void PutBytes(HeaderBytes& out, size_t offset, const std::array<char, N>& in) {
  std::copy(in.begin(), in.end(), out.begin() + offset);
}

template <size_t N>
void GetBytes(const HeaderBytes& in, size_t offset, std::array<char, N>* out) {
  std::copy_n(in.begin() + offset, N, out->begin());
}

Status Corrupt(const std::string& why) {
  return Status::Error(Err::kInvalidDataFile, "header: " + why);
}

}  // namespace

HeaderBytes EncodeDatHeader(const DatHeader& h) {
  HeaderBytes b{};
  char* p = b.data();
  EncodeFixed16(p + dat::kSignatureOffset, h.signature);
  EncodeFixed16(p + dat::kAttributesOffset, h.attributes);
  p[dat::kKeyCountOffset] = static_cast<char>(h.key_count);
  EncodeFixed32(p + dat::kRecordSlotsOffset, h.record_slots);
  EncodeFixed32(p + dat::kDeletedCountOffset, h.deleted_count);
  EncodeFixed16(p + dat::kFieldCountOffset, h.field_count);
  EncodeFixed16(p + dat::kPictureCountOffset, h.picture_count);
  EncodeFixed16(p + dat::kArrayCountOffset, h.array_count);
  EncodeFixed16(p + dat::kSlotLengthOffset, h.slot_length);
  EncodeFixed32(p + dat::kDataOffsetOffset, h.data_offset);
  EncodeFixed32(p + dat::kLogicalEofOffset, h.logical_eof);
  EncodeFixed32(p + dat::kLogicalBofOffset, h.logical_bof);
  EncodeFixed32(p + dat::kFirstFreeOffset, h.first_free);
  PutBytes(b, dat::kRecordNameOffset, h.record_name);
  PutBytes(b, dat::kMemoNameOffset, h.memo_name);
  PutBytes(b, dat::kFilePrefixOffset, h.file_prefix);
  PutBytes(b, dat::kRecordPrefixOffset, h.record_prefix);
  EncodeFixed16(p + dat::kMemoSizeOffset, h.memo_size);
  EncodeFixed16(p + dat::kMemoWidthOffset, h.memo_width);
  EncodeFixed32(p + dat::kReservedOffset, h.reserved);
  EncodeFixed32(p + dat::kChangeTimeOffset, h.change_time);
  EncodeFixed32(p + dat::kChangeDateOffset, h.change_date);
  EncodeFixed16(p + dat::kHeaderCheckOffset, h.header_check);
  return b;
}

DatHeader DecodeDatHeader(const HeaderBytes& b) {
  const char* p = b.data();
  DatHeader h;
  h.signature = DecodeFixed16(p + dat::kSignatureOffset);
  h.attributes = DecodeFixed16(p + dat::kAttributesOffset);
  h.key_count = static_cast<uint8_t>(p[dat::kKeyCountOffset]);
  h.record_slots = DecodeFixed32(p + dat::kRecordSlotsOffset);
  h.deleted_count = DecodeFixed32(p + dat::kDeletedCountOffset);
  h.field_count = DecodeFixed16(p + dat::kFieldCountOffset);
  h.picture_count = DecodeFixed16(p + dat::kPictureCountOffset);
  h.array_count = DecodeFixed16(p + dat::kArrayCountOffset);
  h.slot_length = DecodeFixed16(p + dat::kSlotLengthOffset);
  h.data_offset = DecodeFixed32(p + dat::kDataOffsetOffset);
  h.logical_eof = DecodeFixed32(p + dat::kLogicalEofOffset);
  h.logical_bof = DecodeFixed32(p + dat::kLogicalBofOffset);
  h.first_free = DecodeFixed32(p + dat::kFirstFreeOffset);
  GetBytes(b, dat::kRecordNameOffset, &h.record_name);
  GetBytes(b, dat::kMemoNameOffset, &h.memo_name);
  GetBytes(b, dat::kFilePrefixOffset, &h.file_prefix);
  GetBytes(b, dat::kRecordPrefixOffset, &h.record_prefix);
  h.memo_size = DecodeFixed16(p + dat::kMemoSizeOffset);
  h.memo_width = DecodeFixed16(p + dat::kMemoWidthOffset);
  h.reserved = DecodeFixed32(p + dat::kReservedOffset);
  h.change_time = DecodeFixed32(p + dat::kChangeTimeOffset);
  h.change_date = DecodeFixed32(p + dat::kChangeDateOffset);
  h.header_check = DecodeFixed16(p + dat::kHeaderCheckOffset);
  return h;
}

uint16_t HeaderCheckSum(const HeaderBytes& plain) {
  uint32_t sum = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    if (i == dat::kHeaderCheckOffset || i == dat::kHeaderCheckOffset + 1) continue;
    sum += static_cast<uint8_t>(plain[i]);
  }
  return static_cast<uint16_t>(sum);
}

HeaderBytes SealDatHeader(DatHeader* header,
                          const std::optional<ScrambleKey>& owner_key) {
  header->header_check = 0;
  HeaderBytes bytes = EncodeDatHeader(*header);
  if (!owner_key) return bytes;
  header->header_check = HeaderCheckSum(bytes);
  EncodeFixed16(bytes.data() + dat::kHeaderCheckOffset, header->header_check);
  Scramble(*owner_key, std::span<char>(bytes).subspan(dat::kScrambledHeaderBegin));
  return bytes;
}

Status UnsealDatHeader(const HeaderBytes& disk,
                       const std::optional<ScrambleKey>& owner_key,
                       DatHeader* header) {
  HeaderBytes plain = disk;
  if (DecodeFixed16(plain.data() + dat::kSignatureOffset) != dat::kSignature) {
    return Corrupt("bad signature");
  }
  const bool scrambled =
      (DecodeFixed16(plain.data() + dat::kAttributesOffset) & dat::kAttrOwner) != 0;
  if (scrambled != owner_key.has_value()) {
    return Corrupt(scrambled ? "file has an owner the declaration lacks"
                             : "declared owner, file has none");
  }
  if (owner_key) {
    Scramble(*owner_key, std::span<char>(plain).subspan(dat::kScrambledHeaderBegin));
    if (DecodeFixed16(plain.data() + dat::kHeaderCheckOffset) != HeaderCheckSum(plain)) {
      return Corrupt("owner check word differs");
    }
  }
  DatHeader decoded = DecodeDatHeader(plain);
  ZUNA_RETURN_IF_ERROR(CheckDatHeader(decoded));
  *header = decoded;
  return Status::OK();
}

Status CheckDatHeader(const DatHeader& h) {
  if (h.slot_length < dat::kSlotPrefixSize) return Corrupt("slot length below 5");
  const uint64_t least_descriptors =
      dat::kHeaderSize + uint64_t{dat::kFieldDescriptorSize} * h.field_count +
      uint64_t{dat::kKeyDescriptorFixedSize} * h.key_count +
      uint64_t{dat::kPictureLengthSize} * h.picture_count +
      uint64_t{dat::kArrayDescriptorFixedSize} * h.array_count;
  if (h.data_offset < least_descriptors) {
    return Corrupt("data offset inside the descriptors");
  }
  if (h.deleted_count > h.record_slots) return Corrupt("more deleted than slots");
  if (h.first_free > h.record_slots) return Corrupt("first free beyond the slots");
  if (h.logical_eof > h.record_slots || h.logical_bof > h.record_slots) {
    return Corrupt("logical EOF/BOF beyond the slots");
  }
  return Status::OK();
}

}  // namespace zuna::datfile
