#include "exif/basic_conversion.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/checked.h"
#include "platform/runtime_failure.h"

namespace kelvane {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The parts of a decimal number: its digits without the point, and how many of
// them stand before the point once the exponent is applied.
struct DecimalText {
  bool negative = false;
  std::string digits;
  std::int64_t pointPosition = 0;
};

// Reads [blanks][sign]digits[.digits][e[sign]digits][blanks]; anything else is
// not a number.
DecimalText parseDecimal(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skipBlanks = [&] {
    while (i < n && text[i] == ' ') ++i;
  };
  DecimalText number;
  skipBlanks();
  if (i < n && (text[i] == '+' || text[i] == '-')) number.negative = text[i++] == '-';
  std::size_t mantissaDigits = 0;
  while (i < n && isDigit(text[i])) {
    number.digits.push_back(text[i++]);
    ++mantissaDigits;
  }
  number.pointPosition = static_cast<std::int64_t>(number.digits.size());
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && isDigit(text[i])) {
      number.digits.push_back(text[i++]);
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) failure::typeMismatch();
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i >= n || !isDigit(text[i])) failure::typeMismatch();
    std::int64_t exponent = 0;
    constexpr std::int64_t kExponentCap = 1'000'000'000;  // far beyond any Long
    while (i < n && isDigit(text[i])) {
      exponent = std::min(exponent * 10 + (text[i++] - '0'), kExponentCap);
    }
    number.pointPosition += negativeExponent ? -exponent : exponent;
  }
  skipBlanks();
  if (i != n) failure::typeMismatch();
  return number;
}

Long roundToLong(const DecimalText& number) {
  // Drop leading zeros; they change neither value nor rounding.
  std::size_t firstSignificant = number.digits.find_first_not_of('0');
  if (firstSignificant == std::string::npos) return 0;
  const std::string_view digits = std::string_view(number.digits).substr(firstSignificant);
  const std::int64_t point = number.pointPosition - static_cast<std::int64_t>(firstSignificant);
  if (point > 10) failure::overflow();  // at least 10^10

  std::int64_t whole = 0;
  for (std::int64_t k = 0; k < point; ++k) {
    const auto index = static_cast<std::size_t>(k);
    whole = whole * 10 + (index < digits.size() ? digits[index] - '0' : 0);
  }
  // Half to even: look at the first dropped digit and whether any other follows.
  const std::int64_t firstDropped = std::max<std::int64_t>(point, 0);
  if (point >= 0 && static_cast<std::size_t>(firstDropped) < digits.size()) {
    const int roundingDigit = digits[static_cast<std::size_t>(firstDropped)] - '0';
    const bool moreAfter =
        digits.find_first_not_of('0', static_cast<std::size_t>(firstDropped) + 1) != std::string_view::npos;
    if (roundingDigit > 5 || (roundingDigit == 5 && (moreAfter || whole % 2 != 0))) ++whole;
  }
  // A number below 0.1 (point < 0) rounds to 0.
  return checked::toLong(number.negative ? -whole : whole);
}

}  // namespace

Long convertTextToLong(std::string_view text) { return roundToLong(parseDecimal(text)); }

Long convertToLong(const TagValue& value) {
  if (const auto* number = std::get_if<Long>(&value)) return *number;
  if (const auto* text = std::get_if<std::string>(&value)) return convertTextToLong(*text);
  return 0;
}

}  // namespace kelvane
