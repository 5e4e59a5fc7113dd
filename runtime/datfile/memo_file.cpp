#include "runtime/datfile/memo_file.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/memo_format.h"
#include "runtime/values/code_page.h"

namespace zuna::datfile {
namespace {

using HeaderBytes = std::array<char, memo::kHeaderSize>;
using BlockBytes = std::array<char, memo::kBlockSize>;

HeaderBytes EncodeMemoHeader(uint32_t first_free) {
  HeaderBytes bytes{};
  EncodeFixed16(bytes.data() + memo::kSignatureOffset, memo::kSignature);
  EncodeFixed32(bytes.data() + memo::kFirstFreeOffset, first_free);
  return bytes;
}

std::string Number(uint64_t n) { return std::to_string(n); }

}  // namespace

Status CreateMemoFile(FileSystem& fs, const std::string& memo_path,
                      const OpenOptions& options) {
  OpenOptions create = options;
  create.write = true;
  create.create = true;
  create.exclusive = false;
  create.truncate = false;
  std::unique_ptr<File> file;
  ZUNA_RETURN_IF_ERROR(fs.Open(memo_path, create, &file));
  ZUNA_RETURN_IF_ERROR(file->WriteAt(0, EncodeMemoHeader(0)));
  ZUNA_RETURN_IF_ERROR(file->Truncate(memo::kHeaderSize));
  return file->Sync();
}

MemoFile::MemoFile(std::unique_ptr<File> file, const MemoDecl& memo,
                   std::optional<ScrambleKey> encrypt_key, bool oem)
    : file_(std::move(file)),
      memo_(memo),
      encrypt_key_(encrypt_key),
      oem_text_(oem && !memo.binary) {}

MemoFile::~MemoFile() = default;

Status MemoFile::Open(FileSystem& fs, const std::string& memo_path,
                      const OpenOptions& options, const MemoDecl& memo,
                      std::optional<ScrambleKey> encrypt_key, bool oem,
                      std::unique_ptr<MemoFile>* out) {
  OpenOptions open = options;
  open.create = false;
  open.exclusive = false;
  open.truncate = false;
  std::unique_ptr<File> handle;
  Status status = fs.Open(memo_path, open, &handle);
  if (!status.ok()) {
    return Status::Error(Err::kMemoFileMissing, memo_path + ": " + status.detail());
  }
  std::unique_ptr<MemoFile> file(new MemoFile(std::move(handle), memo, encrypt_key, oem));
  status = file->ReadHeader();
  if (!status.ok()) return Status::Error(Err::kMemoFileMissing, status.detail());
  *out = std::move(file);
  return Status::OK();
}

const std::string& MemoFile::path() const { return file_->path(); }

Status MemoFile::Corrupt(const std::string& why) const {
  return Status::Error(Err::kInvalidDataFile, file_->path() + ": " + why);
}

Status MemoFile::BlockCount(uint32_t* count) {
  uint64_t size = 0;
  ZUNA_RETURN_IF_ERROR(file_->Size(&size));
  *count = memo::BlockCount(size);
  return Status::OK();
}

Status MemoFile::ReadHeader() {
  HeaderBytes bytes;
  Status status = ReadExact(*file_, 0, bytes, Err::kInvalidDataFile);
  if (!status.ok()) return Corrupt("memo header unreadable: " + status.detail());
  if (DecodeFixed16(bytes.data() + memo::kSignatureOffset) != memo::kSignature) {
    return Corrupt("bad memo signature");
  }
  const uint32_t first_free = DecodeFixed32(bytes.data() + memo::kFirstFreeOffset);
  uint32_t block_count = 0;
  ZUNA_RETURN_IF_ERROR(BlockCount(&block_count));
  if (first_free > block_count) {
    return Corrupt("free block " + Number(first_free) + " beyond the file");
  }
  first_free_ = first_free;
  return Status::OK();
}

Status MemoFile::WriteHeader(uint32_t first_free) {
  ZUNA_RETURN_IF_ERROR(file_->WriteAt(0, EncodeMemoHeader(first_free)));
  first_free_ = first_free;
  return Status::OK();
}

Status MemoFile::ReadNext(uint32_t block, uint32_t block_count, uint32_t* next) {
  if (block < 1 || block > block_count) {
    return Corrupt("memo block " + Number(block) + " beyond the file");
  }
  char bytes[4];
  Status status = ReadExact(*file_, memo::BlockOffset(block) + memo::kNextOffset,
                            bytes, Err::kInvalidDataFile);
  if (!status.ok()) return Corrupt(status.detail());
  *next = DecodeFixed32(bytes);
  return Status::OK();
}

Status MemoFile::WalkChain(uint32_t first, uint32_t block_count,
                           std::vector<uint32_t>* blocks) {
  // A chain of distinct blocks has at most block_count of them; a longer
  // walk can only be a cycle (the next of a repeated block repeats too).
  blocks->clear();
  for (uint32_t block = first; block != 0;) {
    if (blocks->size() >= block_count) {
      return Corrupt("memo chain from block " + Number(first) + " loops");
    }
    blocks->push_back(block);
    ZUNA_RETURN_IF_ERROR(ReadNext(block, block_count, &block));
  }
  return Status::OK();
}

Status MemoFile::Read(uint32_t link, std::span<char> memo) {
  std::fill(memo.begin(), memo.end(), Blank());
  if (link == 0) return Status::OK();
  uint32_t block_count = 0;
  ZUNA_RETURN_IF_ERROR(BlockCount(&block_count));
  // Only as many blocks as the memo holds are read, so a cycle beyond them
  // cannot hold the reader; one within them is cut off by the buffer's end.
  size_t copied = 0;
  for (uint32_t block = link; block != 0 && copied < memo.size();) {
    if (block > block_count) {
      return Corrupt("memo block " + Number(block) + " beyond the file");
    }
    BlockBytes bytes;
    Status status = ReadExact(*file_, memo::BlockOffset(block), bytes, Err::kInvalidDataFile);
    if (!status.ok()) return Corrupt(status.detail());
    std::span<char> text(bytes.data() + memo::kTextOffset, memo::kTextSize);
    if (encrypt_key_) Scramble(*encrypt_key_, text);
    const size_t take = std::min(text.size(), memo.size() - copied);
    std::copy_n(text.begin(), take, memo.begin() + copied);
    copied += take;
    block = DecodeFixed32(bytes.data() + memo::kNextOffset);
  }
  if (oem_text_) values::Cp866ToCp1251InPlace(memo.data(), memo.size());
  return Status::OK();
}

Status MemoFile::Write(std::span<const char> memo, uint32_t old_link,
                       std::span<const char> as_read, MemoWriteResult* result) {
  size_t length = memo.size();
  while (length > 0 && memo[length - 1] == Blank()) --length;
  if (length == 0) {
    *result = {0, old_link};
    return Status::OK();
  }
  // The whole text, not a checksum of it: two different texts may share a
  // CRC, and the changed one must still reach the disk.
  if (old_link != 0 && as_read.size() == memo.size() &&
      std::equal(memo.begin(), memo.end(), as_read.begin())) {
    *result = {old_link, 0};
    return Status::OK();
  }
  const size_t needed = (length + memo::kTextSize - 1) / memo::kTextSize;
  BlockPlan plan;
  ZUNA_RETURN_IF_ERROR(PlanBlocks(old_link, needed, &plan));

  std::string text(memo.begin(), memo.begin() + static_cast<ptrdiff_t>(length));
  if (oem_text_) values::Cp1251ToCp866InPlace(text.data(), text.size());
  // The free list shrinks on disk before its blocks are overwritten: a
  // failure in between loses them, but never lets two chains share them.
  if (plan.free_head != first_free_) ZUNA_RETURN_IF_ERROR(WriteHeader(plan.free_head));
  ZUNA_RETURN_IF_ERROR(WriteChain(plan.blocks, text));
  *result = {plan.blocks.front(), plan.leftover};
  return Status::OK();
}

Status MemoFile::PlanBlocks(uint32_t old_link, size_t needed, BlockPlan* plan) {
  ZUNA_RETURN_IF_ERROR(ReadHeader());
  uint32_t block_count = 0;
  ZUNA_RETURN_IF_ERROR(BlockCount(&block_count));
  std::vector<uint32_t> old_chain;
  ZUNA_RETURN_IF_ERROR(WalkChain(old_link, block_count, &old_chain));
  std::unordered_set<uint32_t> in_use(old_chain.begin(), old_chain.end());

  BlockPlan p;
  p.blocks.assign(old_chain.begin(),
                  old_chain.begin() + static_cast<ptrdiff_t>(std::min(needed, old_chain.size())));
  p.leftover = old_chain.size() > needed ? old_chain[needed] : 0;
  p.free_head = first_free_;
  uint32_t appended = 0;
  while (p.blocks.size() < needed) {
    if (p.free_head == 0) {
      p.blocks.push_back(block_count + 1 + appended++);
      continue;
    }
    // Each block taken is remembered, so a free list that loops or runs
    // into a chain in use is caught before anything is written.
    const uint32_t block = p.free_head;
    if (!in_use.insert(block).second) {
      return Corrupt("memo block " + Number(block) + " both free and in use");
    }
    ZUNA_RETURN_IF_ERROR(ReadNext(block, block_count, &p.free_head));
    p.blocks.push_back(block);
  }
  *plan = std::move(p);
  return Status::OK();
}

Status MemoFile::WriteChain(const std::vector<uint32_t>& blocks,
                            const std::string& text) {
  // Last block first: every block written names only blocks already
  // written, so a chain on disk never runs into a half-made one.
  for (size_t i = blocks.size(); i-- > 0;) {
    BlockBytes bytes;
    bytes.fill(Blank());
    EncodeFixed32(bytes.data() + memo::kNextOffset,
                  i + 1 < blocks.size() ? blocks[i + 1] : 0);
    const size_t begin = i * memo::kTextSize;
    const size_t take = std::min(memo::kTextSize, text.size() - begin);
    std::copy_n(text.begin() + static_cast<ptrdiff_t>(begin), take,
                bytes.begin() + memo::kTextOffset);
    if (encrypt_key_) {
      Scramble(*encrypt_key_,
               std::span<char>(bytes.data() + memo::kTextOffset, memo::kTextSize));
    }
    ZUNA_RETURN_IF_ERROR(file_->WriteAt(memo::BlockOffset(blocks[i]), bytes));
  }
  return Status::OK();
}

Status MemoFile::Release(uint32_t first_block) {
  if (first_block == 0) return Status::OK();
  ZUNA_RETURN_IF_ERROR(ReadHeader());
  uint32_t block_count = 0;
  ZUNA_RETURN_IF_ERROR(BlockCount(&block_count));
  std::vector<uint32_t> chain;
  ZUNA_RETURN_IF_ERROR(WalkChain(first_block, block_count, &chain));
  if (std::find(chain.begin(), chain.end(), first_free_) != chain.end()) {
    return Corrupt("memo chain from block " + Number(first_block) +
                   " is already free");
  }
  char next[4];
  EncodeFixed32(next, first_free_);
  ZUNA_RETURN_IF_ERROR(
      file_->WriteAt(memo::BlockOffset(chain.back()) + memo::kNextOffset, next));
  return WriteHeader(first_block);
}

Status MemoFile::Reset() {
  ZUNA_RETURN_IF_ERROR(WriteHeader(0));
  return file_->Truncate(memo::kHeaderSize);
}

Status MemoFile::ReadStored(uint32_t link, std::string* stored) {
  stored->clear();
  if (link == 0) return Status::OK();
  uint32_t block_count = 0;
  ZUNA_RETURN_IF_ERROR(BlockCount(&block_count));
  // Bounded as Read is: only the blocks the declared size reaches.
  const size_t wanted = (size_t{memo_.size} + memo::kTextSize - 1) / memo::kTextSize;
  for (uint32_t block = link; block != 0 && stored->size() < wanted * memo::kTextSize;) {
    if (block > block_count) {
      return Corrupt("memo block " + Number(block) + " beyond the file");
    }
    BlockBytes bytes;
    Status status = ReadExact(*file_, memo::BlockOffset(block), bytes, Err::kInvalidDataFile);
    if (!status.ok()) return Corrupt(status.detail());
    stored->append(bytes.data() + memo::kTextOffset, memo::kTextSize);
    block = DecodeFixed32(bytes.data() + memo::kNextOffset);
  }
  return Status::OK();
}

Status MemoFile::AppendStored(std::string_view stored, uint32_t* link) {
  *link = 0;
  if (stored.empty()) return Status::OK();
  uint32_t block_count = 0;
  ZUNA_RETURN_IF_ERROR(BlockCount(&block_count));
  const size_t blocks = stored.size() / memo::kTextSize;
  // Last block first, as WriteChain does: no block on disk ever names one
  // that is not written yet.
  for (size_t i = blocks; i-- > 0;) {
    BlockBytes bytes;
    const uint32_t next =
        i + 1 < blocks ? block_count + 1 + static_cast<uint32_t>(i + 1) : 0;
    EncodeFixed32(bytes.data() + memo::kNextOffset, next);
    std::copy_n(stored.begin() + static_cast<ptrdiff_t>(i * memo::kTextSize),
                memo::kTextSize, bytes.begin() + memo::kTextOffset);
    ZUNA_RETURN_IF_ERROR(file_->WriteAt(
        memo::BlockOffset(block_count + 1 + static_cast<uint32_t>(i)), bytes));
  }
  *link = block_count + 1;
  return Status::OK();
}

Status MemoFile::Sync() { return file_->Sync(); }

}  // namespace zuna::datfile
