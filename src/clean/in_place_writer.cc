#include "clean/in_place_writer.h"
