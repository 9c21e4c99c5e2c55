// cfg decode: configuration space decoded, beside cfg's dump, get and set.
#pragma once

#include "config_space.h"
#include "registry.h"

namespace tzctl {

void AddCfgDecode(Registry &r, CLI::App *cfg);
// The lines of a decoded header: the device line, the subsystem, identity's
// lines (where the ids came from), then the rest as PCI tools print it.
std::string DecodedText(const board::ConfigHeader &h, const std::string &deviceLine,
                        const std::string &identity);
// "Capabilities: [40] ID 01" a line each, then how a broken list ended.
std::string CapabilitiesText(const board::CapabilityList &list);

}  // namespace tzctl
