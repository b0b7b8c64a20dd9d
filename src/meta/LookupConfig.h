#pragma once
// Where disc lookups go and where looked-up discs are kept, decided once when
// the program starts. The default looks nothing up and keeps nothing, which
// is what tests and benchmarks want unless they say otherwise.

#include <QString>

namespace qm::meta {

struct LookupConfig {
    bool network = false;      // false: never look a disc up
    QString musicBrainzServer; // a base URL; "" means the setting's
    QString coverArtServer;    // a base URL; "" means the public service
    QString discFolder;        // "" remembers nothing
    int timeoutMs = 15000;     // per request
    int minIntervalMs = 1000;  // between MusicBrainz requests, as the service asks
    bool accurateRip = false;  // false: never ask the AccurateRip database
    QString accurateRipServer; // a base URL; "" means the public database

    // The program's: lookups on, QUILLMERE_MUSICBRAINZ_SERVER and
    // QUILLMERE_COVERART_SERVER when set, discs in the user's data folder,
    // AccurateRip asked, at QUILLMERE_ACCURATERIP_SERVER when set.
    static LookupConfig FromEnvironment();
};

} // namespace qm::meta
