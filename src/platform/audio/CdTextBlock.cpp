#include "CdTextBlock.h"

#include <cdio/cdtext.h>

namespace qm::audio {

namespace {
struct Field {
    cdtext_field_t field;
    const char* name;
};
constexpr Field kFields[] = {
    {CDTEXT_FIELD_TITLE, "TITLE"},       {CDTEXT_FIELD_PERFORMER, "PERFORMER"},
    {CDTEXT_FIELD_SONGWRITER, "SONGWRITER"}, {CDTEXT_FIELD_COMPOSER, "COMPOSER"},
    {CDTEXT_FIELD_ARRANGER, "ARRANGER"}, {CDTEXT_FIELD_MESSAGE, "MESSAGE"},
    {CDTEXT_FIELD_GENRE, "GENRE"},
};
// libcdio's UTF-8 of Latin-1 bytes back to those bytes: every character is below U+0100.
std::string Latin1Bytes(const char* utf8)
{
    std::string out;
    for (const auto* p = reinterpret_cast<const unsigned char*>(utf8); *p; ++p) {
        if (*p >= 0xC2 && *p <= 0xC3 && (p[1] & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((*p & 0x03) << 6) | (p[1] & 0x3F)));
            ++p;
        } else {
            out.push_back(static_cast<char>(*p));
        }
    }
    return out;
}
} // namespace

std::string BuildCdTextBlock(const cdtext_t* text, int firstTrack, int trackCount, bool fromUtf8Cue)
{
    if (!text)
        return {};
    std::string block;
    for (int index = 0; index <= trackCount; ++index) {
        const auto track = static_cast<track_t>(index == 0 ? 0 : firstTrack + index - 1);
        for (const Field& f : kFields) {
            const char* value = cdtext_get_const(text, f.field, track);
            if (!value || !*value)
                continue;
            block += f.name;
            block += std::to_string(index);
            block += '=';
            block += fromUtf8Cue ? Latin1Bytes(value) : std::string(value);
            block.push_back('\0');
        }
    }
    if (block.empty())
        return {};
    block.push_back('\0');
    return block;
}

} // namespace qm::audio
