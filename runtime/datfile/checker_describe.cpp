// Reading a data file's own description: the header (unscrambled with the
// owner text when there is one), the descriptor sections and the headers of
// its key files.  The checker and `zunatool info` both start here.
#include <algorithm>
#include <cstring>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/checker_internal.h"
#include "runtime/datfile/coding.h"
#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/scramble.h"

namespace zuna::datfile {
namespace {

using checker::N;
using checker::Ru;

// The attribute bits a file may carry.
constexpr uint16_t kKnownAttributes = dat::kAttrLocked | dat::kAttrOwner |
                                      dat::kAttrEncrypt | dat::kAttrMemo |
                                      dat::kAttrReclaim | dat::kAttrAlways;
constexpr uint8_t kKnownKeyBits =
    kKeyTypeIndex | kKeyTypeDuplicates | kKeyTypeNoCase | kKeyTypeNotOptional;

std::string Trimmed(const char* bytes, size_t size) {
  std::string text(bytes, size);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
    text.pop_back();
  }
  return text;
}

// Reads the descriptor sections one descriptor at a time, each checked
// against the file size before it is read, so a count the file cannot hold
// ends the reading with a fault instead of a huge allocation.
class DescriptorReader {
 public:
  DescriptorReader(File& file, DataFileInfo* info,
                   std::optional<ScrambleKey> key,
                   std::vector<CheckFault>* faults)
      : file_(file), info_(info), key_(key), faults_(faults) {}

  Status Run() {
    offset_ = dat::kHeaderSize;
    ZUNA_RETURN_IF_ERROR(ReadFields());
    if (!stopped_) ZUNA_RETURN_IF_ERROR(ReadKeys());
    if (!stopped_) ZUNA_RETURN_IF_ERROR(ReadPictures());
    if (!stopped_) ZUNA_RETURN_IF_ERROR(ReadArrays());
    info_->descriptors_end = offset_;
    if (!stopped_ && offset_ != info_->header.data_offset) {
      Fault(dat::kDataOffsetOffset,
            Ru("смещение данных ") + N(info_->header.data_offset) +
                Ru(", а описания полей и ключей кончаются на ") + N(offset_),
            FaultKind::kDataOffset);
    }
    return Status::OK();
  }

 private:
  void Fault(uint64_t offset, std::string text,
             FaultKind kind = FaultKind::kDescriptors) {
    if (faults_ != nullptr) {
      faults_->push_back(
          {kind, checker::BaseName(info_->path), offset, std::move(text)});
    }
  }

  // Reads `size` plain bytes at the cursor; false (with a fault, reading
  // stopped) when they lie past the end of the file.
  Status Take(size_t size, std::string* bytes, bool* ok) {
    *ok = false;
    if (offset_ + size > info_->file_size) {
      Fault(offset_, Ru("описания полей и ключей выходят за конец файла"));
      stopped_ = true;
      return Status::OK();
    }
    bytes->assign(size, '\0');
    ZUNA_RETURN_IF_ERROR(
        ReadExact(file_, offset_, *bytes, Err::kInvalidDataFile));
    if (key_) Scramble(*key_, *bytes);
    *ok = true;
    return Status::OK();
  }

  Status ReadFields() {
    const uint32_t record_length =
        info_->header.slot_length >= dat::kSlotPrefixSize
            ? info_->header.slot_length - dat::kSlotPrefixSize
            : 0;
    for (uint32_t i = 0; i < info_->header.field_count; ++i) {
      std::string d;
      bool ok = false;
      ZUNA_RETURN_IF_ERROR(Take(dat::kFieldDescriptorSize, &d, &ok));
      if (!ok) return Status::OK();
      FieldInfo f;
      f.type_code = static_cast<uint8_t>(d[dat::kFieldTypeOffset]);
      f.name = Trimmed(&d[dat::kFieldNameOffset], dat::kNameSize);
      f.offset = DecodeFixed16(&d[dat::kFieldOffsetOffset]);
      f.element_length = DecodeFixed16(&d[dat::kFieldLengthOffset]);
      f.digits = static_cast<uint8_t>(d[dat::kFieldDigitsOffset]);
      f.places = static_cast<uint8_t>(d[dat::kFieldPlacesOffset]);
      f.array_number = DecodeFixed16(&d[dat::kFieldArrayOffset]);
      f.picture_number = DecodeFixed16(&d[dat::kFieldPictureOffset]);
      if (f.type_code > dat::kTypeDecimal) {
        Fault(offset_, Ru("поле ") + N(i + 1) + Ru(": неизвестный код типа ") +
                           N(f.type_code));
      }
      if (uint32_t{f.offset} + f.element_length > record_length) {
        Fault(offset_, Ru("поле ") + N(i + 1) + Ru(" выходит за запись длиной ") +
                           N(record_length));
      }
      info_->fields.push_back(std::move(f));
      offset_ += dat::kFieldDescriptorSize;
    }
    return Status::OK();
  }

  Status ReadKeys() {
    for (uint32_t k = 0; k < info_->header.key_count; ++k) {
      // The component count decides the descriptor's size: read it first.
      std::string fixed;
      bool ok = false;
      ZUNA_RETURN_IF_ERROR(Take(dat::kKeyDescriptorFixedSize, &fixed, &ok));
      if (!ok) return Status::OK();
      const size_t components =
          static_cast<uint8_t>(fixed[dat::kKeyComponentCountOffset]);
      std::string d;
      ZUNA_RETURN_IF_ERROR(Take(dat::kKeyDescriptorFixedSize +
                                    components * dat::kKeyComponentSize,
                                &d, &ok));
      if (!ok) return Status::OK();
      info_->keys.push_back(DecodeKey(d, components));
      CheckKey(k, info_->keys.back());
      offset_ += d.size();
    }
    return Status::OK();
  }

  KeyInfo DecodeKey(const std::string& d, size_t components) const {
    KeyInfo key;
    key.descriptor_offset = offset_;
    key.name = Trimmed(&d[dat::kKeyNameOffset], dat::kNameSize);
    key.key_type = static_cast<uint8_t>(d[dat::kKeyTypeOffset]);
    key.key_length = static_cast<uint8_t>(d[dat::kKeyLengthOffset]);
    for (size_t i = 0; i < components; ++i) {
      const char* c =
          &d[dat::kKeyDescriptorFixedSize + i * dat::kKeyComponentSize];
      key.components.push_back(
          {static_cast<uint8_t>(c[dat::kComponentTypeOffset]),
           DecodeFixed16(c + dat::kComponentFieldOffset),
           DecodeFixed16(c + dat::kComponentOffsetOffset),
           static_cast<uint8_t>(c[dat::kComponentLengthOffset])});
    }
    return key;
  }

  void CheckKey(uint32_t k, const KeyInfo& key) {
    const std::string who = Ru("ключ ") + N(k + 1) + Ru(": ");
    const uint32_t record_length =
        info_->header.slot_length >= dat::kSlotPrefixSize
            ? info_->header.slot_length - dat::kSlotPrefixSize
            : 0;
    uint32_t sum = 0;
    for (const KeyComponentInfo& c : key.components) {
      sum += c.length;
      if (uint32_t{c.offset} + c.length > record_length) {
        Fault(offset_, who + Ru("составная часть выходит за запись"));
      }
      if (c.type_code > dat::kTypeDecimal) {
        Fault(offset_, who + Ru("неизвестный код типа составной части ") +
                           N(c.type_code));
      }
    }
    if (key.components.empty()) Fault(offset_, who + Ru("нет составных частей"));
    if (sum != key.key_length) {
      Fault(offset_, who + Ru("длина ключа ") + N(key.key_length) +
                         Ru(", а сумма длин составных частей ") + N(sum));
    }
    if ((key.key_type & ~kKnownKeyBits) != 0) {
      Fault(offset_, who + Ru("неизвестные биты типа ключа ") + N(key.key_type));
    }
  }

  Status ReadPictures() {
    for (uint32_t p = 0; p < info_->header.picture_count; ++p) {
      std::string length_word;
      bool ok = false;
      ZUNA_RETURN_IF_ERROR(Take(dat::kPictureLengthSize, &length_word, &ok));
      if (!ok) return Status::OK();
      const size_t length = DecodeFixed16(length_word.data());
      // Scrambling runs over the length word and the text together; each
      // unit's word depends on its index only, so the prefix read above was
      // already plain and the whole entry can be read again as one span.
      std::string entry;
      ZUNA_RETURN_IF_ERROR(Take(dat::kPictureLengthSize + length, &entry, &ok));
      if (!ok) return Status::OK();
      if (length == 0 || entry.back() != '\0') {
        Fault(offset_, Ru("шаблон ") + N(p + 1) + Ru(" не кончается нулём"));
      }
      info_->pictures.push_back(
          Trimmed(entry.data() + dat::kPictureLengthSize,
                  std::strlen(entry.c_str() + dat::kPictureLengthSize)));
      offset_ += entry.size();
    }
    return Status::OK();
  }

  Status ReadArrays() {
    for (uint32_t a = 0; a < info_->header.array_count; ++a) {
      std::string fixed;
      bool ok = false;
      ZUNA_RETURN_IF_ERROR(Take(dat::kArrayDescriptorFixedSize, &fixed, &ok));
      if (!ok) return Status::OK();
      ArrayInfo array;
      array.own_dimensions = DecodeFixed16(&fixed[dat::kArrayOwnCountOffset]);
      array.total_dimensions =
          DecodeFixed16(&fixed[dat::kArrayTotalCountOffset]);
      array.total_size = DecodeFixed16(&fixed[dat::kArrayTotalSizeOffset]);
      if (array.total_dimensions > dat::kMaxDimensions ||
          array.own_dimensions > array.total_dimensions) {
        Fault(offset_, Ru("массив ") + N(a + 1) + Ru(": измерений ") +
                           N(array.total_dimensions) + Ru(" (своих ") +
                           N(array.own_dimensions) + Ru("), допустимо до 4"));
        stopped_ = true;  // its size is not to be trusted
        return Status::OK();
      }
      std::string d;
      ZUNA_RETURN_IF_ERROR(Take(dat::kArrayDescriptorFixedSize +
                                    dat::kArrayDimensionSize *
                                        array.total_dimensions,
                                &d, &ok));
      if (!ok) return Status::OK();
      for (size_t i = 0; i < array.total_dimensions; ++i) {
        const char* p = &d[dat::kArrayDescriptorFixedSize +
                           i * dat::kArrayDimensionSize];
        array.dimensions.emplace_back(DecodeFixed16(p), DecodeFixed16(p + 2));
      }
      info_->arrays.push_back(std::move(array));
      offset_ += d.size();
    }
    return Status::OK();
  }

  File& file_;
  DataFileInfo* info_;
  std::optional<ScrambleKey> key_;
  std::vector<CheckFault>* faults_;
  uint64_t offset_ = 0;
  bool stopped_ = false;
};

void HeaderFault(std::vector<CheckFault>* faults, const std::string& path,
                 FaultKind kind, uint64_t offset, std::string text) {
  if (faults != nullptr) {
    faults->push_back({kind, checker::BaseName(path), offset, std::move(text)});
  }
}

// Reads and unscrambles the header; false in *readable when nothing after
// the attribute word can be trusted.
Status ReadHeader(File& file, const std::optional<std::string>& owner,
                  DataFileInfo* info, std::vector<CheckFault>* faults) {
  if (info->file_size < dat::kHeaderSize) {
    HeaderFault(faults, info->path, FaultKind::kHeader, info->file_size,
                Ru("файл короче заголовка (") + N(info->file_size) +
                    Ru(" байт из 85)"));
    return Status::OK();
  }
  HeaderBytes bytes;
  ZUNA_RETURN_IF_ERROR(ReadExact(file, 0, bytes, Err::kInvalidDataFile));
  const uint16_t signature = DecodeFixed16(&bytes[dat::kSignatureOffset]);
  const uint16_t attributes = DecodeFixed16(&bytes[dat::kAttributesOffset]);
  info->header.signature = signature;
  info->header.attributes = attributes;
  if (signature != dat::kSignature) {
    HeaderFault(faults, info->path, FaultKind::kSignature, 0,
                Ru("неверная сигнатура ") + N(signature) +
                    Ru(" (ожидается \"V3\"): это не файл данных или он испорчен"));
    return Status::OK();
  }
  if ((attributes & ~kKnownAttributes) != 0 ||
      (attributes & dat::kAttrAlways) == 0) {
    HeaderFault(faults, info->path, FaultKind::kAttributes,
                dat::kAttributesOffset,
                Ru("слово атрибутов ") + N(attributes) +
                    Ru(": неизвестные биты или нет бита 0x80"));
  }
  info->owner_scrambled = (attributes & dat::kAttrOwner) != 0;
  if (info->owner_scrambled) {
    if (!owner) return Status::OK();
    Scramble(OwnerKey(*owner),
             std::span<char>(bytes).subspan(dat::kScrambledHeaderBegin,
                                            dat::kScrambledHeaderSize));
  }
  info->header = DecodeDatHeader(bytes);
  if (info->owner_scrambled &&
      HeaderCheckSum(bytes) != info->header.header_check) {
    HeaderFault(faults, info->path, FaultKind::kHeaderCheck,
                dat::kHeaderCheckOffset,
                Ru("контрольное слово заголовка не сходится: неверный текст "
                   "владельца или заголовок испорчен"));
    return Status::OK();
  }
  info->readable = true;
  return Status::OK();
}

Status DescribeKeyFiles(FileSystem& fs, DataFileInfo* info) {
  for (size_t k = 0; k < info->keys.size(); ++k) {
    KeyFileInfo key_file;
    key_file.number = static_cast<uint32_t>(k + 1);
    std::string name;
    ZUNA_RETURN_IF_ERROR(KeyFileName(info->path, key_file.number,
                                     info->keys[k].is_index(), &name));
    ZUNA_RETURN_IF_ERROR(fs.ResolveName(name, &key_file.path));
    key_file.present = fs.Exists(key_file.path);
    if (key_file.present) {
      std::unique_ptr<File> file;
      ZUNA_RETURN_IF_ERROR(fs.Open(key_file.path, {}, &file));
      ZUNA_RETURN_IF_ERROR(file->Size(&key_file.file_size));
      if (key_file.file_size >= kKeyHeaderSize) {
        char block[kKeyHeaderSize];
        ZUNA_RETURN_IF_ERROR(
            ReadExact(*file, 0, block, Err::kKeyFileMustBeRebuilt));
        key_file.header = DecodeKeyHeader(block);
        key_file.header_read = true;
      }
    }
    info->key_files.push_back(std::move(key_file));
  }
  return Status::OK();
}

}  // namespace

Status ResolveDataFileName(FileSystem& fs, const std::string& name,
                           std::string* data_path) {
  std::string full;
  ZUNA_RETURN_IF_ERROR(DataFileName(name, &full));
  return fs.ResolveName(full, data_path);
}

Status DescribeDataFile(FileSystem& fs, const std::string& data_path,
                        const std::optional<std::string>& owner,
                        DataFileInfo* info, std::vector<CheckFault>* faults) {
  *info = DataFileInfo();
  info->path = data_path;
  std::unique_ptr<File> file;
  ZUNA_RETURN_IF_ERROR(fs.Open(data_path, {}, &file));
  ZUNA_RETURN_IF_ERROR(file->Size(&info->file_size));
  ZUNA_RETURN_IF_ERROR(ReadHeader(*file, owner, info, faults));
  if (!info->readable) return Status::OK();
  std::optional<ScrambleKey> key;
  if (info->owner_scrambled) key = OwnerKey(*owner);
  ZUNA_RETURN_IF_ERROR(DescriptorReader(*file, info, key, faults).Run());
  return DescribeKeyFiles(fs, info);
}

}  // namespace zuna::datfile
