// The collation table: one weight per character code, and how it is built
// from an ordered sequence of characters (the environment file's VANCOLSEQ).
//
// Invariant 1: every table built here is a permutation of 0-255, so two
// different characters never weigh the same and string comparison is a total
// order in which only equal texts (up to trailing blanks) compare equal.  Key
// files embed that order; a table with ties would make distinct names
// duplicates of each other.
//
// The comparison walk itself is CompareStrings in locale.h.  Pure functions,
// safe on any thread.
#ifndef ZUNA_RUNTIME_VALUES_COLLATION_H_
#define ZUNA_RUNTIME_VALUES_COLLATION_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::values {

using CollationTable = std::array<uint8_t, 256>;

// Weight = code.
CollationTable IdentityCollation();

// The sequence lists characters in ascending order; repeats are dropped, the
// first occurrence counting.
//
// When exactly 222 distinct characters remain and there were no repeats, they
// are laid over the printable codes: the first 95 take the weights 32-126 and
// the remaining 127 the weights 128-254, in order, while codes 0-31, 127 and
// 255 keep their own weight.  This is done only when the 222 are exactly the
// printable codes (32-126 and 128-254) in some order: a list that names a
// control code instead of one of them would hand out a weight that an
// unlisted character still holds, breaking invariant 1, so such a list is
// ranked instead.
//
// Otherwise the listed characters are ranked among themselves: their own
// codes, taken in ascending order, are dealt out to them in list order (the
// first listed gets the smallest), and every unlisted character keeps its
// own code.  (For the exact printable set ranking and laying over agree.)
CollationTable CollationFromSequence(std::string_view sequence);

// The OEM form of the table that `sequence` (1251 text) builds: the same
// rule applied to the sequence converted to code page 866, so an OEM file's
// key entries weigh its 866 bytes.  Characters with no 866 form are left out
// of the converted sequence: no OEM text holds them, and keeping them as the
// converter's stand-in would rank that stand-in in their place.  An empty
// sequence gives the identity, as in the 1251 form.
CollationTable OemCollationFromSequence(std::string_view sequence);

// The order VANCOLSEQ=WINDOWS sorts codes 2-254 into, standing in for the
// operating system's string comparison so that every station, whatever its
// C library and locale, builds the same table:
//   1. control characters (2-31, 127 and the unassigned 98h), by code;
//   2. every other character that is neither a letter nor a digit (blank,
//      punctuation, symbols, no-break space, soft hyphen, «, №, …), by code;
//   3. the digits 0-9;
//   4. letters in alphabetical order, each upper-case letter directly before
//      its lower-case partner: Latin a-z, then Cyrillic
//      а б в г ґ д ђ ѓ е ё є ж з ѕ и і ї й ј к л љ м н њ о п р с т ћ ќ у ў
//      ф х ц ч џ ш щ ъ ы ь э ю я.
// Code 255 (я) is outside the sorted range and keeps weight 255, the highest;
// with upper case first, Я directly below it is where the order puts it
// anyway.  µ has no upper-case partner in 1251 and sorts as a symbol.
// The result holds 253 characters, so it is ranked (weights 2-254).
std::string SystemCollationSequence();

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_COLLATION_H_
