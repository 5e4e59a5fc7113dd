// The conversions between LONG, REAL and STRING values that the expression
// language and bound variables share.
//
//   REAL -> LONG    truncates toward zero and saturates: values beyond the
//                   LONG range give INT32_MIN / INT32_MAX, NaN gives 0 (a
//                   plain cast would be undefined behaviour there).
//   STRING -> REAL  reads the decimal number the first 40 characters begin
//                   with: leading blanks, an optional sign, digits with an
//                   optional '.', an optional exponent (e/E, optional sign,
//                   digits).  Text that does not begin with a number reads
//                   as 0; an exponent too large gives an infinity, one too
//                   small gives 0.
//   REAL -> STRING  up to 15 significant digits, no trailing zeros and no
//                   trailing decimal point ("64", "0.1", "1e+15"); -0 is
//                   written "0", infinities "inf" / "-inf".
//
// Pure functions; safe on any thread; defined for every input.
#ifndef ZUNA_RUNTIME_VALUES_CONVERSION_H_
#define ZUNA_RUNTIME_VALUES_CONVERSION_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::values {

// Characters of a text that STRING -> REAL looks at.
inline constexpr size_t kNumericPrefixLength = 40;

int32_t RealToLong(double value);
double StringToReal(std::string_view text);
std::string RealToString(double value);
std::string LongToString(int64_t value);

// Appends the text form without building a temporary string.
void AppendReal(double value, std::string& out);
void AppendLong(int64_t value, std::string& out);

// A NaN becomes 0; everything else is returned unchanged.  Arithmetic
// results pass through this so that NaN never travels through a filter.
inline double NanToZero(double value) { return value != value ? 0.0 : value; }

// True when a value of this text would be read by StringToReal as a whole:
// optional blanks, a sign, digits with at most one '.', an optional
// exponent, optional trailing blanks, and at least one digit.
bool IsNumericText(std::string_view text);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_CONVERSION_H_
