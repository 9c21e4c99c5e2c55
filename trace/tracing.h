// The process's one tracer, over the system: made on the first call of an
// export, never in DllMain, and never freed, since the library's interrupt
// thread may call a wrapped routine until the process ends.
#pragma once

#include "tracer.h"

namespace tztrace {

Tracer &Process();

}  // namespace tztrace
