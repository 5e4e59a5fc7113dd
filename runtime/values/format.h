// FORMAT (value to display text) and DEFORMAT (display text back to a value)
// over compiled pictures (picture.h).
//
// Pure functions of their arguments and the locale tables; safe on any
// thread; defined for every input (an invalid serial prints blanks, an empty
// picture prints "").
#ifndef ZUNA_RUNTIME_VALUES_FORMAT_H_
#define ZUNA_RUNTIME_VALUES_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/values/locale.h"
#include "runtime/values/picture.h"

namespace zuna::values {

// Date picture: exactly width() characters.  Invalid serials print blanks
// in every digit position (separators and literals still print), or all
// blanks when the picture's blank flag is set (the flag also blanks 0).
std::string FormatDate(int32_t serial, const Picture& picture,
                       const LocaleTables& tables = Locale());

// Time picture: as FormatDate, for time serials.
std::string FormatTime(int32_t serial, const Picture& picture,
                       const LocaleTables& tables = Locale());

// @Sn: the text cut or blank-padded to n characters.
std::string FormatString(std::string_view text, const Picture& picture);

// Numeric pictures: the value rounded to the picture's places, right-aligned
// in its width; a value too wide for the picture prints as '#' in every
// position.
std::string FormatNumber(double value, const Picture& picture);

// Dispatch on the picture's kind: dates and times read `number` as a serial
// (truncated toward zero, saturated to LONG), numbers format `number`,
// strings and patterns format `text`.  This is FORMAT of the expression
// language, which supplies both forms of its argument.
std::string FormatValue(double number, std::string_view text,
                        const Picture& picture,
                        const LocaleTables& tables = Locale());

// DEFORMAT(text, picture): for dates and times the decimal digits of the
// serial ("0" when nothing was read, "-1" for an impossible date/time); for
// numeric pictures the kept digits with sign and decimal point; for string
// and other pictures, and with no picture, the characters of the text that
// can form a number.
std::string Deformat(std::string_view text, const Picture& picture,
                     const LocaleTables& tables = Locale());

// The serial forms, for callers that want numbers rather than text.
int32_t DeformatDate(std::string_view text, const Picture& picture,
                     const LocaleTables& tables = Locale());
int32_t DeformatTime(std::string_view text, const Picture& picture,
                     const LocaleTables& tables = Locale());

// The rule for string pictures and DEFORMAT without a picture: digits, the
// first '.', the first 'e'/'E', and '+'/'-' only first or right after the
// exponent letter.
std::string DeformatNumericText(std::string_view text);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_FORMAT_H_
