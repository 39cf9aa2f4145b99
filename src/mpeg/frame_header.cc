#include "mpeg/frame_header.h"

namespace scourby {

void InitFrameTables() {}

}  // namespace scourby
