// Registers by name: the parsing of register terms for cfg get and set, and
// the reg group over the chip's registers in the card's I/O window.
#include "registers.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "registry.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

struct ConfigRegister {
    const char *name;
    std::uint32_t offset;
    unsigned width;
};

// The type-0 header, each register at its natural width.
const ConfigRegister kConfigRegisters[] = {
    {"VENDOR_ID", 0x00, 2},
    {"DEVICE_ID", 0x02, 2},
    {"COMMAND", 0x04, 2},
    {"STATUS", 0x06, 2},
    {"REVISION", 0x08, 1},
    {"CLASS_PROG", 0x09, 1},
    {"CLASS_DEVICE", 0x0A, 2},
    {"CACHE_LINE_SIZE", 0x0C, 1},
    {"LATENCY_TIMER", 0x0D, 1},
    {"HEADER_TYPE", 0x0E, 1},
    {"BIST", 0x0F, 1},
    {"BASE_ADDRESS_0", 0x10, 4},
    {"BASE_ADDRESS_1", 0x14, 4},
    {"BASE_ADDRESS_2", 0x18, 4},
    {"BASE_ADDRESS_3", 0x1C, 4},
    {"BASE_ADDRESS_4", 0x20, 4},
    {"BASE_ADDRESS_5", 0x24, 4},
    {"CARDBUS_CIS", 0x28, 4},
    {"SUBSYSTEM_VENDOR_ID", 0x2C, 2},
    {"SUBSYSTEM_ID", 0x2E, 2},
    {"ROM_ADDRESS", 0x30, 4},
    {"CAPABILITIES", 0x34, 1},
    {"INTERRUPT_LINE", 0x3C, 1},
    {"INTERRUPT_PIN", 0x3D, 1},
    {"MIN_GNT", 0x3E, 1},
    {"MAX_LAT", 0x3F, 1},
};

std::string Upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The name a mistyped one is closest to.
template <class Table> std::string ClosestName(const Table &table, const std::string &name)
{
    std::string best;
    std::size_t bestDistance = 0;
    for (const auto &r : table) {
        const std::size_t d = Distance(Upper(name), r.name);
        if (best.empty() || d < bestDistance)
            best = r.name, bestDistance = d;
    }
    return best;
}

template <class Table> auto FindName(const Table &table, const std::string &name)
{
    return std::find_if(std::begin(table), std::end(table),
                        [&](const auto &r) { return Upper(name) == r.name; });
}

// A term cut at '=' and ':'.
struct TermText {
    std::string where, value, mask;
    bool hasValue = false, hasMask = false;
};

TermText SplitTerm(const std::string &arg, bool write, const char *command)
{
    TermText t;
    const std::size_t eq = arg.find('=');
    t.where = arg.substr(0, eq);
    t.hasValue = eq != std::string::npos;
    if (t.hasValue && !write)
        Usage(Format("'%s' is a write; %s set takes it", arg.c_str(), command));
    if (!t.hasValue && write)
        Usage(Format("'%s' gives no value; write NAME=VALUE or NAME=VALUE:MASK", arg.c_str()));
    if (!t.hasValue)
        return t;
    t.value = arg.substr(eq + 1);
    const std::size_t colon = t.value.find(':');
    t.hasMask = colon != std::string::npos;
    if (t.hasMask) {
        t.mask = t.value.substr(colon + 1);
        t.value.erase(colon);
    }
    return t;
}

// 1, 2 or 4 for a suffix .b, .w or .l; 0 for none, and the suffix cut off.
unsigned CutSuffix(std::string &where)
{
    const std::size_t dot = where.rfind('.');
    if (dot == std::string::npos)
        return 0;
    const std::string suffix = Upper(where.substr(dot + 1));
    const unsigned width = suffix == "B" ? 1 : suffix == "W" ? 2 : suffix == "L" ? 4 : 0;
    if (width == 0)
        Usage(Format("'%s': a width is .b, .w or .l", where.c_str()));
    where.erase(dot);
    return width;
}

std::uint32_t WidthMax(unsigned width)
{
    return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

std::uint32_t TermNumber(const std::string &text, const RegisterTerm &term, const char *what)
{
    std::uint32_t v = 0;
    if (!ParseHexNumber(text, 0xFFFFFFFFu, v))
        Usage(Format("%s '%s' of %s is not a hex number", what, text.c_str(), term.label.c_str()));
    if (v > WidthMax(term.width))
        Usage(Format("%s 0x%lx is wider than a %s (%s)", what, static_cast<unsigned long>(v),
                     WidthName(term.width), term.label.c_str()));
    return v;
}

void SetValue(RegisterTerm &term, const TermText &t)
{
    term.value = TermNumber(t.value, term, "value");
    term.masked = t.hasMask;
    term.mask = t.hasMask ? TermNumber(t.mask, term, "mask") : WidthMax(term.width);
}

RegisterTerm ConfigTerm(const std::string &arg, bool write)
{
    const TermText t = SplitTerm(arg, write, "cfg");
    std::string where = t.where;
    const unsigned suffix = CutSuffix(where);
    RegisterTerm term;
    std::uint32_t offset = 0;
    const auto named = FindName(kConfigRegisters, where);
    if (named != std::end(kConfigRegisters)) {
        term.label = named->name;
        term.offset = named->offset;
        term.width = named->width;
    } else if (ParseHexNumber(where, 0xFFFFFFFFu, offset)) {
        if (offset > 0xFF)
            Usage(Format("offset '%s' is past 0xff", where.c_str()));
        term.label = Format("0x%02lx", static_cast<unsigned long>(offset));
        term.offset = offset;
    } else {
        Usage(Format("unknown register '%s'; did you mean %s?", where.c_str(),
                     ClosestName(kConfigRegisters, where).c_str()));
    }
    if (suffix) {
        term.width = suffix;
        term.label += Format(".%c", suffix == 1 ? 'b' : suffix == 2 ? 'w' : 'l');
    }
    // An offset is in the label already; a name is told where it is.
    const std::string at = named != std::end(kConfigRegisters)
                               ? Format(" at 0x%02lx", static_cast<unsigned long>(term.offset))
                               : "";
    if (term.offset % term.width)
        Usage(Format("%s%s: a %s starts at a multiple of %u", term.label.c_str(), at.c_str(),
                     WidthName(term.width), term.width));
    if (write)
        SetValue(term, t);
    return term;
}

// A chip register: a name only, a byte; GP0 without a mask takes the pin's
// level, 0 or 1, as the one bit it has.
RegisterTerm ChipTerm(const std::string &arg, bool write)
{
    const TermText t = SplitTerm(arg, write, "reg");
    const auto named = FindName(board::kChipRegisters, t.where);
    if (named == std::end(board::kChipRegisters))
        Usage(Format("unknown register '%s'; did you mean %s? (registers: INT, GP0, STATUS, PULSE)",
                     t.where.c_str(), ClosestName(board::kChipRegisters, t.where).c_str()));
    RegisterTerm term;
    term.label = named->name;
    term.offset = named->offset;
    if (!write)
        return term;
    SetValue(term, t);
    if (term.offset == board::kRegGp0 && !term.masked) {
        if (term.value > 1)
            Usage("GP0 takes 0 or 1, the pin's level; give GP0=VALUE:MASK for the whole byte");
        term.value = term.value ? board::kGp0High : 0;
        term.mask = board::kGp0High;
        term.masked = true;
    }
    return term;
}

std::vector<RegisterTerm> ChipTerms(const std::vector<std::string> &args, bool write)
{
    std::vector<RegisterTerm> terms;
    for (const std::string &arg : args)
        terms.push_back(ChipTerm(arg, write));
    return terms;
}

void RegList(Context &x, const Options &)
{
    x.Open();
    x.NeedIoBase();
    const bool tz820 = x.card.chip == board::Chip::TZ820;
    std::string text;
    json list = json::array();
    for (const board::ChipRegister &r : board::kChipRegisters) {
        UCHAR v = 0;
        CheckCall(board::ReadChipRegister(x.card, r.offset, v), "TZ810mReadIoByte");
        json o = {{"register", r.name}, {"offset", r.offset}, {"value", v}};
        std::string fields;
        if (r.offset == board::kRegInterrupt) {
            o["armed"] = board::ArmedName(board::ArmedFromRegister(v));
            fields = "armed " + o["armed"].get<std::string>();
        } else if (r.offset == board::kRegGp0) {
            o["gp0_high"] = (v & board::kGp0High) != 0;
            fields = v & board::kGp0High ? "GP0 high" : "GP0 low";
        } else if (r.offset == board::kRegStatus) {
            o["interrupt_active"] = (v & board::kInterruptActive) != 0;
            fields = v & board::kInterruptActive ? "interrupt active" : "interrupt not active";
        } else {
            o["pulse_ns"] = board::PulseNsFromRegister(v);
            o["io_32bit"] = tz820 ? json((v & board::k32BitIo) != 0) : json(nullptr);
            fields = Format("pulse %u ns", board::PulseNsFromRegister(v));
            if (tz820)
                fields += v & board::k32BitIo ? ", 32-bit I/O on" : ", 32-bit I/O off";
        }
        text += Format("%-7s 0x%02lx  0x%02x  %s\n", r.name, static_cast<unsigned long>(r.offset),
                       v, fields.c_str());
        list.push_back(o);
    }
    x.Print(text, {{"registers", list}});
}

UCHAR ReadChip(Context &x, const RegisterTerm &term)
{
    UCHAR v = 0;
    CheckCall(board::ReadChipRegister(x.card, term.offset, v), "TZ810mReadIoByte");
    return v;
}

void RegGet(Context &x, const Options &o)
{
    const std::vector<RegisterTerm> terms = ChipTerms(o.regs, false);
    x.Open();
    x.NeedIoBase();
    std::string text;
    json list = json::array();
    for (const RegisterTerm &term : terms) {
        const UCHAR v = ReadChip(x, term);
        text += term.label + " = " + HexValue(v, 1) + "\n";
        list.push_back(RegisterJson(term, v));
    }
    x.Print(text, {{"registers", list}});
}

// Each register written and read back; one whose written bits did not take
// is written back as it was, unless it still is.
void RegSet(Context &x, const Options &o)
{
    const std::vector<RegisterTerm> terms = ChipTerms(o.regs, true);
    x.Open();
    x.NeedIoBase();
    // A register named twice is planned from what the first write leaves.
    std::map<std::uint32_t, UCHAR> after;
    std::vector<UCHAR> olds, values;
    std::vector<std::string> plan;
    json list = json::array();
    for (const RegisterTerm &term : terms) {
        const UCHAR old = after.count(term.offset) ? after[term.offset] : ReadChip(x, term);
        const UCHAR value = static_cast<UCHAR>(Merged(term, old));
        after[term.offset] = value;
        olds.push_back(old);
        values.push_back(value);
        plan.push_back(Format("%s to %s (I/O 0x%04lx", HexValue(value, 1).c_str(),
                              term.label.c_str(),
                              static_cast<unsigned long>(x.IoBase() + term.offset)) +
                       (term.masked ? "; was " + HexValue(old, 1) + ")" : ")"));
        json item = RegisterJson(term, value);
        item["old"] = old;
        list.push_back(item);
    }
    if (x.Planned(plan, {{"registers", list}}))
        return;
    std::string text;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const RegisterTerm &term = terms[i];
        const auto write = [&] {
            CheckCall(board::WriteChipRegister(x.card, term.offset, values[i]),
                      "TZ810mWriteIoByte");
            const UCHAR back = ReadChip(x, term);
            if ((back ^ values[i]) & term.mask)
                throw Stop{kExitMismatch, Format("register %s did not take: wrote %s, read back %s",
                                                 term.label.c_str(), HexValue(values[i], 1).c_str(),
                                                 HexValue(back, 1).c_str())};
        };
        const auto undo = [&] {
            using board::Outcome;
            const ULONG address = x.card.ioBase + term.offset;
            UCHAR back = 0;
            if (board::ReadChipRegister(x.card, term.offset, back) && back == olds[i])
                return board::Restoration{board::Restoration::Unchanged, {}};
            if (!board::WriteChipRegister(x.card, term.offset, olds[i]))
                return board::Restoration{board::Restoration::NotRestored,
                                          {Outcome::CallFailed, "TZ810mWriteIoByte", address}};
            if (!board::ReadChipRegister(x.card, term.offset, back))
                return board::Restoration{board::Restoration::NotRestored,
                                          {Outcome::CallFailed, "TZ810mReadIoByte", address}};
            if (back != olds[i])
                return board::Restoration{
                    board::Restoration::NotRestored,
                    {Outcome::Mismatch, nullptr, term.offset, 1, olds[i], back}};
            return board::Restoration{board::Restoration::PutBack, {}};
        };
        Guarded(write, undo, term.label);
        text += term.label + " set to " + HexValue(values[i], 1) + "\n";
    }
    x.Print(text, {{"registers", list}});
}

}  // namespace

bool RegisterForm(const std::vector<std::string> &args)
{
    std::uint32_t offset = 0;
    if (!args.empty() && !ParseHexNumber(args[0], 0xFFFFFFFFu, offset))
        return true;
    return std::any_of(args.begin(), args.end(), [](const std::string &a) {
        const std::size_t dot = a.rfind('.');
        return a.find('=') != std::string::npos || dot != std::string::npos ||
               FindName(kConfigRegisters, a) != std::end(kConfigRegisters);
    });
}

std::vector<RegisterTerm> ConfigTerms(const std::vector<std::string> &args, bool write)
{
    std::vector<RegisterTerm> terms;
    for (const std::string &arg : args)
        terms.push_back(ConfigTerm(arg, write));
    return terms;
}

std::string HexValue(std::uint32_t value, unsigned width)
{
    return Format("0x%0*lx", static_cast<int>(width * 2), static_cast<unsigned long>(value));
}

const char *WidthName(unsigned width)
{
    return width == 4 ? "dword" : width == 2 ? "word" : "byte";
}

std::uint32_t Merged(const RegisterTerm &term, std::uint32_t old)
{
    return (old & ~term.mask) | (term.value & term.mask);
}

json RegisterJson(const RegisterTerm &term, std::uint32_t value)
{
    return {{"register", term.label},
            {"offset", term.offset},
            {"width", WidthName(term.width)},
            {"value", value}};
}

void AddReg(Registry &r)
{
    CLI::App *reg = r.Group("reg", "the chip's registers by name: INT, GP0, STATUS, PULSE");
    r.Add(reg, "list", "every register, its value and its fields", RegList);
    r.Add(reg, "get", "registers by name, one a line", RegGet)
        ->add_option("NAME", r.options.regs, "INT, GP0, STATUS or PULSE")
        ->required();
    r.Add(reg, "set", "write registers and read them back", RegSet)
        ->add_option("NAME=VALUE", r.options.regs,
                     "hex VALUE[:MASK]; GP0=0|1 sets the pin, GP0=VALUE:MASK the byte")
        ->required();
}

}  // namespace tzctl
