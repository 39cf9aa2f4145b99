#include "clean/clean_file.h"
