// Byte by byte: configuration space (cfg) and the 24C02 EEPROM (i2c), which
// share their get, set and dump; the EEPROM is also saved to a file and
// restored from one. Both open a card whose chip is not recognised when
// forced, since neither needs a chip's own register to put an identity right.
#include <map>

#include "cfg_decode.h"
#include "dry_run.h"
#include "dumps.h"
#include "identity.h"
#include "registers.h"
#include "registry.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

constexpr std::uint32_t kSpaceBytes = 0x100;

struct ByteCommand {
    board::ByteSpace space;
    const char *name, *whole;
};

const ByteCommand kConfig{board::ByteSpace::Config, "config", "configuration space"};
const ByteCommand kEeprom{board::ByteSpace::Eeprom, "EEPROM", "the EEPROM"};

unsigned WidthBytes(const std::string &width)
{
    return width == "dword" ? 4 : width == "word" ? 2 : 1;
}

constexpr char kWidthWithRegisters[] =
    "--width is for OFF alone; give a register its width as .b, .w or .l";

// Little-endian, as the bus carries it.
std::uint32_t LittleEndianValue(const Bytes &bytes)
{
    std::uint32_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

Bytes LittleEndianBytes(std::uint32_t value, unsigned width)
{
    Bytes bytes;
    for (unsigned i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return bytes;
}

// OFF and what follows it, as cfg's arguments are all register terms or none.
std::vector<std::string> ConfigArgs(const Options &o)
{
    std::vector<std::string> args{o.offset};
    args.insert(args.end(), o.bytes.begin(), o.bytes.end());
    return args;
}

void RegistersGet(Context &x, const Options &o, const std::vector<RegisterTerm> &terms)
{
    if (WidthBytes(o.width) > 1)
        Usage(kWidthWithRegisters);
    x.Open(o.force);
    std::string text;
    json list = json::array();
    for (const RegisterTerm &term : terms) {
        Bytes bytes;
        Check(board::ReadBytes(x.card, kConfig.space, term.offset, term.width, bytes));
        const std::uint32_t value = LittleEndianValue(bytes);
        text += term.label + " = " + HexValue(value, term.width) + "\n";
        list.push_back(RegisterJson(term, value));
    }
    x.Print(text, {{"registers", list}});
}

void ByteGet(Context &x, const ByteCommand &bc, const Options &o)
{
    // cfg's LEN comes in bytes, beside the registers that may follow OFF.
    std::string length = o.length;
    if (bc.space == board::ByteSpace::Config) {
        if (RegisterForm(ConfigArgs(o)))
            return RegistersGet(x, o, ConfigTerms(ConfigArgs(o), false));
        if (o.bytes.size() > 1)
            Usage("give OFF and at most one LEN, or registers");
        length = o.bytes.empty() ? "" : o.bytes[0];
    }
    const bool lenGiven = !length.empty();
    const unsigned width = WidthBytes(o.width);
    if (lenGiven && width > 1)
        Usage("--width reads one value; give no LEN with it");
    const std::uint32_t start = Hex(o.offset, 0xFF, "offset");
    const std::uint32_t count = lenGiven ? Length(length, kSpaceBytes) : width;
    if (start + count > kSpaceBytes)
        Usage("the range runs past 0xff");
    x.Open(o.force);
    Bytes bytes;
    Check(board::ReadBytes(x.card, bc.space, start, count, bytes));
    if (width > 1) {
        const std::uint32_t value = LittleEndianValue(bytes);
        x.Print(HexValue(value, width) + "\n",
                {{"offset", start}, {"width", o.width}, {"value", value}});
        return;
    }
    const std::string text = lenGiven ? HexDump(start, bytes) : Format("0x%02x\n", bytes[0]);
    x.Print(text, {{"offset", start}, {"bytes", ByteArray(bytes)}});
}

// At most a whole space; an empty file writes nothing.
Bytes ReadBytesFile(Context &x, const std::string &path)
{
    Bytes bytes;
    switch (x.ReadFile(path, kSpaceBytes, bytes)) {
    case CliHost::ReadResult::Ok:
        break;
    case CliHost::ReadResult::TooLarge:
        Usage(Shown(path) + " is over 256 bytes");
    default:
        Usage("cannot read " + Shown(path));
    }
    if (bytes.empty())
        Usage(Shown(path) + " is empty; nothing written");
    return bytes;
}

// Bytes written as one checked write, and put back as `original` held them
// when it stops part way; notTaken words a read-back that differs.
void WriteGuarded(Context &x, const ByteCommand &bc, std::uint32_t start, const Bytes &bytes,
                  const Bytes &original,
                  const std::function<std::string(const std::vector<std::uint32_t> &)> &notTaken)
{
    const auto write = [&] {
        std::vector<std::uint32_t> differing;
        const board::Outcome outcome =
            board::WriteBytesChecked(x.card, bc.space, start, bytes, x.Pause(), &differing);
        if (outcome.kind != board::Outcome::Mismatch)
            return Check(outcome);
        throw Stop{kExitMismatch, notTaken(differing)};
    };
    Guarded(
        write, [&] { return board::RestoreBytes(x.card, bc.space, start, original, x.Pause()); },
        bc.whole);
}

// Each byte written, then all read back. In the EEPROM, bytes of the
// identity block are first laid over the block the card holds, and the
// result must leave the card recognisable at its next power-up.
void WriteChecked(Context &x, const ByteCommand &bc, std::uint32_t start, const Bytes &bytes,
                  bool force)
{
    if (start + bytes.size() > kSpaceBytes)
        Usage("the bytes run past 0xff");
    x.Open(force);
    if (bc.space == board::ByteSpace::Eeprom && start < board::kIdentityBlockBytes && !force) {
        board::IdentityBlock block;
        Check(board::ReadIdentityBlock(x.card, block));
        for (std::size_t i = 0; start + i < block.size() && i < bytes.size(); ++i)
            block[start + i] = bytes[i];
        GuardIdentity(x, block);
    }
    // What the range held, so that a write that stops part way is undone.
    Bytes original;
    Check(board::ReadBytes(x.card, bc.space, start, bytes.size(), original));
    const bool identity =
        bc.space == board::ByteSpace::Eeprom && start < board::kIdentityBlockBytes;
    const char *guard = !identity ? ""
                        : force   ? ", the identity guard not asked (--force)"
                                  : ", the identity guard passing";
    if (x.Planned({BytesPlan(bytes, bc.name, start, original) + guard},
                  {{"offset", start}, {"written", bytes.size()}}))
        return;
    WriteGuarded(x, bc, start, bytes, original, [&](const std::vector<std::uint32_t> &notTaken) {
        std::string list;
        for (std::uint32_t at : notTaken)
            list += Format(list.empty() ? "0x%02lx" : ", 0x%02lx", static_cast<unsigned long>(at));
        return Format("%s %s %s did not take", bc.name, notTaken.size() > 1 ? "bytes" : "byte",
                      list.c_str());
    });
    x.Print(Format("%s written from 0x%02lx\n", Counted(bytes.size(), "byte").c_str(),
                   static_cast<unsigned long>(start)),
            {{"offset", start}, {"written", bytes.size()}});
}

// Every register read first, the plan made from what each write leaves, then
// each written as one checked write: a mask keeps the bits outside it.
void RegistersSet(Context &x, const Options &o, const std::vector<RegisterTerm> &terms)
{
    x.Open(o.force);
    std::map<std::uint32_t, std::uint8_t> after;  // bytes an earlier register writes
    std::vector<Bytes> olds, values;
    std::vector<std::string> plan;
    json list = json::array();
    for (const RegisterTerm &term : terms) {
        Bytes old;
        Check(board::ReadBytes(x.card, kConfig.space, term.offset, term.width, old));
        for (std::size_t i = 0; i < old.size(); ++i)
            if (after.count(term.offset + i))
                old[i] = after[term.offset + i];
        const std::uint32_t oldValue = LittleEndianValue(old);
        const std::uint32_t value = Merged(term, oldValue);
        values.push_back(LittleEndianBytes(value, term.width));
        olds.push_back(old);
        for (std::size_t i = 0; i < old.size(); ++i)
            after[term.offset + i] = values.back()[i];
        std::string write = Format("%s to %s (config 0x%02lx, %s",
                                   HexValue(value, term.width).c_str(), term.label.c_str(),
                                   static_cast<unsigned long>(term.offset), WidthName(term.width));
        if (term.masked)
            write += "; was " + HexValue(oldValue, term.width) + ", " +
                     HexValue(term.value, term.width) + " under mask " +
                     HexValue(term.mask, term.width);
        plan.push_back(write + ")");
        json item = RegisterJson(term, value);
        item["old"] = oldValue;
        list.push_back(item);
    }
    if (x.Planned(plan, {{"registers", list}}))
        return;
    std::string text;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const RegisterTerm &term = terms[i];
        const std::string value = HexValue(LittleEndianValue(values[i]), term.width);
        WriteGuarded(x, kConfig, term.offset, values[i], olds[i], [&](const auto &) {
            Bytes back;
            const bool read =
                board::ReadBytes(x.card, kConfig.space, term.offset, term.width, back).ok();
            return Format("config %s did not take: wrote %s", term.label.c_str(), value.c_str()) +
                   (read ? ", read back " + HexValue(LittleEndianValue(back), term.width) : "");
        });
        text += term.label + " set to " + value + "\n";
    }
    x.Print(text, {{"registers", list}});
}

void ByteSet(Context &x, const ByteCommand &bc, const Options &o)
{
    if (bc.space == board::ByteSpace::Config) {
        const unsigned width = WidthBytes(o.width);
        const bool registers = RegisterForm(ConfigArgs(o));
        if (registers && width > 1)
            Usage(kWidthWithRegisters);
        if (registers)
            return RegistersSet(x, o, ConfigTerms(ConfigArgs(o), true));
        if (width > 1 && o.bytes.size() != 1)
            Usage("--width writes one value; give OFF VALUE");
        // OFF VALUE --width word is the register OFF.w=VALUE.
        if (width > 1)
            return RegistersSet(
                x, o, ConfigTerms({o.offset + (width == 2 ? ".w=" : ".l=") + o.bytes[0]}, true));
        if (o.bytes.empty())
            Usage("give the BYTES to write, or registers NAME=VALUE");
    }
    const std::uint32_t start = Hex(o.offset, 0xFF, "offset");
    if (o.bytes.empty() == o.input.empty())
        Usage("give either the bytes or -i FILE");
    const Bytes bytes = o.input.empty() ? HexBytes(o.bytes) : ReadBytesFile(x, o.input);
    WriteChecked(x, bc, start, bytes, o.force);
}

void ByteDump(Context &x, const ByteCommand &bc, const Options &o)
{
    if (!o.output.empty())
        x.NeedWritable(o.output);
    x.Open(o.force);
    Bytes bytes;
    Check(board::ReadBytes(x.card, bc.space, 0, kSpaceBytes, bytes));
    if (!o.output.empty()) {
        if (!x.WriteFile(o.output, bytes))
            Usage("cannot write " + Shown(o.output, true));
        x.Print(Format("256 bytes saved to %s\n", Shown(o.output, true).c_str()),
                {{"offset", 0}, {"saved", bytes.size()}});
        return;
    }
    // Led by the device's line, the dump is one that lspci -F reads.
    x.Print(bc.space == board::ByteSpace::Config
                ? PciDeviceLine(x.card.index, bytes) + ConfigDump(bytes)
                : I2cDump(bytes),
            {{"offset", 0}, {"bytes", ByteArray(bytes)}});
}

void I2cRestore(Context &x, const Options &o)
{
    const Bytes bytes = ReadBytesFile(x, o.file);
    if (bytes.size() != kSpaceBytes)
        Usage(Format("%s holds %s; a restore takes the whole chip, 256 bytes",
                     Shown(o.file).c_str(), Counted(bytes.size(), "byte").c_str()));
    WriteChecked(x, kEeprom, 0, bytes, o.force);
}

// dump, get and set of one space; the handlers tell the spaces apart.
void AddSpace(Registry &r, CLI::App *space, Handler dump, Handler get, Handler set, bool registers)
{
    CLI::App *dumper = r.Add(space, "dump", "all 256 bytes", dump);
    CLI::App *getter = r.Add(space, "get", "one byte, or LEN bytes as a dump", get);
    getter->add_option("OFF", r.options.offset, "hex offset, 0-ff")->required();
    if (registers)
        getter->add_option("LEN", r.options.bytes,
                           "hex byte count, 1-100 (default: one byte), or more registers");
    else
        getter->add_option("LEN", r.options.length, "hex byte count, 1-100 (default: one byte)");
    CLI::App *setter = r.Add(space, "set", "write bytes and read them back", set);
    setter->add_option("OFF", r.options.offset, "hex offset, 0-ff")->required();
    setter->add_option("BYTES", r.options.bytes, "hex: 12, 0x12, 1, \"01 02 ab\" or 0102ab");
    for (CLI::App *c : {dumper, getter, setter})
        c->add_flag("--force", r.options.force, "open a card whose chip is not recognised");
}

}  // namespace

void AddCfg(Registry &r)
{
    CLI::App *cfg = r.Group("cfg", "PCI configuration space");
    AddSpace(
        r, cfg, [](Context &x, const Options &o) { ByteDump(x, kConfig, o); },
        [](Context &x, const Options &o) { ByteGet(x, kConfig, o); },
        [](Context &x, const Options &o) { ByteSet(x, kConfig, o); }, true);
    CLI::App *getter = cfg->get_subcommand("get"), *setter = cfg->get_subcommand("set");
    getter->description("one byte, LEN bytes as a dump, or registers by name or offset");
    setter->description("write bytes or registers and read them back");
    getter->get_option("OFF")->description(
        "hex offset, 0-ff, or registers: NAME|OFF[.b|.w|.l] ..., NAME as the header's "
        "(VENDOR_ID ... MAX_LAT)");
    setter->get_option("OFF")->description(
        "hex offset, 0-ff, or registers: NAME|OFF[.b|.w|.l]=VALUE[:MASK] ...");
    setter->get_option("BYTES")->description(
        "hex: 12, 0x12, 1, \"01 02 ab\" or 0102ab; with --width one value; or more registers");
    for (CLI::App *c : {getter, setter})
        c->add_option("--width", r.options.width, "one little-endian value (default byte)")
            ->check(CLI::IsMember({"byte", "word", "dword"}));
    AddCfgDecode(r, cfg);
}

void AddI2c(Registry &r)
{
    Options &o = r.options;
    CLI::App *i2c = r.Group("i2c", "the 24C02 at 0x50");
    AddSpace(
        r, i2c, [](Context &x, const Options &o) { ByteDump(x, kEeprom, o); },
        [](Context &x, const Options &o) { ByteGet(x, kEeprom, o); },
        [](Context &x, const Options &o) { ByteSet(x, kEeprom, o); }, false);
    i2c->get_subcommand("dump")
        ->add_option("-o", o.output, "save the 256 bytes to FILE instead; - is standard output")
        ->type_name("FILE");
    i2c->get_subcommand("set")
        ->add_option("-i", o.input, "take the bytes from FILE; - is standard input")
        ->type_name("FILE");
    CLI::App *restore =
        r.Add(i2c, "restore", "write a 256-byte backup back, with a read-back", I2cRestore);
    restore
        ->add_option("FILE", o.file,
                     "a file of exactly 256 bytes, as i2c dump -o saves; - is standard input")
        ->required();
    restore->add_flag("--force", o.force, "open a card whose chip is not recognised");
}

}  // namespace tzctl
