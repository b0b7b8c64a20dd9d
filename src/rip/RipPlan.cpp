#include "RipPlan.h"

#include "RipNames.h"

namespace qm {

QString RipPlan::Extension() const
{
    switch (format) {
    case FormatPortable:
    case FormatMp3: return QStringLiteral(".mp3");
    case FormatWav: return QStringLiteral(".WAV");
    case FormatWma: return QStringLiteral(".WMA");
    case FormatOgg: return QStringLiteral(".ogg");
    default: return QString();
    }
}

QString RipPlan::FileFor(int track) const
{
    return TrackFileName(folder, track + 1, Extension());
}

void RipPlan::SetFormat(int outputFormat, bool constant, const QString& kbps)
{
    format = outputFormat;
    encoderCode.clear();
    bitrate.clear();
    switch (outputFormat) {
    case FormatPortable:
        encoderCode = QStringLiteral("MP3C");
        bitrate = QStringLiteral("128");
        break;
    case FormatMp3:
        encoderCode = constant ? QStringLiteral("MP3C") : QStringLiteral("MP3V");
        bitrate = kbps;
        break;
    case FormatOgg:
        encoderCode = constant ? QStringLiteral("OGGC") : QStringLiteral("OGGV");
        bitrate = kbps;
        break;
    default: break;
    }
}

} // namespace qm
