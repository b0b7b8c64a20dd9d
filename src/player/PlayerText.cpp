#include "PlayerText.h"

#include "cd/DiscText.h"
#include "platform/audio/AudioLibrary.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace qm {

std::int64_t RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 as a double; anything at or beyond it cannot be held.
    constexpr double kLimit = 9223372036854775808.0;
    if (value >= kLimit)
        return std::numeric_limits<std::int64_t>::max();
    if (value <= -kLimit)
        return std::numeric_limits<std::int64_t>::min();
    // The default floating-point mode rounds to nearest, ties to even; make
    // sure nobody changed it.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    if (mode != FE_TONEAREST)
        std::fesetround(mode);
    return static_cast<std::int64_t>(rounded);
}

QString VolumeText(int sliderValue)
{
    return QStringLiteral("Volume : ") + QString::number(RoundHalfEven(std::abs(sliderValue) / 10.0));
}

namespace {
std::int32_t WholeSeconds(float seconds)
{
    if (!(seconds > 0.0f)) // negative: the library failed; also not-a-number
        return 0;
    const std::int64_t whole = RoundHalfEven(seconds);
    return whole > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                            : static_cast<std::int32_t>(whole);
}
} // namespace

QString PositionText(float positionSeconds, float lengthSeconds)
{
    return Seconds2HMS(WholeSeconds(positionSeconds)) + QStringLiteral(" / ") +
           Seconds2HMS(WholeSeconds(lengthSeconds));
}

float PlayedRatio(std::uint64_t position, std::uint64_t length)
{
    if (length == 0 || length == BASS_POSITION_ERROR || position == BASS_POSITION_ERROR)
        return 0.0f;
    const float r = static_cast<float>(static_cast<double>(position) / static_cast<double>(length));
    return r > 1.0f ? 1.0f : r;
}

int RatioToScale(float ratio, int maximum)
{
    const float clamped = ratio < 0.0f ? 0.0f : ratio > 1.0f ? 1.0f : ratio;
    return static_cast<int>(RoundHalfEven(clamped * static_cast<float>(maximum)));
}

} // namespace qm
