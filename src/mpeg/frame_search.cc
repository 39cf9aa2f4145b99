#include "mpeg/frame_search.h"
