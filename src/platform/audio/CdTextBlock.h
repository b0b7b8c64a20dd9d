#pragma once
// The CD-Text block BASS_CD_GetID(drive, 4) answers: zero-terminated texts
// "TITLE0=Album", "PERFORMER0=Artist", "TITLE1=First track", ... ended by an
// empty text. Index 0 is the disc; 1 to n are the disc's tracks in order,
// whatever number the first track carries.

#include <string>

typedef struct cdtext_s cdtext_t;

namespace qm::audio {

// Empty when the disc carries no text at all. libcdio reads a cue sheet's
// texts as Latin-1 and hands them over as UTF-8; with fromUtf8Cue that
// reading is undone, so a UTF-8 sheet's "Café" is not "CafÃ©".
std::string BuildCdTextBlock(const cdtext_t* text, int firstTrack, int trackCount, bool fromUtf8Cue = false);

} // namespace qm::audio
