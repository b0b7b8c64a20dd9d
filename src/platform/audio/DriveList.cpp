#include "DriveList.h"

#include "ImageDrive.h"
#include "PhysicalDrive.h"

#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cdio/cdio.h>
#include <cdio/logging.h>

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
    const QFileInfo file(path);
    if (!file.isFile()) {
        qWarning("Quillmere: disc image %s is not a file; it is left out.", qPrintable(path));
        return;
    }
    drives.push_back(std::make_unique<ImageDrive>(QFile::encodeName(file.absoluteFilePath()).toStdString()));
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
    for (const QString& image : images)
        AddImage(drives, image);
    if (drives.empty() && !demoImage.isEmpty())
        AddImage(drives, demoImage);
    return drives;
}

} // namespace qm::audio
