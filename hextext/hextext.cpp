#include "hextext.h"
