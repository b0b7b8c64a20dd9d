#include "LastError.h"

namespace qm::audio {

namespace {
thread_local int t_lastError = 0;
}

void SetLastError(int code) { t_lastError = code; }
int LastError() { return t_lastError; }

} // namespace qm::audio
