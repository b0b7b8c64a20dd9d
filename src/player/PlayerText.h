#pragma once
// Numbers and texts the player shows: rounding to whole numbers, the volume
// label, the position label and the position slider's value.

#include <QString>
#include <cstdint>

namespace qm {

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Not-a-number gives 0; values beyond the 64-bit range are clamped.
std::int64_t RoundHalfEven(double value);

// "Volume : n" for a volume slider value (-100..0): n is a tenth of the
// volume, 0 to 10.
QString VolumeText(int sliderValue);

// "mm:ss / mm:ss" from the library's seconds of position and length; a failed
// (negative) count shows as zero.
QString PositionText(float positionSeconds, float lengthSeconds);

// How far a stream has got, 0..1 in single precision; 0 when the length is
// unknown (0 or the library's error value).
float PlayedRatio(std::uint64_t position, std::uint64_t length);

// A ratio (0..1) on a scale of 0..maximum, to the nearest whole step.
int RatioToScale(float ratio, int maximum);

} // namespace qm
