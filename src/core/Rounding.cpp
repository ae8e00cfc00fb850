#include "core/Rounding.h"

#include <cmath>
#include <limits>

namespace kestrine::core {

std::int64_t RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    // Work on the magnitude: for a >= 0 the difference a - floor(a) is exact,
    // so a true half is recognised and nothing near it is mistaken for one.
    // Done by hand rather than through the floating-point rounding mode,
    // which a library could have changed.
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (magnitude >= limit) {
        return negative ? std::numeric_limits<std::int64_t>::min()
                        : std::numeric_limits<std::int64_t>::max();
    }
    const double down = std::floor(magnitude);
    const double fraction = magnitude - down;
    double rounded = down;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(down, 2.0) != 0.0))
        rounded = down + 1.0;
    if (rounded >= limit) {
        return negative ? std::numeric_limits<std::int64_t>::min()
                        : std::numeric_limits<std::int64_t>::max();
    }
    const auto whole = static_cast<std::int64_t>(rounded);
    return negative ? -whole : whole;
}

std::int32_t RoundHalfEven32(double value)
{
    const std::int64_t wide = RoundHalfEven(value);
    if (wide > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (wide < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(wide);
}

}  // namespace kestrine::core
