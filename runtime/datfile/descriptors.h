// The descriptor sections of a data file, built from a FILE declaration:
// field descriptors, key descriptors, picture entries and array descriptors
// (layouts in dat_format.h), with the numbers that tie them together (picture
// and array numbers), the label prefixes creation records in the header, and
// the data offset they add up to.
//
// The name rule.  A field's label "prefix:name" is stored in 16 bytes:
//   - prefix of 4 or more characters: its first 3, the colon, at most 12 of
//     the name ("Customer:Name" -> "Cus:Name");
//   - prefix of 1 to 3 characters: prefix, colon and name, cut to 16, and to
//     prefix + 13 when the prefix is shorter than 3 and the name longer than
//     12 (so the name never keeps more than 12 characters either way);
//   - no colon: the label cut to 12.
// Then space-padded to 16.  Key descriptors store the key's label as declared,
// cut to 16 and space-padded.
//
// All descriptors here are plain; the data file scrambles them for an OWNER.
// Pure functions of the declaration; any thread.
#ifndef ZUNA_RUNTIME_DATFILE_DESCRIPTORS_H_
#define ZUNA_RUNTIME_DATFILE_DESCRIPTORS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/declaration.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// The 16-byte stored name of a field label (the name rule above).
std::string StoredFieldName(std::string_view label);

// The 16-byte stored name of a key label: cut to 16, space-padded.
std::string StoredKeyName(std::string_view label);

// The label prefix creation takes from a label: the characters before a
// colon that lies within the first 4 characters (at most 3 of them); empty
// when there is no such colon.
std::string_view LabelPrefix(std::string_view label);

// The part of a label after its colon (all of it when there is none).
std::string_view LabelName(std::string_view label);

// The file's type code of a field (dat::kType*); a STRING with a picture is 4.
uint8_t FieldTypeCode(const FieldDecl& field);

// The field type a file's type code (dat::kType*) stands for, the way back
// from FieldTypeCode: a STRING with or without a picture, and a code this
// driver does not know, read as STRING.
FieldType FieldTypeOfCode(uint8_t code);

// The key type byte: 0x10 DUP or INDEX, 0x20 NOCASE, 0x40 not OPT, 0x01 INDEX.
uint8_t KeyTypeBits(const KeyDecl& key);

struct DescriptorLayout {
  // Plain descriptor bytes, in file order.  field_descriptors has one entry
  // per stored field (declaration order), key_descriptors one per key.
  std::vector<std::string> field_descriptors;
  std::vector<std::string> key_descriptors;
  std::vector<std::string> picture_entries;   // u16 length + text + NUL
  std::vector<std::string> array_descriptors;

  // Byte offset of each key descriptor in the file (after the 85-byte
  // header and the field descriptors).
  std::vector<uint32_t> key_descriptor_offsets;
  uint32_t data_offset = 0;  // offset of slot 1

  // Prefixes for the header, creation steps 4, 5 and 8 applied: the file
  // prefix from the first key label with a short prefix, else the record
  // prefix moved over (and then the record prefix empty).
  std::string file_prefix;
  std::string record_prefix;
};

// Lays out every descriptor of `file`.  Fails, leaving *layout undefined,
// with 75 ("Invalid Field Type Descriptor") when a field has more than 4
// dimensions in all, a dimension of 0, lies outside the record, names a
// GROUP that is not an earlier GROUP field, or the record is too long for a
// slot; with 75 for a key component naming no field; with 88 ("Invalid Key
// Length") for a key longer than 245 bytes.
Status BuildDescriptorLayout(const FileDecl& file, DescriptorLayout* layout);

// Counts the open-time checks compare with the header.
uint16_t StoredFieldCount(const FileDecl& file);
uint16_t ArrayDescriptorCount(const FileDecl& file);

// The plain key descriptor of key `key_index` (0-based).  REQUIRES: the
// declaration passed BuildDescriptorLayout and key_index < file.keys.size().
std::string EncodeKeyDescriptor(const FileDecl& file, size_t key_index);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_DESCRIPTORS_H_
