// The scrambling of OWNER and ENCRYPT files.
//
// This is obfuscation, not cryptography: it keeps casual readers and editors
// from reading or patching the bytes of a file declared with an OWNER text or
// ENCRYPT, as the format requires, and nothing more.  Anyone with this source
// can undo it.
//
// The function works on 16-bit little-endian units: unit i of a span (bytes
// 2i and 2i+1) is xor-ed with a 16-bit word that depends only on the key and
// on i; a trailing odd byte stays plain.  Applying it twice gives back the
// input (x ^ w ^ w == x), and since each unit's word depends on its index
// alone, a prefix of a scrambled span (a picture entry's length word, for
// instance) can be unscrambled without the rest.  Where it is applied:
//
//   OWNER    header bytes 4..84 as one span (byte 84 stays plain), and each
//            descriptor as a span of its own: field (27), key (19 + 6n),
//            picture entry (length word and text together), array (6 + 4D).
//   ENCRYPT  the record image of each slot (not its 5-byte prefix), and the
//            252 text bytes of each memo block.
//
// The word for unit i is a 32-bit integer hash of (key << 16) ^ (i x golden
// ratio), folded to 16 bits; the key of an OWNER text is a 16-bit string hash
// of its bytes as given (case matters), never 0.  An ENCRYPT file without an
// OWNER uses the key of the empty text.
//
// Pure functions; any thread.
#ifndef ZUNA_RUNTIME_DATFILE_SCRAMBLE_H_
#define ZUNA_RUNTIME_DATFILE_SCRAMBLE_H_

#include <cstdint>
#include <span>
#include <string_view>

namespace zuna::datfile {

using ScrambleKey = uint16_t;

// The 16-bit key derived from an OWNER text (program code page bytes).
ScrambleKey OwnerKey(std::string_view owner);

// Scrambles, or unscrambles, `bytes` in place.  Self-inverse.
void Scramble(ScrambleKey key, std::span<char> bytes);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_SCRAMBLE_H_
