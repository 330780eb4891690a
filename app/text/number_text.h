// Numbers as text: the lenient reader used for the configuration file, the
// prompts and preset files, and the forms numbers are written and drawn in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// Leading blanks are skipped and the number at the start of the text is
// taken (sign, digits, point, exponent); anything else gives 0. Never NaN or
// infinity: "nan" and "inf" read as 0, and a number too large for a double
// saturates to the largest finite one.
double parseNumber(std::string_view text);

// Nearest integer, ties to even; saturates at the int range; NaN gives 0.
int roundToInt(double value);

// A 32-bit float's range, saturating (the configuration's real lines).
float toSingle(double value);

// "%.7g" for single-precision and "%.16g" for double-precision values, with
// no trailing decimal point: 0.55, 225, 1.7. formatSingle is also the form of
// every real in korvane.ini and the preset files: a value seven digits do not
// tell apart reads back as the nearest float to its text, which then writes
// the same text again.
std::string formatSingle(float value);
std::string formatDouble(double value);

// One leading blank when the value is not negative (" 0", "-1", " 1.7"): the
// form of integers and reals written to files and printed in text cells.
std::string withSignBlank(std::string_view formatted);
std::string formatIntegerField(std::int64_t value);

}  // namespace korvane
