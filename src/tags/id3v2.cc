#include "tags/id3v2.h"
