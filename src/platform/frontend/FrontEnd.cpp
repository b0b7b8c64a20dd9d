#include "FrontEnd.h"

namespace qm {

const QStringList& FrontEnd::VariableNames()
{
    static const QStringList names{
        QStringLiteral("VersionNo"),      QStringLiteral("lock"),
        QStringLiteral("lockFlag"),       QStringLiteral("PlayEnabled"),
        QStringLiteral("PreviousEnabled"), QStringLiteral("NextEnabled"),
        QStringLiteral("BeginEnabled"),   QStringLiteral("EndEnabled"),
        QStringLiteral("StopEnabled"),    QStringLiteral("PauseEnabled"),
        QStringLiteral("ChangeStatus"),   QStringLiteral("CoverArt"),
        QStringLiteral("PlayState"),      QStringLiteral("NowPlaying"),
        QStringLiteral("Elapsed"),        QStringLiteral("Duration"),
    };
    return names;
}

} // namespace qm
