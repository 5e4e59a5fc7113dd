// The checker's entry point and its reporting: runs the data, memo and key
// parts in order over one context and formats faults for people.
#include "runtime/datfile/checker.h"

#include "runtime/datfile/checker_internal.h"
#include "runtime/values/code_page.h"

namespace zuna::datfile {
namespace checker {

std::string Ru(std::string_view utf8) { return values::Utf8ToCp1251(utf8); }

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace checker

const char* FaultKindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kHeader: return "header";
    case FaultKind::kSignature: return "signature";
    case FaultKind::kAttributes: return "attributes";
    case FaultKind::kHeaderCheck: return "header-check";
    case FaultKind::kDescriptors: return "descriptors";
    case FaultKind::kDataOffset: return "data-offset";
    case FaultKind::kFileTooShort: return "file-too-short";
    case FaultKind::kPartialSlot: return "partial-slot";
    case FaultKind::kExtraSlots: return "extra-slots";
    case FaultKind::kSlotStatus: return "slot-status";
    case FaultKind::kDeletedCount: return "deleted-count";
    case FaultKind::kLogicalEof: return "logical-eof";
    case FaultKind::kLogicalBof: return "logical-bof";
    case FaultKind::kFreeChainLink: return "free-chain-link";
    case FaultKind::kFreeChainLive: return "free-chain-live";
    case FaultKind::kFreeChainCycle: return "free-chain-cycle";
    case FaultKind::kFreeChainLength: return "free-chain-length";
    case FaultKind::kMemoFile: return "memo-file";
    case FaultKind::kMemoLink: return "memo-link";
    case FaultKind::kMemoFreeChain: return "memo-free-chain";
    case FaultKind::kKeyFileMissing: return "key-file-missing";
    case FaultKind::kKeyHeader: return "key-header";
    case FaultKind::kKeyTreeShape: return "key-tree-shape";
    case FaultKind::kKeyNodeCount: return "key-node-count";
    case FaultKind::kKeySeparator: return "key-separator";
    case FaultKind::kKeyLeafChain: return "key-leaf-chain";
    case FaultKind::kKeyCounts: return "key-counts";
    case FaultKind::kKeyFreeChain: return "key-free-chain";
    case FaultKind::kKeyStrayBytes: return "key-stray-bytes";
    case FaultKind::kKeyEntryMissing: return "key-entry-missing";
    case FaultKind::kKeyEntryExtra: return "key-entry-extra";
    case FaultKind::kKeyEntryValue: return "key-entry-value";
    case FaultKind::kKeyEntryTwice: return "key-entry-twice";
  }
  return "unknown";
}

std::string FormatFault(const CheckFault& fault) {
  return fault.file + checker::Ru(" (смещение ") + std::to_string(fault.offset) +
         "): " + fault.text;
}

std::vector<CheckFault> CheckResult::FaultsOf(FaultKind kind) const {
  std::vector<CheckFault> out;
  for (const CheckFault& fault : faults) {
    if (fault.kind == kind) out.push_back(fault);
  }
  return out;
}

Status CheckDataFile(FileSystem& fs, const std::string& data_path,
                     const CheckOptions& options, CheckResult* result) {
  using checker::Ru;
  *result = CheckResult();
  result->data_file = checker::BaseName(data_path);
  checker::Context ctx(fs, options, result);
  ZUNA_RETURN_IF_ERROR(
      DescribeDataFile(fs, data_path, options.owner, &ctx.info, &result->faults));
  if (ctx.info.owner_scrambled && !options.owner) {
    ctx.Note(Ru("заголовок и описания зашифрованы (OWNER): без текста владельца "
                "проверены только сигнатура и атрибуты; записи, memo и ключи "
                "не проверены"));
    return Status::OK();
  }
  if (!ctx.info.readable) return Status::OK();
  ZUNA_RETURN_IF_ERROR(fs.Open(data_path, {}, &ctx.data));
  ZUNA_RETURN_IF_ERROR(checker::CheckHeaderAndSlots(ctx));
  ZUNA_RETURN_IF_ERROR(checker::CheckMemoFile(ctx));
  return checker::CheckKeyFiles(ctx);
}

}  // namespace zuna::datfile
