// GetNumberFormatA with the caller's own NUMBERFMTA: the locale is never
// consulted. The digits are rounded where they stand in the caller's text, so
// a value of any length is formatted without a working copy.
#include <climits>
#include <cstring>

#include "platform/linux/text/text_span.h"
#include "platform/system_status.h"

namespace {

constexpr UINT MOST_DECIMALS = 9;  // Windows allows no more fractional digits
constexpr UINT INDIAN_GROUPING = 32;
constexpr UINT LAST_NEGATIVE_ORDER = 4;

// The value as the caller wrote it, leading zeros of the whole part dropped,
// and how rounding to the wanted decimals changes its digits.
struct RoundedNumber {
  bool negative;
  TextSpan whole;
  TextSpan fraction;
  std::size_t decimals;
  bool roundUp;
  // Last kept digit that takes the carry; every kept digit after it becomes 0.
  // None (all nines) puts a new leading 1 in front.
  std::size_t carryAt;
  bool carriesOut;
};

// Output counted always, stored only while it fits, so one routine both
// measures and writes.
struct Emitter {
  char* out;
  std::size_t capacity;
  std::size_t length;
};

void emit(Emitter& emitter, char c) {
  if (emitter.length < emitter.capacity) emitter.out[emitter.length] = c;
  ++emitter.length;
}

void emitText(Emitter& emitter, const char* text) {
  while (*text != '\0') emit(emitter, *text++);
}

std::size_t digitRun(const char* text) {
  std::size_t length = 0;
  while (text[length] >= '0' && text[length] <= '9') ++length;
  return length;
}

// An optional '-', digits, an optional '.' and more digits; nothing else.
bool parseValue(const char* value, RoundedNumber& number) {
  number.negative = value[0] == '-';
  const char* cursor = value + (number.negative ? 1 : 0);
  number.whole = {cursor, digitRun(cursor)};
  cursor += number.whole.length;
  number.fraction = {cursor, 0};
  if (*cursor == '.') {
    number.fraction = {cursor + 1, digitRun(cursor + 1)};
    cursor += 1 + number.fraction.length;
  }
  if (*cursor != '\0' || number.whole.length + number.fraction.length == 0) return false;
  while (number.whole.length > 0 && number.whole.text[0] == '0') {
    ++number.whole.text;
    --number.whole.length;
  }
  return true;
}

// Digit k of the whole part followed by the kept decimals, before rounding.
char writtenDigit(const RoundedNumber& number, std::size_t k) {
  if (k < number.whole.length) return number.whole.text[k];
  k -= number.whole.length;
  return k < number.fraction.length ? number.fraction.text[k] : '0';
}

std::size_t keptDigits(const RoundedNumber& number) {
  return number.whole.length + number.decimals;
}

// Half up: a first dropped digit of 5 or more adds one to the last kept digit.
void planRounding(RoundedNumber& number) {
  number.roundUp =
      number.fraction.length > number.decimals && number.fraction.text[number.decimals] >= '5';
  number.carriesOut = number.roundUp;
  number.carryAt = 0;
  for (std::size_t k = keptDigits(number); number.roundUp && k > 0; --k) {
    if (writtenDigit(number, k - 1) != '9') {
      number.carryAt = k - 1;
      number.carriesOut = false;
      break;
    }
  }
}

char roundedDigit(const RoundedNumber& number, std::size_t k) {
  if (!number.roundUp) return writtenDigit(number, k);
  if (number.carriesOut || k > number.carryAt) return '0';
  char digit = writtenDigit(number, k);
  return k == number.carryAt ? static_cast<char>(digit + 1) : digit;
}

std::size_t wholeLength(const RoundedNumber& number) {
  return number.whole.length + (number.carriesOut ? 1 : 0);
}

char wholeDigit(const RoundedNumber& number, std::size_t i) {
  if (!number.carriesOut) return roundedDigit(number, i);
  return i == 0 ? '1' : '0';
}

char decimalDigit(const RoundedNumber& number, std::size_t i) {
  return number.carriesOut ? '0' : roundedDigit(number, number.whole.length + i);
}

// The sign of a value that rounds to zero is dropped.
bool showsMinus(const RoundedNumber& number) {
  if (!number.negative) return false;
  if (wholeLength(number) > 0) return true;
  for (std::size_t i = 0; i < number.decimals; ++i)
    if (decimalDigit(number, i) != '0') return true;
  return false;
}

// Grouping 3 gives 1,234,567; 32 groups three and then twos: 12,34,567.
bool separatorAfter(std::size_t digitsToTheRight, UINT grouping) {
  if (grouping == 0 || digitsToTheRight == 0) return false;
  std::size_t first = grouping == INDIAN_GROUPING ? 3 : grouping;
  std::size_t rest = grouping == INDIAN_GROUPING ? 2 : grouping;
  if (digitsToTheRight < first) return false;
  return (digitsToTheRight - first) % rest == 0;
}

void emitWhole(Emitter& emitter, const RoundedNumber& number, const NUMBERFMTA& format) {
  std::size_t length = wholeLength(number);
  if (length == 0) {
    if (format.LeadingZero != 0 || number.decimals == 0) emit(emitter, '0');
    return;
  }
  for (std::size_t i = 0; i < length; ++i) {
    emit(emitter, wholeDigit(number, i));
    if (separatorAfter(length - i - 1, format.Grouping)) emitText(emitter, format.lpThousandSep);
  }
}

void emitNumber(Emitter& emitter, const RoundedNumber& number, const NUMBERFMTA& format) {
  static const char* const BEFORE[] = {"(", "-", "- ", "", ""};
  static const char* const AFTER[] = {")", "", "", "-", " -"};
  bool minus = showsMinus(number);
  if (minus) emitText(emitter, BEFORE[format.NegativeOrder]);
  emitWhole(emitter, number, format);
  if (number.decimals > 0) {
    emitText(emitter, format.lpDecimalSep);
    for (std::size_t i = 0; i < number.decimals; ++i) emit(emitter, decimalDigit(number, i));
  }
  if (minus) emitText(emitter, AFTER[format.NegativeOrder]);
}

bool formatIsValid(const NUMBERFMTA& format) {
  bool groupingValid = format.Grouping <= 9 || format.Grouping == INDIAN_GROUPING;
  return format.NumDigits <= MOST_DECIMALS && groupingValid &&
         format.NegativeOrder <= LAST_NEGATIVE_ORDER && format.lpDecimalSep != nullptr &&
         format.lpThousandSep != nullptr;
}

}  // namespace

int GetNumberFormatA(LCID locale, DWORD flags, LPCSTR value, const NUMBERFMTA* format,
                     LPSTR numberText, int numberTextSize) {
  (void)locale;
  // Windows refuses flags alongside an explicit format.
  if (flags != 0 || value == nullptr || format == nullptr || !formatIsValid(*format)) return 0;
  if (numberTextSize < 0 || (numberTextSize > 0 && numberText == nullptr)) return 0;
  RoundedNumber number{};
  if (!parseValue(value, number)) return 0;
  number.decimals = format->NumDigits;
  planRounding(number);

  Emitter measure = {nullptr, 0, 0};
  emitNumber(measure, number, *format);
  std::size_t needed = measure.length + 1;  // with the terminator
  if (needed > static_cast<std::size_t>(INT_MAX)) return 0;
  if (numberTextSize == 0) return static_cast<int>(needed);
  if (needed > static_cast<std::size_t>(numberTextSize)) return 0;

  Emitter writer = {numberText, needed, 0};
  emitNumber(writer, number, *format);
  numberText[measure.length] = '\0';
  return static_cast<int>(needed);
}
