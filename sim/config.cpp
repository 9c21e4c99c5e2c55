#include "config.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <sstream>
#include <utility>

#include "tz810dll.h"

namespace tzsim {
namespace {

// Neutral identity of our own evaluation cards.
constexpr std::uint16_t kDefaultVid = 0x7A5D;
constexpr std::uint16_t kDid810 = 0x5830;
constexpr std::uint16_t kDid820 = 0x5834;

std::string Trim(const std::string &s)
{
    const char *const space = " \t\n\v\f\r";
    const std::size_t b = s.find_first_not_of(space);
    return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(space) + 1 - b);
}

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// 0x-prefixed hexadecimal or decimal, at most max.
template <typename T> bool ParseNumber(const std::string &text, std::uint32_t max, T &out)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max)
        return false;
    out = static_cast<T>(v);
    return true;
}

// The value of the word text is, in any case.
template <typename T>
bool Keyword(const std::string &text, std::initializer_list<std::pair<const char *, T>> words,
             T &out)
{
    const std::string lower = Lower(text);
    for (const auto &[word, value] : words)
        if (lower == word) {
            out = value;
            return true;
        }
    return false;
}

// What stands between a setting's name and '='.
enum class Argument {
    None,
    Slot,     // a card index: the line says which card sits there
    Card,     // a card index: the line sets that card up
    Function  // an exported function's name
};

struct Reader;

// One setting: parse applies the value, or changes nothing and returns false, warning why.
struct Setting {
    const char *name;
    Argument argument;
    bool (*parse)(Reader &, const std::string &value);
    const char *why = nullptr;  // null: "bad or out-of-range value for <name>"
};

// A card setting read, to apply once every card line is known: a card line replaces its card.
struct Pending {
    int lineNo;
    unsigned index;
    const Setting *setting;
    std::string value;
};

struct Reader {
    std::filesystem::path baseDir;
    BenchConfig bench;
    bool cardLines = false;  // the default bench is gone
    unsigned index = 0;      // the card the line names
    std::string function;    // the function the line names
    std::vector<Pending> pending;

    CardConfig &Card()
    {
        return bench.cards[index];
    }
};

template <auto field, std::uint32_t max> bool Number(Reader &r, const std::string &value)
{
    return ParseNumber(value, max, r.Card().*field);
}

// "LINE stuck 0|1" or "LINE shorted LINE", lines 0 to maxLine.
template <auto lines, unsigned maxLine> bool Lines(Reader &r, const std::string &text)
{
    std::istringstream in(Lower(text));
    std::string line, kind, other, extra;
    in >> line >> kind >> other >> extra;
    std::uint32_t a = 0, b = 0;
    LineFaults &faults = r.Card().*lines;
    if (!extra.empty() || !ParseNumber(line, maxLine, a))
        return false;
    if (kind == "stuck" && ParseNumber(other, 1, b)) {
        (b ? faults.stuck1 : faults.stuck0) |= 1u << a;
        return true;
    }
    if (kind == "shorted" && ParseNumber(other, maxLine, b) && a != b) {
        faults.shorts.emplace_back(a, b);
        return true;
    }
    return false;
}

// "ADDRESS VALUE": a byte at an address up to maxAddress.
template <auto cells, std::uint32_t maxAddress> bool Cells(Reader &r, const std::string &text)
{
    std::istringstream words(text);
    std::string at, value, extra;
    words >> at >> value >> extra;
    std::uint32_t a = 0;
    std::uint8_t b = 0;
    if (!extra.empty() || !ParseNumber(at, maxAddress, a) || !ParseNumber(value, 0xFF, b))
        return false;
    (r.Card().*cells).emplace_back(a, b);
    return true;
}

template <auto file> bool Path(Reader &r, const std::string &value)
{
    if (value.empty())
        return false;
    std::filesystem::path p = std::filesystem::u8path(value);
    r.bench.*file = p.is_relative() && !r.baseDir.empty() ? r.baseDir / p : p;
    return true;
}

// The first card line empties the default bench: only listed cards exist.
bool Slot(Reader &r, const std::string &type)
{
    const std::string t = Lower(type);
    if (t != "tz810" && t != "tz820" && t != "none")
        return false;
    if (!std::exchange(r.cardLines, true))
        std::fill(std::begin(r.bench.cards), std::end(r.bench.cards), CardConfig());
    r.Card() =
        t == "none" ? CardConfig() : DefaultCard(r.index, t == "tz810" ? Chip::TZ810 : Chip::TZ820);
    return true;
}

bool Eeprom(Reader &r, const std::string &fit)
{
    return Keyword(fit,
                   {{"present", EepromFit::Present},
                    {"blank", EepromFit::Blank},
                    {"absent", EepromFit::Absent},
                    {"read_only", EepromFit::ReadOnly}},
                   r.Card().eeprom);
}

bool Version(Reader &r, const std::string &value)
{
    return ParseNumber(value, 0xFFFFFFFFu, r.bench.driverVersion);
}

bool A15Int(Reader &r, const std::string &value)
{
    const std::string v = Lower(value);
    const bool on = v == "on" || v == "yes" || v == "true" || v == "1";
    if (!on && v != "off" && v != "no" && v != "false" && v != "0")
        return false;
    r.bench.a15ToInt = on;
    return true;
}

bool Flash(Reader &r, const std::string &value)
{
    return Keyword(value, {{"present", true}, {"absent", false}}, r.bench.flashPresent);
}

bool FlashStray(Reader &r, const std::string &value)
{
    return ParseNumber(value, 0xFFFFu, r.bench.flashStray);
}

// "always", "never", "call N" or "from N", N from 1.
bool Fault(Reader &r, const std::string &text)
{
    std::istringstream in(Lower(text));
    std::string word, number, extra;
    in >> word >> number >> extra;
    FaultRule rule;
    if (!extra.empty() || !Keyword(word,
                                   {{"never", FaultMode::Never},
                                    {"always", FaultMode::Always},
                                    {"call", FaultMode::OnlyNth},
                                    {"from", FaultMode::FromNth}},
                                   rule.mode))
        return false;
    const bool counted = rule.mode == FaultMode::OnlyNth || rule.mode == FaultMode::FromNth;
    if (counted ? !ParseNumber(number, 0xFFFFFFFFu, rule.n) || rule.n == 0 : !number.empty())
        return false;
    r.bench.faults[r.function] = rule;
    return true;
}

constexpr char kLineFault[] = "expected LINE stuck 0|1 or LINE shorted LINE";

const Setting kSettings[] = {
    {"card", Argument::Slot, Slot, "card type must be TZ810, TZ820 or none"},
    // The whole 256-byte window must lie inside the 64 KiB I/O space.
    {"io_base", Argument::Card, Number<&CardConfig::ioBase, 0xFF00>},
    {"mem_base", Argument::Card, Number<&CardConfig::memBase, 0xFFFF8000u>},
    {"int_line", Argument::Card, Number<&CardConfig::intLine, 0xFF>},
    {"vid", Argument::Card, Number<&CardConfig::vid, 0xFFFF>},
    {"did", Argument::Card, Number<&CardConfig::did, 0xFFFF>},
    {"rid", Argument::Card, Number<&CardConfig::rid, 0xFF>},
    {"svid", Argument::Card, Number<&CardConfig::svid, 0xFFFF>},
    {"sid", Argument::Card, Number<&CardConfig::sid, 0xFFFF>},
    {"pulse", Argument::Card, Number<&CardConfig::pulse, 0xFF>},
    {"eeprom", Argument::Card, Eeprom, "eeprom must be present, blank, absent or read_only"},
    {"mem_data", Argument::Card, Lines<&CardConfig::memData, 31>, kLineFault},
    {"mem_address", Argument::Card, Lines<&CardConfig::memAddress, 14>, kLineFault},
    {"pulse_bit", Argument::Card, Lines<&CardConfig::pulseBits, 7>, kLineFault},
    {"eeprom_changed", Argument::Card, Cells<&CardConfig::eepromChanged, 0xFF>},
    {"mem_cell", Argument::Card, Cells<&CardConfig::memStuckCells, 0x7FFF>},
    {"version", Argument::None, Version, "bad number"},
    {"a15_int", Argument::None, A15Int, "expected on or off"},
    {"flash", Argument::None, Flash, "flash must be present or absent"},
    {"flash_stray", Argument::None, FlashStray, "flash_stray must be an address below 0x10000"},
    {"state_file", Argument::None, Path<&BenchConfig::stateFile>, "empty path"},
    {"trace_file", Argument::None, Path<&BenchConfig::traceFile>, "empty path"},
    {"fault", Argument::Function, Fault, "fault rule must be always, never, call N or from N"},
};

// The warning of a bad value, or empty when it applied.
std::string Apply(Reader &r, const Setting &s, const std::string &value)
{
    if (s.parse(r, value))
        return {};
    return s.why ? s.why : "bad or out-of-range value for " + std::string(s.name);
}

// "setting [argument] = value": applies it, or puts a card setting by. The warning, or empty.
std::string Read(Reader &r, int lineNo, const std::string &raw)
{
    const std::string line = Trim(raw.substr(0, raw.find('#')));
    const std::size_t eq = line.find('=');
    if (line.empty())
        return {};
    if (eq == std::string::npos)
        return "expected setting = value";
    std::istringstream keyWords(line.substr(0, eq));
    std::string name, argument, extra;
    keyWords >> name >> argument >> extra;
    name = Lower(name);
    if (name.empty() || !extra.empty())
        return "expected setting [argument] = value";
    const std::string value = Trim(line.substr(eq + 1));
    const Setting *s = std::find_if(std::begin(kSettings), std::end(kSettings),
                                    [&](const Setting &row) { return name == row.name; });
    const bool known = s != std::end(kSettings);
    // An unknown setting takes no argument either: that is said first.
    if ((!known || s->argument == Argument::None) && !argument.empty())
        return "'" + name + "' takes no argument";
    if (!known)
        return "unknown setting '" + name + "'";
    const bool indexed = s->argument == Argument::Slot || s->argument == Argument::Card;
    if (s->argument == Argument::Function && !IsExportName(argument))
        return "unknown function '" + argument + "'";
    if (indexed && !ParseNumber(argument, kMaxCards - 1, r.index))
        return "card index must be 0 to 15";
    if (s->argument == Argument::Card) {
        r.pending.push_back({lineNo, r.index, s, value});
        return {};
    }
    r.function = argument;
    return Apply(r, *s, value);
}

}  // namespace

std::uint32_t LineFaults::Apply(std::uint32_t signals) const
{
    signals = (signals | stuck1) & ~stuck0;
    // Shorts that share a line join into one net (3-4 and 4-5 join 3, 4 and
    // 5), whatever order the file listed them in: spread until nothing moves.
    for (bool spread = true; spread;) {
        spread = false;
        for (const auto &[a, b] : shorts) {
            const std::uint32_t pair = 1u << a | 1u << b;
            if ((signals & pair) != 0 && (signals & pair) != pair) {
                signals |= pair;
                spread = true;
            }
        }
    }
    return signals;
}

CardConfig DefaultCard(unsigned index, Chip chip)
{
    CardConfig c;
    c.present = true;
    c.chip = chip;
    c.vid = kDefaultVid;
    c.did = chip == Chip::TZ820 ? kDid820 : kDid810;
    c.rid = 0x01;
    c.svid = kDefaultVid;
    c.sid = 0x0001;
    c.ioBase = 0xD000 + index * 0x100;
    c.memBase = 0xFEB00000u + index * 0x10000u;
    c.intLine = static_cast<std::uint8_t>(0x10 + index);
    c.eeprom = EepromFit::Present;
    return c;
}

bool IsExportName(const std::string &name)
{
#define TZ_NAME_CHECK(fn, ret, params)                                                             \
    if (name == #fn)                                                                               \
        return true;
    TZ810DLL_FUNCTIONS(TZ_NAME_CHECK)
#undef TZ_NAME_CHECK
    return false;
}

BenchConfig ParseConfig(const std::string &text, const std::filesystem::path &baseDir)
{
    Reader r;
    r.baseDir = baseDir;
    // Until a card line, the default bench: a TZ820 at index 0 and a TZ810 at index 1.
    r.bench.cards[0] = DefaultCard(0, Chip::TZ820);
    r.bench.cards[1] = DefaultCard(1, Chip::TZ810);
    auto warn = [&](int lineNo, const std::string &why) {
        if (!why.empty())
            r.bench.warnings.push_back("line " + std::to_string(lineNo) + ": " + why);
    };
    std::istringstream in(text);
    std::string raw;
    for (int lineNo = 1; std::getline(in, raw); ++lineNo)
        warn(lineNo, Read(r, lineNo, raw));
    // Card settings apply after the card lines, whatever their order.
    for (const Pending &p : r.pending) {
        r.index = p.index;
        warn(p.lineNo, r.Card().present ? Apply(r, *p.setting, p.value)
                                        : "no card at index " + std::to_string(p.index));
    }
    return std::move(r.bench);
}

}  // namespace tzsim
