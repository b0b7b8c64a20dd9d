#pragma once
// The IDs a disc is known by online, from its table of contents: the
// MusicBrainz disc ID and the freedb ID.

#include "platform/audio/AudioLibrary.h"

#include <QString>

namespace qm::meta {

struct DiscIds {
    QString musicBrainz; // 28 characters; "" when the table gives none
    QString freedb;      // 8 lowercase hex digits; "" when the table gives none
};

// MusicBrainz counts only the audio session: data tracks after the last audio
// track are left out, and the audio ends 11400 sectors (the lead-out and
// lead-in between sessions) before the first of them. freedb counts every
// track up to the disc's lead-out.
DiscIds ComputeDiscIds(const QM_CD_TOC& toc);

// A MusicBrainz disc ID's shape (28 characters of A-Z a-z 0-9 . _ -), checked
// before one names a file or goes into a URL.
bool IsDiscId(const QString& id);

} // namespace qm::meta
