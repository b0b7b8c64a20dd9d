#pragma once

namespace qm {

// How one track's rip ended. Only Ripped tracks are counted as ripped.
enum class RipResult {
    Ripped,
    Failed,    // the writer told the user why
    Cancelled, // stopped by the user; the file holds what was read so far
};

} // namespace qm
