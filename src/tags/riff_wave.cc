#include "tags/riff_wave.h"
