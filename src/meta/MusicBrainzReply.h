#pragma once
// Reading the MusicBrainz web service's answer to a disc ID lookup (JSON).

#include "meta/DiscIds.h"
#include "meta/DiscMetadata.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace qm::meta {

// A MusicBrainz ID: 36 characters of hex digits and dashes.
bool IsMbid(const QString& text);

// The releases of a lookup in the server's order, each with the medium that
// holds discId; releases none of whose media hold it are dropped. nullopt,
// with the reason in *why, when the reply is not JSON of the expected shape.
std::optional<QList<Release>> ParseDiscIdReply(const QByteArray& json, const QString& discId, QString* why);

} // namespace qm::meta
