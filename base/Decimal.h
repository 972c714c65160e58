#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <system_error>

// Plain decimal numbers read the quick exact way: at most 19 digits making an
// integer no larger than 2^53, scaled by a power of ten no larger than 10^22.
// Both are exact doubles, so one correctly rounded multiplication or division
// gives the double nearest the decimal value, which is what strtod and
// from_chars give. Files of coordinates hold almost nothing else; for any
// other number these return no result and the caller takes the general path.

// Reads the number that starts at p (an optional sign, digits with an
// optional point, an optional exponent with digits) while more(q) says q is
// still inside the text. Returns where the number ends and sets value, or
// returns null when the quick way does not apply.
template <typename More>
const char* ScanShortDecimal(const char* p, More more, double& value)
{
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr ptrdiff_t kMaxPower = 22;
    constexpr ptrdiff_t kMaxDigits = 19;  // so the digits cannot overflow 64 bits
    auto digit = [&more](const char* q) { return more(q) && *q >= '0' && *q <= '9'; };
    bool negative = false;
    if (more(p) && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    uint64_t mantissa = 0;
    const char* first = p;
    for (; digit(p); ++p)
        mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
    ptrdiff_t digits = p - first, scale = 0;
    if (more(p) && *p == '.') {
        const char* fraction = ++p;
        for (; digit(p); ++p)
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        scale = fraction - p;
        digits += p - fraction;
    }
    if (digits == 0 || digits > kMaxDigits)
        return nullptr;
    if (more(p) && (*p == 'e' || *p == 'E')) {
        ++p;
        bool down = false;
        if (more(p) && (*p == '+' || *p == '-'))
            down = *p++ == '-';
        if (!digit(p))
            return nullptr;
        ptrdiff_t exponent = 0;
        for (; digit(p); ++p)
            if (exponent < 100000)
                exponent = exponent * 10 + (*p - '0');
        scale += down ? -exponent : exponent;
    }
    if (mantissa > (uint64_t{1} << 53) || scale < -kMaxPower || scale > kMaxPower)
        return nullptr;
    double magnitude = static_cast<double>(mantissa);
    magnitude = scale < 0 ? magnitude / kPowers[-scale] : magnitude * kPowers[scale];
    value = negative ? -magnitude : magnitude;
    return p;
}

// The value of the number that is all of [first, last), when the quick way applies.
inline bool ParseShortDecimal(const char* first, const char* last, double& value)
{
    return ScanShortDecimal(first, [last](const char* q) { return q < last; }, value) == last;
}

// Where the decimal number that starts at p ends as strtod reads one: an
// optional sign, digits with an optional point, and an exponent only where
// digits follow its mark. Null where no digit comes before the exponent.
template <typename More>
const char* DecimalEnd(const char* p, More more)
{
    auto digit = [&more](const char* q) { return more(q) && *q >= '0' && *q <= '9'; };
    if (more(p) && (*p == '+' || *p == '-'))
        ++p;
    bool digits = false;
    for (; digit(p); ++p)
        digits = true;
    if (more(p) && *p == '.')
        for (++p; digit(p); ++p)
            digits = true;
    if (!digits)
        return nullptr;
    if (more(p) && (*p == 'e' || *p == 'E')) {
        const char* e = p + 1;
        if (more(e) && (*e == '+' || *e == '-'))
            ++e;
        if (digit(e)) {
            for (; digit(e); ++e) {
            }
            p = e;
        }
    }
    return p;
}

// The value of the decimal number from `first` to `last` (see DecimalEnd):
// the double nearest it, as strtod gives. from_chars gives that without
// strtod's locale and multi-precision machinery; values out of range still
// take strtod's answer.
inline double DecimalValue(const char* first, const char* last)
{
    double value;
    if (ParseShortDecimal(first, last, value))
        return value;
    // from_chars takes a minus sign but no plus sign.
    const std::from_chars_result r = std::from_chars(*first == '+' ? first + 1 : first, last, value);
    if (r.ec == std::errc())
        return value;
    return std::strtod(std::string(first, last).c_str(), nullptr);
}
