#pragma once
// Texts the drive panel and the track list show: durations, speeds, drive
// entries, and texts the audio library hands over as zero-terminated bytes.

#include "platform/audio/AudioLibrary.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace qm {

// Whole seconds as mm:ss, or hh:mm:ss from one hour up. Hours keep all their
// digits (100 hours is "100:00:00", not a wrapped "00:00:00").
QString Seconds2HMS(std::int32_t lngSeconds);

// A track's length in bytes of CD audio as whole seconds, halves to even.
std::int32_t TrackSeconds(std::int32_t bytes);

// The text at an address the audio library returned. Reads at most maxBytes
// bytes (a text without its zero within that bound is cut there). UTF-8, or
// Latin-1 where the bytes are not valid UTF-8; null gives "".
inline constexpr std::size_t kMaxCStringBytes = 4096;
QString ReadCString(const char* address, std::size_t maxBytes = kMaxCStringBytes);
// Decodes exactly these bytes the same way.
QString DecodeLibraryText(const char* bytes, std::size_t length);

// "###,### Kbps": grouped with the locale's separator; 0 gives " Kbps".
QString FormatKbps(DWORD value);

// A drive's entry in the drive list: its short name, ": ", its description.
QString DriveEntryText(const char* name, const char* description, DWORD drive);

} // namespace qm
