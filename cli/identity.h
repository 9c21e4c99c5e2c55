// What i2c set shares with identity set.
#pragma once

#include "board.h"
#include "context.h"

namespace tzctl {

// Refuses an identity block that would lose the card at its next power-up
// (usage, nothing written); --force skips this.
void GuardIdentity(const Context &x, const board::IdentityBlock &block);

}  // namespace tzctl
