// Configuration space decoded as PCI tools print it for a type-0 header,
// lines and names matching them so that the two can be read side by side,
// with where the identity came from beside the ids.
#include "cfg_decode.h"

#include "config_space.h"
#include "dumps.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

struct Flag {
    std::uint16_t bit;  // 0: the DEVSEL timing field
    const char *name, *key;
};

const Flag kControlFlags[] = {
    {0x0001, "I/O", "io"},
    {0x0002, "Mem", "mem"},
    {0x0004, "BusMaster", "bus_master"},
    {0x0008, "SpecCycle", "special_cycles"},
    {0x0010, "MemWINV", "mem_write_invalidate"},
    {0x0020, "VGASnoop", "vga_snoop"},
    {0x0040, "ParErr", "parity_error_response"},
    {0x0080, "Stepping", "stepping"},
    {0x0100, "SERR", "serr"},
    {0x0200, "FastB2B", "fast_back_to_back"},
    {0x0400, "DisINTx", "interrupt_disable"},
};

const Flag kStatusFlags[] = {
    {0x0010, "Cap", "capabilities"},
    {0x0020, "66MHz", "mhz66"},
    {0x0040, "UDF", "udf"},
    {0x0080, "FastB2B", "fast_back_to_back"},
    {0x0100, "ParErr", "master_data_parity_error"},
    {0, "DEVSEL", "devsel"},
    {0x0800, ">TAbort", "signaled_target_abort"},
    {0x1000, "<TAbort", "received_target_abort"},
    {0x2000, "<MAbort", "received_master_abort"},
    {0x4000, ">SERR", "signaled_system_error"},
    {0x8000, "<PERR", "detected_parity_error"},
    {0x0008, "INTx", "interrupt"},
};

const char *const kDevsel[] = {"fast", "medium", "slow", "??"};

const char *Devsel(std::uint16_t status)
{
    return kDevsel[status >> 9 & 3];
}

std::string FlagsText(const char *title, const Flag (&flags)[11], std::uint16_t value)
{
    std::string text = Format("\t%s:", title);
    for (const Flag &f : flags)
        text += Format(" %s%c", f.name, value & f.bit ? '+' : '-');
    return text + "\n";
}

std::string StatusText(std::uint16_t status)
{
    std::string text = "\tStatus:";
    for (const Flag &f : kStatusFlags)
        text += f.bit ? Format(" %s%c", f.name, status & f.bit ? '+' : '-')
                      : Format(" DEVSEL=%s", Devsel(status));
    return text + "\n";
}

json FlagsJson(const Flag *begin, const Flag *end, std::uint16_t value)
{
    json object = json::object();
    for (const Flag *f = begin; f != end; ++f)
        object[f->key] = f->bit ? json(static_cast<bool>(value & f->bit)) : json(Devsel(value));
    return object;
}

// 256, 32K, 1M: the largest unit the size is a whole number of.
std::string SizeText(std::uint32_t size)
{
    const char *units = "KMG";
    int unit = -1;
    while (size >= 1024 && size % 1024 == 0 && unit < 2) {
        size /= 1024;
        ++unit;
    }
    return Format("%lu", static_cast<unsigned long>(size)) +
           (unit < 0 ? "" : std::string(1, units[unit]));
}

std::string RegionText(const board::Region &r)
{
    std::string text = Format("\tRegion %u: ", r.index);
    if (r.io)
        text += Format("I/O ports at %04llx", static_cast<unsigned long long>(r.address));
    else
        text += Format("Memory at %08llx (%s, %s)", static_cast<unsigned long long>(r.address),
                       r.bits64 ? "64-bit" : "32-bit",
                       r.prefetchable ? "prefetchable" : "non-prefetchable");
    if (r.disabled)
        text += " [disabled]";
    if (r.size)
        text += " [size=" + SizeText(*r.size) + "]";
    return text + "\n";
}

json RegionJson(const board::Region &r)
{
    return {{"region", r.index},
            {"space", r.io ? "io" : "mem"},
            {"address", r.address},
            {"bits", r.bits64 ? 64 : 32},
            {"prefetchable", r.prefetchable},
            {"size", r.size ? json(*r.size) : json()},
            {"disabled", r.disabled}};
}

const char *const kListEnds[] = {"absent", "complete", "looped", "below_header", "unaligned"};

}  // namespace

std::string CapabilitiesText(const board::CapabilityList &list)
{
    if (list.end == board::CapabilityList::Absent)
        return "\tCapabilities: <none>\n";
    std::string text;
    for (const board::Capability &c : list.entries)
        text += Format("\tCapabilities: [%02x] ID %02x\n", c.offset, c.id);
    switch (list.end) {
    case board::CapabilityList::Looped:
        return text + Format("\tCapabilities: [%02x] <chain looped>\n", list.pointer);
    case board::CapabilityList::BelowHeader:
        return text +
               Format("\tCapabilities: <pointer %02x below 0x40; the list stops>\n", list.pointer);
    case board::CapabilityList::Unaligned:
        return text + Format("\tCapabilities: <pointer %02x not dword aligned; the list stops>\n",
                             list.pointer);
    default:
        return text;
    }
}

namespace {

json CapabilitiesJson(const board::CapabilityList &list)
{
    json entries = json::array();
    for (const board::Capability &c : list.entries)
        entries.push_back({{"offset", c.offset}, {"id", c.id}});
    return entries;
}

// Where the ids in use came from: the block the chip loads at power-up, or,
// without one, the chip itself. A block written since shows as differences.
struct IdentitySource {
    std::string text;
    json object;
};

IdentitySource Source(Context &x, const board::Identity &inUse)
{
    board::IdentityBlock block;
    const board::Outcome read = board::ReadIdentityBlock(x.card, block);
    if (!read.ok())
        return {
            Format("\tIdentity: not known, the EEPROM could not be read (%s failed)\n", read.call),
            {{"source", "unknown"}}};
    if (!board::HasIdentityHeader(block))
        return {Format("\tIdentity: the chip's own; the EEPROM holds no identity block (header "
                       "%02x)\n",
                       block[0]),
                {{"source", "chip"}}};
    std::string text = "\tIdentity: from the identity block in the EEPROM\n";
    json differences = json::array();
    for (const board::IdentityDifference &d :
         board::CompareIdentity(board::DecodeIdentity(block), inUse)) {
        text += Format("\t\t%s %0*x in the EEPROM, %0*x in use\n", d.field, d.digits, d.eeprom,
                       d.digits, d.inUse);
        differences.push_back({{"field", d.field}, {"eeprom", d.eeprom}, {"in_use", d.inUse}});
    }
    return {text, {{"source", "eeprom"}, {"differences", differences}}};
}

std::string TimingText(const board::ConfigHeader &h)
{
    // As PCI tools show it: a latency timer means something only to a master.
    if (!(h.command & board::kCommandBusMaster))
        return "";
    std::string text = Format("\tLatency: %u", h.latency);
    if (h.minGnt || h.maxLat) {
        text += " (";
        if (h.minGnt)
            text += Format("%uns min", h.minGnt * 250u);
        if (h.minGnt && h.maxLat)
            text += ", ";
        if (h.maxLat)
            text += Format("%uns max", h.maxLat * 250u);
        text += ")";
    }
    if (h.cacheLine)
        text += Format(", Cache Line Size: %u bytes", h.cacheLine * 4u);
    return text + "\n";
}

char PinLetter(UCHAR pin)
{
    return pin ? static_cast<char>('A' + pin - 1) : '?';
}

void CfgDecode(Context &x, const Options &o)
{
    x.Open(o.force);
    Bytes bytes;
    Check(board::ReadBytes(x.card, board::ByteSpace::Config, 0, board::kConfigSpaceBytes, bytes));
    const board::ConfigHeader h = board::DecodeConfigSpace(bytes, x.card.chip);
    const IdentitySource source = Source(x, h.id);
    json regions = json::array();
    for (const board::Region &r : h.regions)
        regions.push_back(RegionJson(r));
    json object = {
        {"card", x.card.index},
        {"address", PciAddress(x.card.index)},
        {"chip", board::ChipName(x.card.chip)},
        {"vendor", h.id.vid},
        {"device", h.id.did},
        {"revision", h.id.rid},
        {"base_class", h.baseClass},
        {"sub_class", h.subClass},
        {"prog_if", h.progIf},
        {"subsystem_vendor", h.id.svid},
        {"subsystem", h.id.sid},
        {"identity", source.object},
        {"regions", regions},
        {"irq", h.interruptLine},
        {"interrupt_pin",
         h.interruptPin ? json(std::string(1, PinLetter(h.interruptPin))) : json()},
        {"latency", h.latency},
        {"cache_line_bytes", h.cacheLine * 4u},
        {"min_gnt_ns", h.minGnt * 250u},
        {"max_lat_ns", h.maxLat * 250u},
        {"control", FlagsJson(std::begin(kControlFlags), std::end(kControlFlags), h.command)},
        {"status", FlagsJson(std::begin(kStatusFlags), std::end(kStatusFlags), h.status)},
        {"capabilities", CapabilitiesJson(h.capabilities)},
        {"capability_list", kListEnds[h.capabilities.end]}};
    if (h.capabilities.pointer)
        object["capability_stop"] = h.capabilities.pointer;
    x.Print(DecodedText(h, PciDeviceLine(x.card.index, bytes), source.text), object);
}

}  // namespace

std::string DecodedText(const board::ConfigHeader &h, const std::string &deviceLine,
                        const std::string &identity)
{
    std::string text = deviceLine;
    text += Format("\tSubsystem: Device %04x:%04x\n", h.id.svid, h.id.sid);
    text += identity;
    text += FlagsText("Control", kControlFlags, h.command) + StatusText(h.status);
    text += TimingText(h);
    if (h.interruptPin || h.interruptLine)
        text += Format("\tInterrupt: pin %c routed to IRQ %u\n", PinLetter(h.interruptPin),
                       h.interruptLine);
    for (const board::Region &r : h.regions)
        text += RegionText(r);
    return text + CapabilitiesText(h.capabilities);
}

void AddCfgDecode(Registry &r, CLI::App *cfg)
{
    r.Add(cfg, "decode", "the header decoded, as lspci -vv shows it", CfgDecode)
        ->add_flag("--force", r.options.force, "open a card whose chip is not recognised");
}

}  // namespace tzctl
