#include "app/text/number_text.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace korvane {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number at the start of text: [sign] digits [. digits]
// [e [sign] digits], with at least one digit in the mantissa. 0 when none.
std::size_t numberLength(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) ++j;
            i = j;
        }
    }
    return i;
}

std::string trimTrailingPoint(std::string text) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

}  // namespace

double parseNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    text.remove_prefix(start);
    const std::size_t length = numberLength(text);
    if (length == 0) return 0.0;
    const std::string number(text.substr(0, length));
    double value = std::strtod(number.c_str(), nullptr);
    if (std::isnan(value)) return 0.0;
    if (std::isinf(value)) value = value > 0 ? DBL_MAX : -DBL_MAX;
    return value;
}

int roundToInt(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(value);  // default mode: ties to even
    if (rounded >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

float toSingle(double value) {
    if (std::isnan(value)) return 0.0f;
    if (value > FLT_MAX) return FLT_MAX;
    if (value < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(value);
}

std::string formatSingle(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
    return trimTrailingPoint(text);
}

std::string formatDouble(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.16g", value);
    return trimTrailingPoint(text);
}

std::string withSignBlank(std::string_view formatted) {
    if (!formatted.empty() && formatted.front() == '-') return std::string(formatted);
    return " " + std::string(formatted);
}

std::string formatIntegerField(std::int64_t value) {
    return withSignBlank(std::to_string(value));
}

}  // namespace korvane
