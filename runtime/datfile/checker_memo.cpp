// The memo file part of the checker: the memo header, the chains the live
// records name and the free list, every block owned by at most one of them.
#include "runtime/datfile/checker_internal.h"
#include "runtime/datfile/coding.h"
#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/memo_format.h"

namespace zuna::datfile::checker {
namespace {

constexpr uint32_t kFreeOwner = 0xFFFFFFFFu;

class MemoChecker {
 public:
  MemoChecker(Context& ctx, File& file, std::string path, uint32_t blocks)
      : ctx_(ctx),
        file_(file),
        path_(std::move(path)),
        blocks_(blocks),
        owner_(size_t{blocks} + 1, 0) {
    const uint32_t memo_size = ctx.info.header.memo_size;
    max_chain_ = memo_size == 0
                     ? blocks
                     : (memo_size + memo::kTextSize - 1) / memo::kTextSize;
  }

  Status Run(uint32_t first_free) {
    for (uint32_t r = 1; r <= ctx_.slots_read; ++r) {
      if (!ctx_.live(r) || ctx_.links[r] == 0) continue;
      ZUNA_RETURN_IF_ERROR(Walk(r, ctx_.links[r]));
    }
    return Walk(kFreeOwner, first_free);
  }

 private:
  std::string Who(uint32_t owner) const {
    return owner == kFreeOwner ? Ru("список свободных блоков")
                               : Ru("запись ") + N(owner);
  }

  void Fault(uint32_t owner, uint64_t offset, std::string text) {
    if (owner == kFreeOwner) {
      ctx_.Fault(FaultKind::kMemoFreeChain, path_, offset,
                 Who(owner) + ": " + text);
    } else {
      ctx_.Fault(FaultKind::kMemoLink, path_, offset, Who(owner) + ": " + text);
    }
  }

  // Walks the chain from `block` for `owner` (a record or the free list).
  Status Walk(uint32_t owner, uint32_t block) {
    uint64_t from = owner == kFreeOwner ? memo::kFirstFreeOffset : 0;
    for (uint32_t steps = 0; block != 0; ++steps) {
      if (block > blocks_) {
        Fault(owner, from, Ru("ссылка на блок ") + N(block) +
                               Ru(" за концом файла (блоков ") + N(blocks_) + ")");
        return Status::OK();
      }
      if (owner_[block] != 0) {
        Fault(owner, memo::BlockOffset(block),
              Ru("блок ") + N(block) +
                  (owner_[block] == owner
                       ? Ru(" встречен дважды: цепочка замкнута")
                       : Ru(" уже занят: ") + Who(owner_[block])));
        return Status::OK();
      }
      if (owner != kFreeOwner && steps >= max_chain_) {
        Fault(owner, memo::BlockOffset(block),
              Ru("цепочка длиннее объявленного размера memo"));
        return Status::OK();
      }
      owner_[block] = owner;
      from = memo::BlockOffset(block) + memo::kNextOffset;
      char next[4];
      ZUNA_RETURN_IF_ERROR(ReadExact(file_, from, next, Err::kInvalidDataFile));
      block = DecodeFixed32(next);
    }
    return Status::OK();
  }

  Context& ctx_;
  File& file_;
  std::string path_;
  uint32_t blocks_;
  uint32_t max_chain_ = 0;
  std::vector<uint32_t> owner_;  // record number, kFreeOwner, 0: unused
};

void CheckNoMemoLinks(Context& ctx) {
  for (uint32_t r = 1; r <= ctx.slots_read; ++r) {
    if (ctx.live(r) && ctx.links[r] != 0) {
      ctx.DataFault(FaultKind::kMemoLink,
                    ctx.SlotOffset(r) + dat::kSlotLinkOffset,
                    Ru("запись ") + N(r) + Ru(": ссылка на memo ") +
                        N(ctx.links[r]) + Ru(", а у файла нет memo"));
    }
  }
}

}  // namespace

Status CheckMemoFile(Context& ctx) {
  if ((ctx.info.header.attributes & dat::kAttrMemo) == 0) {
    CheckNoMemoLinks(ctx);
    return Status::OK();
  }
  std::string path;
  ZUNA_RETURN_IF_ERROR(ctx.fs.ResolveName(
      CompanionFileName(ctx.info.path, kMemoExtension), &path));
  if (!ctx.fs.Exists(path)) {
    ctx.Fault(FaultKind::kMemoFile, path, 0, Ru("файл memo отсутствует"));
    return Status::OK();
  }
  std::unique_ptr<File> file;
  ZUNA_RETURN_IF_ERROR(ctx.fs.Open(path, {}, &file));
  uint64_t size = 0;
  ZUNA_RETURN_IF_ERROR(file->Size(&size));
  if (size < memo::kHeaderSize) {
    ctx.Fault(FaultKind::kMemoFile, path, 0, Ru("файл memo короче заголовка"));
    return Status::OK();
  }
  char header[memo::kHeaderSize];
  ZUNA_RETURN_IF_ERROR(ReadExact(*file, 0, header, Err::kMemoFileMissing));
  if (DecodeFixed16(header + memo::kSignatureOffset) != memo::kSignature) {
    ctx.Fault(FaultKind::kMemoFile, path, 0,
              Ru("неверная сигнатура файла memo (ожидается \"M3\")"));
    return Status::OK();
  }
  const uint32_t blocks = memo::BlockCount(size);
  const uint32_t first_free = DecodeFixed32(header + memo::kFirstFreeOffset);
  return MemoChecker(ctx, *file, path, blocks).Run(first_free);
}

}  // namespace zuna::datfile::checker
