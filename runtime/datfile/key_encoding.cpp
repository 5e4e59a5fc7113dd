#include "runtime/datfile/key_encoding.h"

#include <algorithm>
#include <cstring>

#include "runtime/values/code_page.h"

namespace zuna::datfile {
namespace {

uint8_t KeyTypeBits(const KeyDecl& key) {
  uint8_t bits = 0;
  if (key.index) bits |= kKeyTypeIndex | kKeyTypeDuplicates;
  if (key.duplicates) bits |= kKeyTypeDuplicates;
  if (key.nocase) bits |= kKeyTypeNoCase;
  if (!key.optional) bits |= kKeyTypeNotOptional;
  return bits;
}

// Reverses little-endian bytes into big-endian order.
void CopyBigEndian(const uint8_t* src, uint8_t* dst, size_t n) {
  for (size_t i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
}

bool AllBytesAre(const uint8_t* p, size_t n, uint8_t a, uint8_t b) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != a && p[i] != b) return false;
  }
  return true;
}

}  // namespace

Status KeyLayoutFor(const FileDecl& file, const KeyDecl& key,
                    KeyLayout* layout) {
  uint32_t key_length = 0;
  for (const KeyComponent& c : key.components) {
    if (c.field >= file.fields.size()) {
      return Status::Error(Err::kInvalidRecordDeclaration,
                           key.label + ": component names no field");
    }
    const FieldDecl& field = file.fields[c.field];
    const uint32_t length = ElementLength(field);
    if (uint32_t{field.offset} + length > file.record_length) {
      return Status::Error(Err::kInvalidRecordDeclaration,
                           key.label + ": component outside the record");
    }
    key_length += length;
  }
  if (key_length > kMaxKeyLength || key.components.size() > 255) {
    return Status::Error(
        Err::kInvalidKeyLength,
        key.label + ": " + std::to_string(key_length) + " bytes");
  }
  *layout = MakeKeyLayout(static_cast<uint16_t>(key_length),
                          static_cast<uint8_t>(key.components.size()),
                          KeyTypeBits(key));
  return Status::OK();
}

Status KeyEncoder::Create(const FileDecl& file, const KeyDecl& key,
                          const values::LocaleTables& tables,
                          KeyEncoder* encoder) {
  KeyEncoder result;
  ZUNA_RETURN_IF_ERROR(KeyLayoutFor(file, key, &result.layout_));
  for (const KeyComponent& c : key.components) {
    const FieldDecl& field = file.fields[c.field];
    result.components_.push_back(
        {field.type, field.offset, ElementLength(field)});
  }
  for (int c = 0; c < 256; ++c) {
    char ch = static_cast<char>(c);
    if (key.nocase) ch = values::ToUpper(ch, tables);
    const auto u = static_cast<uint8_t>(ch);
    result.char_map_[c] =
        file.oem
            ? tables.oem_collation[static_cast<uint8_t>(values::Cp1251ToCp866(ch))]
            : tables.collation[u];
  }
  *encoder = std::move(result);
  return Status::OK();
}

void KeyEncoder::EncodeComponent(const Component& c, const uint8_t* src,
                                 uint8_t* dst) const {
  const size_t n = c.length;
  if (n == 0) return;
  switch (c.type) {
    case FieldType::kByte:
      std::memcpy(dst, src, n);
      return;
    case FieldType::kShort:
    case FieldType::kLong:
      CopyBigEndian(src, dst, n);
      dst[0] ^= 0x80;
      return;
    case FieldType::kUShort:
    case FieldType::kULong:
      CopyBigEndian(src, dst, n);
      return;
    case FieldType::kReal:
    case FieldType::kSReal:
      CopyBigEndian(src, dst, n);
      if (dst[0] & 0x80) {
        for (size_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
      } else {
        dst[0] |= 0x80;
      }
      return;
    case FieldType::kDecimal:
      if (src[0] & 0x80) {
        for (size_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
      } else {
        std::memcpy(dst, src, n);
        dst[0] |= 0x80;
      }
      return;
    case FieldType::kString:
    case FieldType::kGroup:
      for (size_t i = 0; i < n; ++i) dst[i] = char_map_[src[i]];
      return;
    case FieldType::kCString: {
      size_t i = 0;
      for (; i < n && src[i] != 0; ++i) dst[i] = char_map_[src[i]];
      std::memset(dst + i, 0, n - i);
      return;
    }
    case FieldType::kPString: {
      const size_t text = std::min<size_t>(src[0], n - 1);
      for (size_t i = 0; i < text; ++i) dst[i] = char_map_[src[1 + i]];
      std::memset(dst + text, 0, n - text);
      return;
    }
  }
  std::memcpy(dst, src, n);
}

void KeyEncoder::EncodeValue(std::span<const char> record,
                             std::span<char> value) const {
  auto* out = reinterpret_cast<uint8_t*>(value.data());
  uint8_t element[kMaxKeyLength];
  for (const Component& c : components_) {
    // Copy through a zeroed element so a short buffer never reads past its
    // end.
    std::memset(element, 0, c.length);
    if (c.offset < record.size()) {
      std::memcpy(element, record.data() + c.offset,
                  std::min<size_t>(c.length, record.size() - c.offset));
    }
    EncodeComponent(c, element, out);
    out += c.length;
  }
}

std::string KeyEncoder::MakeEntry(uint32_t record_no,
                                  std::span<const char> record) const {
  std::string entry(layout_.entry_length, '\0');
  EncodeFixed32(entry.data(), record_no);
  EncodeValue(record, std::span<char>(entry).subspan(kEntryNumberSize));
  return entry;
}

bool KeyEncoder::IsBlank(std::span<const char> record) const {
  uint8_t element[kMaxKeyLength];
  for (const Component& c : components_) {
    std::memset(element, 0, c.length);
    if (c.offset < record.size()) {
      std::memcpy(element, record.data() + c.offset,
                  std::min<size_t>(c.length, record.size() - c.offset));
    }
    const size_t n = c.length;
    if (n == 0) continue;
    bool blank = true;
    if (IsIntegerField(c.type)) {
      blank = AllBytesAre(element, n, 0, 0);
    } else if (c.type == FieldType::kReal || c.type == FieldType::kSReal) {
      element[n - 1] &= 0x7F;  // -0.0 is zero too
      blank = AllBytesAre(element, n, 0, 0);
    } else if (c.type == FieldType::kDecimal) {
      element[0] &= 0x0F;  // the sign nibble
      blank = AllBytesAre(element, n, 0, 0);
    } else if (c.type == FieldType::kPString) {
      blank = element[0] == 0 ||
              AllBytesAre(element + 1, std::min<size_t>(element[0], n - 1), ' ',
                          ' ');
    } else {
      blank = AllBytesAre(element, n, ' ', 0);
    }
    if (!blank) return false;
  }
  return true;
}

std::string KeyEncoder::MakeBlankEntry(uint32_t record_no) const {
  std::string entry(layout_.entry_length, '\0');
  EncodeFixed32(entry.data(), record_no);
  auto* out = reinterpret_cast<uint8_t*>(entry.data() + kEntryNumberSize);
  uint8_t element[kMaxKeyLength];
  for (const Component& c : components_) {
    const bool spaces =
        c.type == FieldType::kString || c.type == FieldType::kGroup;
    std::memset(element, spaces ? ' ' : 0, c.length);
    EncodeComponent(c, element, out);
    out += c.length;
  }
  return entry;
}

}  // namespace zuna::datfile
