// The data file part of the checker: the header against the file size, the
// record slots, the counts in the header and the chain of deleted slots.
#include <algorithm>

#include "runtime/datfile/checker_internal.h"
#include "runtime/datfile/coding.h"
#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/scramble.h"

namespace zuna::datfile::checker {
namespace {

constexpr uint8_t kKnownStatusBits = dat::kStatusNew | dat::kStatusRevised |
                                     dat::kStatusDeleted | dat::kStatusHeld;
// Slots read from the disk at once.
constexpr uint32_t kSlotsPerRead = 4096;

std::string Record(uint32_t record_no) {
  return Ru("запись ") + N(record_no) + ": ";
}

// How the counted slots fit the file; sets ctx.slots_read.
void CheckFileSize(Context& ctx) {
  const DatHeader& h = ctx.info.header;
  const uint64_t size = ctx.info.file_size;
  if (h.data_offset > size) {
    ctx.DataFault(FaultKind::kFileTooShort, size,
                  Ru("файл кончается раньше начала записей (смещение ") +
                      N(h.data_offset) + ")");
    return;
  }
  const uint64_t fit = (size - h.data_offset) / h.slot_length;
  const uint64_t end = h.data_offset + uint64_t{h.record_slots} * h.slot_length;
  if (fit < h.record_slots) {
    ctx.DataFault(FaultKind::kFileTooShort, size,
                  Ru("файл обрывается: в заголовке слотов ") +
                      N(h.record_slots) + Ru(", а целиком в файле ") + N(fit) +
                      Ru(" (размер ") + N(size) + Ru(", нужно ") + N(end) + ")");
  } else if (size > end) {
    // Bytes after the last counted slot are what an append leaves when it
    // stops between writing its slot and writing the header (a crash, or a
    // failed key write that was taken back).  No reader looks there, and the
    // next ADD writes over them: worth saying, not a fault.
    ctx.Note(Ru("за последним слотом (") + N(h.record_slots) +
             Ru(") ещё ") + N(size - end) +
             Ru(" байт от незавершённого добавления; следующее добавление их "
                "перезапишет"));
  }
  ctx.slots_read = static_cast<uint32_t>(std::min<uint64_t>(fit, h.record_slots));
}

Status ReadSlots(Context& ctx) {
  const uint32_t slot_length = ctx.info.header.slot_length;
  const uint32_t record_length = ctx.record_length();
  ctx.status.assign(size_t{ctx.slots_read} + 1, 0);
  ctx.links.assign(size_t{ctx.slots_read} + 1, 0);
  ctx.images.assign(size_t{ctx.slots_read} * record_length, '\0');
  std::optional<ScrambleKey> encrypt;
  if ((ctx.info.header.attributes & dat::kAttrEncrypt) != 0) {
    encrypt = OwnerKey(ctx.options.owner.value_or(""));
  }
  std::string chunk;
  for (uint32_t first = 1; first <= ctx.slots_read; first += kSlotsPerRead) {
    const uint32_t count = std::min(kSlotsPerRead, ctx.slots_read - first + 1);
    chunk.resize(size_t{count} * slot_length);
    ZUNA_RETURN_IF_ERROR(ReadExact(*ctx.data, ctx.SlotOffset(first), chunk,
                                   Err::kInvalidDataFile));
    for (uint32_t i = 0; i < count; ++i) {
      char* slot = &chunk[size_t{i} * slot_length];
      const uint32_t record_no = first + i;
      ctx.status[record_no] = static_cast<uint8_t>(slot[dat::kSlotStatusOffset]);
      ctx.links[record_no] = DecodeFixed32(slot + dat::kSlotLinkOffset);
      char* image = &ctx.images[size_t{record_no - 1} * record_length];
      std::copy_n(slot + dat::kSlotPrefixSize, record_length, image);
      if (encrypt) Scramble(*encrypt, std::span<char>(image, record_length));
    }
  }
  return Status::OK();
}

void CheckStatusBytes(Context& ctx) {
  uint32_t held = 0;
  for (uint32_t r = 1; r <= ctx.slots_read; ++r) {
    const uint8_t status = ctx.status[r];
    if ((status & ~kKnownStatusBits) != 0 || (status & dat::kStatusNew) == 0) {
      ctx.DataFault(FaultKind::kSlotStatus, ctx.SlotOffset(r),
                    Record(r) + Ru("байт состояния ") + N(status) +
                        Ru(": неизвестные биты или нет бита новой записи"));
    }
    if ((status & dat::kStatusDeleted) != 0) {
      ++ctx.result->deleted_records;
    } else {
      ++ctx.result->live_records;
      if ((status & dat::kStatusHeld) != 0) ++held;
    }
  }
  if (held > 0) {
    ctx.Note(Ru("записей с флагом удержания (HOLD): ") + N(held) +
             Ru("; после сбоя он остаётся, пока запись не изменят"));
  }
}

void CheckCounts(Context& ctx) {
  const DatHeader& h = ctx.info.header;
  // Slots the file cannot hold are counted as the header says, so that a
  // cut file is reported once (as too short), not again in every count.
  if (ctx.slots_read == h.record_slots &&
      ctx.result->deleted_records != h.deleted_count) {
    ctx.DataFault(FaultKind::kDeletedCount, dat::kDeletedCountOffset,
                  Ru("в заголовке удалённых ") + N(h.deleted_count) +
                      Ru(", а слотов с битом удаления ") +
                      N(ctx.result->deleted_records));
  }
  uint32_t lowest = 0, highest = 0;
  for (uint32_t r = 1; r <= ctx.slots_read; ++r) {
    if (!ctx.live(r)) continue;
    if (lowest == 0) lowest = r;
    highest = r;
  }
  if (ctx.slots_read < h.record_slots) return;
  if (h.logical_eof != highest) {
    ctx.DataFault(FaultKind::kLogicalEof, dat::kLogicalEofOffset,
                  Ru("логический конец файла ") + N(h.logical_eof) +
                      Ru(", а последняя живая запись ") + N(highest));
  }
  // With no live record a forward scan finds nothing wherever it starts:
  // deleting the lowest record leaves BOF on the next slot, at most the last.
  const bool bof_ok = lowest != 0 ? h.logical_bof == lowest
                                   : h.logical_bof <= h.record_slots;
  if (!bof_ok) {
    ctx.DataFault(FaultKind::kLogicalBof, dat::kLogicalBofOffset,
                  Ru("логическое начало файла ") + N(h.logical_bof) +
                      Ru(", а первая живая запись ") + N(lowest));
  }
}

void CheckFreeChain(Context& ctx) {
  const DatHeader& h = ctx.info.header;
  std::vector<bool> on_chain(size_t{ctx.slots_read} + 1, false);
  uint64_t link_offset = dat::kFirstFreeOffset;
  std::string from = Ru("начало цепочки удалённых в заголовке");
  for (uint32_t r = h.first_free; r != 0;) {
    if (r > h.record_slots) {
      ctx.DataFault(FaultKind::kFreeChainLink, link_offset,
                    from + Ru(" указывает на слот ") + N(r) +
                        Ru(" за пределами файла (слотов ") +
                        N(h.record_slots) + ")");
      break;
    }
    if (r > ctx.slots_read) break;  // in the part cut off: reported already
    if (on_chain[r]) {
      ctx.DataFault(FaultKind::kFreeChainCycle, link_offset,
                    from + Ru(" снова указывает на запись ") + N(r) +
                        Ru(": цепочка удалённых замкнута в кольцо"));
      break;
    }
    if (ctx.live(r)) {
      ctx.DataFault(FaultKind::kFreeChainLive, link_offset,
                    from + Ru(" указывает на живую запись ") + N(r));
      break;
    }
    on_chain[r] = true;
    link_offset = ctx.SlotOffset(r) + dat::kSlotLinkOffset;
    from = Record(r) + Ru("ссылка цепочки удалённых");
    r = ctx.links[r];
  }
  if (ctx.slots_read < h.record_slots) return;
  uint32_t missing = 0;
  for (uint32_t r = 1; r <= ctx.slots_read; ++r) {
    if (ctx.live(r) || on_chain[r]) continue;
    if (++missing <= 10) {
      ctx.DataFault(FaultKind::kFreeChainLength, ctx.SlotOffset(r),
                    Record(r) + Ru("удалена, но не стоит в цепочке удалённых"));
    }
  }
  if (missing > 10) {
    ctx.DataFault(FaultKind::kFreeChainLength, dat::kFirstFreeOffset,
                  Ru("ещё удалённых записей вне цепочки: ") + N(missing - 10));
  }
}

}  // namespace

Status CheckHeaderAndSlots(Context& ctx) {
  const DatHeader& h = ctx.info.header;
  if ((h.attributes & dat::kAttrLocked) != 0) {
    ctx.Note(Ru("файл помечен как заблокированный (LOCK); после сбоя метку "
                "снимает восстановление блокировки"));
  }
  if (h.slot_length < dat::kSlotPrefixSize) {
    ctx.DataFault(FaultKind::kHeader, dat::kSlotLengthOffset,
                  Ru("длина слота ") + N(h.slot_length) +
                      Ru(" меньше 5: записи прочесть нельзя"));
    return Status::OK();
  }
  CheckFileSize(ctx);
  ZUNA_RETURN_IF_ERROR(ReadSlots(ctx));
  ctx.result->record_slots = h.record_slots;
  CheckStatusBytes(ctx);
  CheckCounts(ctx);
  CheckFreeChain(ctx);
  return Status::OK();
}

}  // namespace zuna::datfile::checker
