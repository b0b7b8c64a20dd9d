#pragma once
// The engine's drives in index order: physical drives first, then the disc
// images asked for; the demo image only when neither gave a drive.

#include "CdDrive.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace qm::audio {

// As many as the drive list can show; images beyond are left out with a message.
constexpr std::size_t kMaxDrives = 64;

std::vector<std::unique_ptr<CdDrive>> FindDrives(bool physical, const QStringList& images, const QString& demoImage);

} // namespace qm::audio
