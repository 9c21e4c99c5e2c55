// cfg decode: configuration space decoded, beside cfg's dump, get and set.
#pragma once

#include "registry.h"

namespace tzctl {

void AddCfgDecode(Registry &r, CLI::App *cfg);

}  // namespace tzctl
