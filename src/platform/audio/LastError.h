#pragma once
// The code BASS_ErrorGetCode reports: one per calling thread, so the output
// and read-ahead threads never overwrite what the GUI thread is about to read.

namespace qm::audio {

void SetLastError(int code);
int LastError();

// Record a failure and hand back the failure value.
template <typename T>
T Fail(int code, T result)
{
    SetLastError(code);
    return result;
}

// Record success and hand back the result.
template <typename T>
T Ok(T result)
{
    SetLastError(0);
    return result;
}

} // namespace qm::audio
