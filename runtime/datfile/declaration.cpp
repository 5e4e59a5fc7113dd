#include "runtime/datfile/declaration.h"

namespace zuna::datfile {

uint16_t ElementLength(const FieldDecl& field) {
  uint32_t elements = 1;
  for (uint16_t d : field.dimensions) elements *= d == 0 ? 1 : d;
  return static_cast<uint16_t>(field.size / elements);
}

uint32_t KeyLength(const FileDecl& file, const KeyDecl& key) {
  uint32_t length = 0;
  for (const KeyComponent& c : key.components) {
    if (c.field < file.fields.size()) length += ElementLength(file.fields[c.field]);
  }
  return length;
}

}  // namespace zuna::datfile
