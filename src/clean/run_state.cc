#include "clean/run_state.h"

namespace scourby {

std::atomic<std::int32_t> BreakRequested{0};

}  // namespace scourby
