// FORMAT (value to display text) and DEFORMAT (display text back to a value)
// over compiled pictures (picture.h).
//
// Pure functions of their arguments and the locale tables; safe on any
// thread; defined for every input (an invalid serial prints blanks, an empty
// picture prints "", a NaN or a value too wide prints '#' in every position).
//
// Cost: FormatDate, FormatTime, DeformatDate and DeformatTime allocate
// nothing but their result (none at all for results of up to 15 characters)
// and read the locale tables in place; compile the picture once and reuse it.
#ifndef ZUNA_RUNTIME_VALUES_FORMAT_H_
#define ZUNA_RUNTIME_VALUES_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/values/locale.h"
#include "runtime/values/picture.h"

namespace zuna::values {

// Date picture: exactly width() characters.  Invalid serials print blanks
// in every digit and month-letter position (separators and literals still
// print), or all blanks when the picture's blank flag is set (the flag also
// blanks 0).  Two year digits when the picture has fewer than four year
// tokens, else four.  Pictures 4 and 18 print the full month name as stored,
// the others the three-letter name upper-cased through the case table; a
// name shorter than its letter tokens leaves those tokens out and the text
// is blank-padded to the width at the end.
// A picture of another kind gives "".
std::string FormatDate(int32_t serial, const Picture& picture,
                       const LocaleTables& tables = Locale());

// Time picture: as FormatDate, for time serials.  With an AM/PM marker the
// hour is on the 12-hour clock (12-23 PM, 13-23 shown less 12, 0 shown as
// 12); the marker prints the first letter of the AM or PM text and the token
// after it the second (a blank when there is none).  An invalid time prints
// blanks for the marker and the token after it too.
std::string FormatTime(int32_t serial, const Picture& picture,
                       const LocaleTables& tables = Locale());

// @Sn: the text cut or blank-padded to n characters.  Other kinds: the text
// cut or padded to the picture's width.
std::string FormatString(std::string_view text, const Picture& picture);

// Numeric (@N) and scientific (@E) pictures: the value rounded to the
// picture's places (half away from zero), right-aligned in its width with
// the fill in the unused leading digit positions and at least one integer
// digit.  A negative value shows '-' in the picture's sign position (a
// leading sign floats to just before the first digit when the fill is
// blank), in parentheses for a (...) picture, or, with no sign position, in
// the first unused leading position.  A value too wide for the picture, or
// NaN or infinite, prints '#' in every position; the blank flag blanks zero.
// @E prints C's %.*e form right-aligned.  Other kinds give "".
std::string FormatNumber(double value, const Picture& picture);

// Dispatch on the picture's kind: dates and times read `number` as a serial
// (truncated toward zero, saturated to LONG, NaN as 0), numbers format
// `number`, strings and patterns format `text`.  This is FORMAT of the
// expression language, which supplies both forms of its argument.
//
// Pattern pictures: @P places the decimal digits of `text` before any '.'
// right-aligned into its digit positions (leading zeros of the value are
// dropped first if it would not fit; still too many digits prints '#' in
// every position); unused '#' positions print '0', unused '<' positions a
// blank.  @K places the characters of `text` left to right into its
// character positions, blanks in those left over.  Literals print as
// written.  With the blank flag, a value of no digits but zeros (@P) or of
// blanks only (@K) prints all blanks.
std::string FormatValue(double number, std::string_view text,
                        const Picture& picture,
                        const LocaleTables& tables = Locale());

// DEFORMAT(text, picture): for dates and times the decimal digits of the
// serial ("0" when nothing was read, "-1" for an impossible date/time); for
// numeric pictures the kept digits with sign and decimal point; for @P the
// digits under its digit positions, for @K the characters under its
// character positions; for string, scientific and empty pictures the
// characters of the text that can form a number (DeformatNumericText).
//
// Numeric pictures walk the tokens against the input one position each: a
// '-' or '(' makes the result negative and a '+' positive under any token;
// the decimal-point token yields '.'; under a digit token a digit is kept
// and a blank counts as '0'; everything else is skipped.  The result has no
// superfluous leading zeros ("0305" under @n_4 gives "305"), no sign for a
// zero, and is "0" when nothing was kept.
std::string Deformat(std::string_view text, const Picture& picture,
                     const LocaleTables& tables = Locale());

// The serial forms, for callers that want numbers rather than text.
// DeformatDate walks the date picture's tokens against the text, one input
// character per token:
//  1. consecutive digit tokens of one kind form a field; each input digit is
//     accumulated into it (saturating far above any valid value); a
//     non-digit is skipped while the field has read no digit, and once one
//     was read it ends the field and is read again by the next token;
//  2. the first month-letter token compares the next three characters with
//     the three-letter month names ignoring case (CompareStringsNoCase); on a
//     match the month is set, the run's other letter tokens are skipped and
//     the input's further letters consumed; without a match it consumes one
//     character and the next letter token tries again;
//  3. separators and literals consume one character unchecked.
// Then: no digit read gives 0; pictures 13-16 take day 1 when a month and a
// year were read; a year below 100 is widened with the picture's century
// window; the result is DATE(month, day, year), so it rolls over and gives
// -1 for month 0.  A picture that is not a date picture gives 0.
int32_t DeformatDate(std::string_view text, const Picture& picture,
                     const LocaleTables& tables = Locale());
// The same walk for time pictures; the AM/PM marker compares the input
// character with the first letters of the PM and AM texts ignoring case
// (PM adds 12 to hours other than 12, AM turns 12 into 0) and consumes it.
// An hour of 24 or more, or a minute or second of 60 or more, gives -1; no
// digit read gives 0.  A picture that is not a time picture gives 0.
int32_t DeformatTime(std::string_view text, const Picture& picture,
                     const LocaleTables& tables = Locale());

// The rule for string pictures and DEFORMAT without a picture: digits, the
// first '.', the first 'e'/'E', and '+'/'-' only when nothing was kept yet
// or right after the kept exponent letter.
std::string DeformatNumericText(std::string_view text);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_FORMAT_H_
