#include "SoundOutput.h"

#include "NullOutput.h"
#include "PulseOutput.h"

#include <string_view>

namespace qm::audio {

// How much faster than real time "null:fast" plays.
constexpr double kFastNullSpeed = 20.0;

std::unique_ptr<SoundOutput> OpenSoundOutput(const OutputChoice& choice, std::string* error)
{
    const std::string_view kind = choice.kind;
    if (kind == "null")
        return std::make_unique<NullOutput>(1.0);
    if (kind == "null:fast")
        return std::make_unique<NullOutput>(kFastNullSpeed);
    if (!kind.empty() && kind != "pulse") {
        if (error)
            *error = "unknown sound output \"" + std::string(kind) + "\"";
        return nullptr;
    }
    return PulseOutput::Open(choice.pulseServer, choice.pulseSink, error);
}

} // namespace qm::audio
