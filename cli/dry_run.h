// A dry run (-D): the card is read as usual and written never.
#pragma once

#include "device_library.h"

namespace tzctl {

// The table with every function that changes the card refusing, as a call
// the card did not answer; reads pass through. A command says the writes it
// would make before it gets to them: this is for the one it did not foresee,
// which fails instead of reaching the card.
DeviceLibrary WithoutWrites(const DeviceLibrary &lib);

}  // namespace tzctl
