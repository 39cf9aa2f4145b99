#include "tags/id3v1.h"
