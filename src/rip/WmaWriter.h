#pragma once
#include "platform/audio/AudioLibrary.h"

#include <QLocale>
#include <QString>

namespace qm {

// A WMA rate as the rate list shows it: kilobits per second, halves to the
// even neighbour, grouped as the locale groups thousands, then " Kbps".
QString WmaRateText(DWORD bitsPerSecond, const QLocale& locale);

} // namespace qm
