// The key part of the checker: each key file's header and tree (through
// CheckKeyFile, key_file.h), then its leaf entries against the live records
// of the data file.
#include <algorithm>
#include <unordered_map>

#include "runtime/datfile/checker_internal.h"
#include "runtime/datfile/coding.h"
#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/descriptors.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "runtime/datfile/key_tree_internal.h"
#include "runtime/datfile/oem_convert.h"

namespace zuna::datfile::checker {
namespace {

// Individual faults of one kind reported per key before the rest are only
// counted: a key of a damaged file may miss every entry.
constexpr uint32_t kFaultsPerKind = 20;

struct LeafEntry {
  uint32_t record_no = 0;
  std::string value;
  uint64_t offset = 0;  // of the entry in the key file
};

// One key being checked.
struct KeyRun {
  size_t index = 0;  // 0-based key number
  const KeyInfo* key = nullptr;
  const KeyFileInfo* file = nullptr;
  KeyLayout layout;
  bool walked = false;  // entries collected from a sound header
  std::vector<LeafEntry> entries;
};

FaultKind KindOfInvariant(int invariant) {
  switch (invariant) {
    case 2: return FaultKind::kKeyTreeShape;
    case 3: return FaultKind::kKeyNodeCount;
    case 4: return FaultKind::kKeySeparator;
    case 5: return FaultKind::kKeyLeafChain;
    case 6: return FaultKind::kKeyCounts;
    case 7: return FaultKind::kKeyFreeChain;
    case 8: return FaultKind::kKeyStrayBytes;
    default: return FaultKind::kKeyHeader;
  }
}

// The Russian lead of a tree fault; the detail after it is the key file
// layer's own (node numbers and counts).
std::string LeadOfInvariant(int invariant) {
  switch (invariant) {
    case 2: return Ru("нарушена форма дерева");
    case 3: return Ru("неверное число элементов в узле");
    case 4: return Ru("неверный разделитель во внутреннем узле");
    case 5: return Ru("нарушена цепочка листьев или порядок элементов");
    case 6: return Ru("счётчики заголовка не сходятся с листьями");
    case 7: return Ru("испорчена цепочка свободных узлов");
    case 8: return Ru("лишние данные или потерянные узлы");
    default: return Ru("заголовок ключа не согласуется с описанием ключа или размером файла");
  }
}

bool IsTextCode(uint8_t code) {
  return code == dat::kTypeString || code == dat::kTypePictureString ||
         code == dat::kTypeGroup;
}

// Walks the tree from the root in key order and collects the leaf entries,
// those under an inner node's rightmost child (key_file.h, invariant 4)
// included.  Bounded like CheckKeyFile: a node is visited once, depth stops
// at the height, a count beyond capacity makes the node's entries unusable.
class EntryCollector {
 public:
  EntryCollector(File& file, const KeyHeader& h, const KeyLayout& layout,
                 std::vector<LeafEntry>* out)
      : file_(file), h_(h), layout_(layout), out_(out),
        seen_(size_t{h.node_count} + 1, false) {}

  Status Collect(uint32_t node_no, uint32_t depth) {
    if (node_no == 0 || node_no > h_.node_count || seen_[node_no]) {
      return Status::OK();
    }
    seen_[node_no] = true;
    KeyNode node;
    ZUNA_RETURN_IF_ERROR(ReadExact(file_, uint64_t{node_no} * kKeyBlockSize,
                                   node.block(), Err::kKeyFileMustBeRebuilt));
    if (node.count() > layout_.entries_per_node) return Status::OK();
    const size_t el = layout_.entry_length;
    for (size_t i = 0; i < node.count(); ++i) {
      if (depth < h_.height) {
        ZUNA_RETURN_IF_ERROR(Collect(node.number(i, el), depth + 1));
        continue;
      }
      out_->push_back({node.number(i, el),
                       std::string(node.value(i, el), layout_.key_length),
                       uint64_t{node_no} * kKeyBlockSize + kNodeEntriesOffset +
                           i * el});
    }
    if (depth < h_.height) return CollectRightmost(node_no, node, depth);
    return Status::OK();
  }

 private:
  Status CollectRightmost(uint32_t node_no, const KeyNode& node,
                          uint32_t depth) {
    const uint32_t right = node.right();
    if (right == 0 || right > h_.node_count || seen_[right]) {
      return Status::OK();
    }
    KeyNode named;
    ZUNA_RETURN_IF_ERROR(ReadExact(file_, uint64_t{right} * kKeyBlockSize,
                                   named.block(), Err::kKeyFileMustBeRebuilt));
    if (!IsRightmostChild(node_no, named)) return Status::OK();
    return Collect(right, depth + 1);
  }

  File& file_;
  const KeyHeader& h_;
  const KeyLayout& layout_;
  std::vector<LeafEntry>* out_;
  std::vector<bool> seen_;
};

// The tree check of one key file, and its entries when the header allows.
Status CheckTree(Context& ctx, KeyRun* run) {
  std::unique_ptr<File> file;
  ZUNA_RETURN_IF_ERROR(ctx.fs.Open(run->file->path, {}, &file));
  std::vector<KeyFault> faults;
  ZUNA_RETURN_IF_ERROR(CheckKeyFile(*file, &run->layout, &faults));
  for (const KeyFault& f : faults) {
    ctx.Fault(KindOfInvariant(f.invariant), run->file->path, f.offset,
              LeadOfInvariant(f.invariant) + ": " + f.what);
  }
  if (!run->file->header_read || run->file->file_size < kKeyBlockSize) {
    return Status::OK();
  }
  const KeyHeader& h = run->file->header;
  if (!KeyHeaderFaults(h, run->layout, run->file->file_size).empty()) {
    return Status::OK();
  }
  run->walked = true;
  return EntryCollector(*file, h, run->layout, &run->entries).Collect(h.root, 1);
}

// The key's encoder and the conversion of its text, rebuilt from the
// descriptor as a declaration of just the key's components.
struct KeyValues {
  FileDecl decl;
  KeyEncoder encoder;
  OemTextMap oem;
  bool usable = false;  // every component type known and encodable

  KeyValues(const Context& ctx, const KeyInfo& key, bool oem_text) {
    decl.label = "CHK";
    decl.record_length = static_cast<uint16_t>(ctx.record_length());
    decl.oem = oem_text;
    KeyDecl k;
    k.label = key.name;
    k.duplicates = (key.key_type & kKeyTypeDuplicates) != 0;
    k.nocase = (key.key_type & kKeyTypeNoCase) != 0;
    k.optional = (key.key_type & kKeyTypeNotOptional) == 0;
    k.index = (key.key_type & kKeyTypeIndex) != 0;
    bool known = true;
    for (const KeyComponentInfo& c : key.components) {
      if (c.type_code == dat::kTypeOther || c.type_code > dat::kTypeDecimal) {
        known = false;
      }
      FieldDecl field;
      field.label = "CHK:C" + N(decl.fields.size() + 1);
      field.type = FieldTypeOfCode(c.type_code);
      field.offset = c.offset;
      field.size = c.length;
      k.components.push_back({static_cast<uint16_t>(decl.fields.size())});
      decl.fields.push_back(std::move(field));
    }
    decl.keys.push_back(k);
    const values::LocaleTables& tables =
        ctx.options.locale != nullptr ? *ctx.options.locale : values::Locale();
    usable = known && KeyEncoder::Create(decl, decl.keys[0], tables, &encoder).ok();
    if (oem_text) oem = OemTextMap(decl);
  }

  // The record as the program holds it (text in 1251).
  std::string Program(std::span<const char> image) const {
    std::string record(image.begin(), image.end());
    oem.ToProgram(record);
    return record;
  }
};

bool HasTextComponent(const KeyInfo& key) {
  return std::any_of(key.components.begin(), key.components.end(),
                     [](const KeyComponentInfo& c) { return IsTextCode(c.type_code); });
}

// Records whose expected value is among the key's entries, with text
// taken as ANSI or as OEM.
uint32_t Agreement(const Context& ctx, const KeyRun& run, bool oem_text) {
  const KeyValues values(ctx, *run.key, oem_text);
  if (!values.usable) return 0;
  std::unordered_map<uint32_t, const LeafEntry*> by_record;
  for (const LeafEntry& e : run.entries) by_record.emplace(e.record_no, &e);
  uint32_t agree = 0;
  for (const auto& [record_no, entry] : by_record) {
    if (!ctx.live(record_no)) continue;
    const std::string record = values.Program(ctx.Image(record_no));
    if (values.encoder.MakeEntry(record_no, record).substr(kEntryNumberSize) ==
        entry->value) {
      ++agree;
    }
  }
  return agree;
}

bool DecideOem(Context& ctx, const std::vector<KeyRun>& runs) {
  if (ctx.options.text != TextCodePage::kDetect) {
    return ctx.options.text == TextCodePage::kOem;
  }
  uint64_t ansi = 0, oem = 0;
  bool has_text = false;
  for (const KeyRun& run : runs) {
    if (!run.walked || run.key->is_index() || !HasTextComponent(*run.key)) continue;
    has_text = true;
    ansi += Agreement(ctx, run, false);
    oem += Agreement(ctx, run, true);
  }
  if (!has_text) return false;
  if (oem > ansi) {
    ctx.Note(Ru("текст записей в кодировке OEM (866): с ней согласны ключи"));
    return true;
  }
  if (ansi == oem && ansi > 0) {
    ctx.Note(Ru("кодировку текста (ANSI или OEM) по ключам не отличить; "
                "проверено как ANSI"));
  }
  return false;
}

// Reports at most kFaultsPerKind faults of a kind, then counts the rest.
class CappedFaults {
 public:
  CappedFaults(Context& ctx, const std::string& path) : ctx_(ctx), path_(path) {}
  ~CappedFaults() {
    for (const auto& [kind, count] : counts_) {
      if (count <= kFaultsPerKind) continue;
      ctx_.Fault(kind, path_, 0, Ru("и ещё таких нарушений: ") +
                                     N(count - kFaultsPerKind));
    }
  }
  void Add(FaultKind kind, uint64_t offset, std::string text) {
    if (++counts_[kind] <= kFaultsPerKind) {
      ctx_.Fault(kind, path_, offset, std::move(text));
    }
  }

 private:
  Context& ctx_;
  const std::string& path_;
  std::unordered_map<FaultKind, uint32_t> counts_;
};

// Every live record has its entry, and every entry a live record.
void CrossCheck(Context& ctx, const KeyRun& run, bool oem_text) {
  const std::string& path = run.file->path;
  CappedFaults faults(ctx, path);
  const uint32_t slots = ctx.info.header.record_slots;
  std::unordered_map<uint32_t, const LeafEntry*> by_record;
  for (const LeafEntry& e : run.entries) {
    const std::string who = Ru("элемент для записи ") + N(e.record_no);
    if (e.record_no == 0 || e.record_no > slots) {
      faults.Add(FaultKind::kKeyEntryExtra, e.offset,
                 who + Ru(": такой записи нет (слотов ") + N(slots) + ")");
    } else if (e.record_no > ctx.slots_read) {
      continue;  // in the cut-off part of the data file, reported there
    } else if (!ctx.live(e.record_no)) {
      faults.Add(FaultKind::kKeyEntryExtra, e.offset,
                 who + Ru(": запись удалена"));
    } else if (!by_record.emplace(e.record_no, &e).second) {
      faults.Add(FaultKind::kKeyEntryTwice, e.offset,
                 who + Ru(": второй элемент той же записи"));
    }
  }
  const KeyValues values(ctx, *run.key, oem_text);
  const bool optional = (run.key->key_type & kKeyTypeNotOptional) == 0;
  for (uint32_t r = 1; r <= ctx.slots_read; ++r) {
    if (!ctx.live(r)) continue;
    const auto found = by_record.find(r);
    const LeafEntry* entry = found == by_record.end() ? nullptr : found->second;
    if (!values.usable) {
      if (entry == nullptr && !optional) {
        faults.Add(FaultKind::kKeyEntryMissing, ctx.SlotOffset(r),
                   Ru("запись ") + N(r) + Ru(": нет элемента в ключе"));
      }
      continue;
    }
    const std::string record = values.Program(ctx.Image(r));
    if (optional && values.encoder.IsBlank(record)) {
      if (entry != nullptr) {
        faults.Add(FaultKind::kKeyEntryExtra, entry->offset,
                   Ru("элемент для записи ") + N(r) +
                       Ru(": значение пустое, а ключ OPT пустых не хранит"));
      }
      continue;
    }
    if (entry == nullptr) {
      faults.Add(FaultKind::kKeyEntryMissing, ctx.SlotOffset(r),
                 Ru("запись ") + N(r) + Ru(": нет элемента в ключе"));
    } else if (values.encoder.MakeEntry(r, record).substr(kEntryNumberSize) !=
               entry->value) {
      faults.Add(FaultKind::kKeyEntryValue, entry->offset,
                 Ru("элемент для записи ") + N(r) +
                     Ru(": значение не совпадает с записью"));
    }
  }
}

}  // namespace

Status CheckKeyFiles(Context& ctx) {
  std::vector<KeyRun> runs;
  for (size_t k = 0; k < ctx.info.keys.size() && k < ctx.info.key_files.size(); ++k) {
    const KeyInfo& key = ctx.info.keys[k];
    const KeyFileInfo& file = ctx.info.key_files[k];
    KeySummary summary{file.number, BaseName(file.path), key.name,
                       key.is_index(), file.present, 0};
    if (!file.present) {
      if (key.is_index()) {
        ctx.Note(Ru("индекс ") + BaseName(file.path) +
                 Ru(" не построен (файла нет); индекс строится командой BUILD"));
      } else {
        ctx.Fault(FaultKind::kKeyFileMissing, file.path, 0,
                  Ru("файл ключа ") + key.name + Ru(" отсутствует"));
      }
      ctx.result->keys.push_back(summary);
      continue;
    }
    KeyRun run;
    run.index = k;
    run.key = &key;
    run.file = &file;
    run.layout = MakeKeyLayout(std::min<uint16_t>(key.key_length, kMaxKeyLength),
                               static_cast<uint8_t>(key.components.size()),
                               key.key_type);
    ZUNA_RETURN_IF_ERROR(CheckTree(ctx, &run));
    summary.entries = static_cast<uint32_t>(run.entries.size());
    ctx.result->keys.push_back(summary);
    runs.push_back(std::move(run));
  }
  const bool oem_text = DecideOem(ctx, runs);
  for (const KeyRun& run : runs) {
    // An INDEX is built by BUILD only and lags behind record writes.
    if (run.walked && !run.key->is_index()) CrossCheck(ctx, run, oem_text);
  }
  return Status::OK();
}

}  // namespace zuna::datfile::checker
