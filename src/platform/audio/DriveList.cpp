#include "DriveList.h"

#include "CueSheet.h"
#include "ImageDrive.h"
#include "PhysicalDrive.h"

#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <cstdio>
#include <set>

namespace qm::audio {

namespace {
// libcdio reports on stderr what the engine already answers with error codes.
void QuietLog(cdio_log_level_t, const char*) {}

std::vector<std::string> DeviceNodes()
{
    std::vector<std::string> nodes;
    std::set<QString> seen; // /dev/cdrom and /dev/sr0 are often one drive
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    for (char** d = devices; d && *d; ++d) {
        const QString canonical = QFileInfo(QFile::decodeName(*d)).canonicalFilePath();
        if (seen.insert(canonical.isEmpty() ? QFile::decodeName(*d) : canonical).second)
            nodes.emplace_back(*d);
    }
    cdio_free_device_list(devices);
    return nodes;
}

void AddImage(std::vector<std::unique_ptr<CdDrive>>& drives, const QString& path)
{
    const CueSheetCheck check = CheckCueSheet(path);
    if (!check.problem.isEmpty()) {
        std::fprintf(stderr, "quillmere: disc image %s: %s; it is left out\n", qPrintable(path),
                     qPrintable(check.problem));
        return;
    }
    drives.push_back(std::make_unique<ImageDrive>(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString()));
}
} // namespace

std::vector<std::unique_ptr<CdDrive>> FindDrives(bool physical, const QStringList& images, const QString& demoImage)
{
    cdio_log_set_handler(QuietLog);
    std::vector<std::unique_ptr<CdDrive>> drives;
    if (physical) {
        for (const std::string& node : DeviceNodes()) {
            if (auto drive = PhysicalDrive::open(node))
                drives.push_back(std::move(drive));
        }
    }
    qsizetype used = 0;
    for (const QString& image : images) {
        if (drives.size() >= kMaxDrives)
            break;
        AddImage(drives, image);
        ++used;
    }
    if (used < images.size())
        std::fprintf(stderr, "quillmere: only %d drives can be listed; %lld disc image(s) from %s on are left out\n",
                     static_cast<int>(kMaxDrives), static_cast<long long>(images.size() - used), qPrintable(images[used]));
    if (drives.empty() && !demoImage.isEmpty())
        AddImage(drives, demoImage);
    return drives;
}

} // namespace qm::audio
