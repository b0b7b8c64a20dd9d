#pragma once
// The user's choices between runs: every option control of the settings
// panels, and the drive list's entry, copied to the store (SaveSettings) and
// back (LoadSettings). The controls are the live settings; nothing else holds
// them.

#include <QString>
#include <map>
#include <optional>

namespace qm {

class OptionsPanels;

namespace modSettings {

// All values in one change: true when every one was written; otherwise none
// was, and *why (when given) says why.
bool SaveSettings(OptionsPanels& panels, int driveEntry, QString* why);

// The drives' read offsets as one stored value: a line per drive with an
// offset, "<samples>\t<drive description>". Lines out of range are dropped.
QString ReadOffsetsText(const std::map<QString, int>& offsets);
std::map<QString, int> ReadOffsetsFrom(const QString& text);
// Returns the stored drive list entry (any number; the drive panel ignores
// one it does not have), none when the stored text is no number. A stored
// format this version does not know selects the first, and *problem (when
// given) says so.
std::optional<int> LoadSettings(OptionsPanels& panels, QString* problem = nullptr);
void RestoreFileFormat(OptionsPanels& panels);

// A stored number: decimal, rounded half to even to a 16-bit signed integer.
std::optional<int> ToInt16(const QString& text);
// A stored Boolean: "True"/"False" in any case, or a number (0 is false).
std::optional<bool> ToBool(const QString& text);

extern const char* const kSection;

} // namespace modSettings
} // namespace qm
