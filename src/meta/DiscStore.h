#pragma once
// Discs remembered between runs, one JSON file per disc ID in the data
// folder: the releases a lookup found, the one chosen, the user's edits, and
// the cover beside it. A remembered disc is shown at once, with no lookup.

#include "DiscMetadata.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>

namespace qm::meta {

// What the user typed over the disc's texts. An edit that is present wins
// over every other source, even when it is empty.
struct DiscEdits {
    std::optional<QString> artist;
    std::optional<QString> album;
    std::map<int, QString> titles; // by track number
    bool empty() const { return !artist && !album && titles.empty(); }
};

struct RememberedDisc {
    QList<Release> releases;
    int chosen = -1; // index into releases, -1 for none
    DiscEdits edits;
};

class DiscStore {
public:
    enum class Found { Nothing, Remembered, Damaged };
    struct Loaded {
        Found found = Found::Nothing;
        RememberedDisc disc;
        QString why; // for Damaged
    };

    // An empty folder remembers nothing (every load finds nothing, every
    // save succeeds without writing).
    explicit DiscStore(QString folder);

    // The folder Quillmere keeps its discs in: $XDG_DATA_HOME/quillmere/discs.
    static QString DefaultFolder();

    Loaded Load(const QString& discId) const;
    // Written whole to a temporary file and renamed over the old one, so a
    // crash leaves the old file or the new one, never a mix.
    bool Save(const QString& discId, const RememberedDisc& disc, QString* why) const;
    bool SaveCover(const QString& discId, const QByteArray& image, QString* why) const;
    // The remembered file and cover go; true when nothing of them is left.
    bool Forget(const QString& discId) const;
    void ForgetCover(const QString& discId) const;
    // The cover's file, "" when there is none.
    QString CoverPath(const QString& discId) const;

private:
    QString FilePath(const QString& discId, const char* suffix) const;

    QString m_folder;
};

} // namespace qm::meta
