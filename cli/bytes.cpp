// Byte by byte: configuration space (cfg) and the 24C02 EEPROM (i2c), which
// share their get, set and dump; the EEPROM is also saved to a file and
// restored from one. Both open a card whose chip is not recognised when
// forced, since neither needs a chip's own register to put an identity right.
#include "dry_run.h"
#include "dumps.h"
#include "identity.h"
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

void ByteGet(Context &x, const ByteCommand &bc, const Options &o)
{
    const bool lenGiven = !o.length.empty();
    const unsigned width = WidthBytes(o.width);
    if (lenGiven && width > 1)
        Usage("--width reads one value; give no LEN with it");
    const std::uint32_t start = Hex(o.offset, 0xFF, "offset");
    const std::uint32_t count = lenGiven ? Length(o.length, kSpaceBytes) : width;
    if (start + count > kSpaceBytes)
        Usage("the range runs past 0xff");
    x.Open(o.force);
    Bytes bytes;
    Check(board::ReadBytes(x.card, bc.space, start, count, bytes));
    if (width > 1) {
        // Little-endian, as the bus carries it.
        std::uint32_t value = 0;
        for (std::size_t i = bytes.size(); i-- > 0;)
            value = value << 8 | bytes[i];
        x.Print(Format("%0*lx\n", static_cast<int>(width * 2), static_cast<unsigned long>(value)),
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
    switch (x.host.ReadFile(path, kSpaceBytes, bytes)) {
    case CliHost::ReadResult::Ok:
        break;
    case CliHost::ReadResult::TooLarge:
        Usage(path + " is over 256 bytes");
    default:
        Usage("cannot read " + path);
    }
    if (bytes.empty())
        Usage(path + " is empty; nothing written");
    return bytes;
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
    const auto write = [&] {
        std::vector<std::uint32_t> notTaken;
        const board::Outcome outcome =
            board::WriteBytesChecked(x.card, bc.space, start, bytes, x.Pause(), &notTaken);
        if (outcome.kind != board::Outcome::Mismatch)
            return Check(outcome);
        std::string list;
        for (std::uint32_t at : notTaken)
            list += Format(list.empty() ? "0x%02lx" : ", 0x%02lx", static_cast<unsigned long>(at));
        throw Stop{kExitMismatch, Format("%s %s %s did not take", bc.name,
                                         notTaken.size() > 1 ? "bytes" : "byte", list.c_str())};
    };
    Guarded(
        write, [&] { return board::RestoreBytes(x.card, bc.space, start, original, x.Pause()); },
        bc.whole);
    x.Print(Format("%s written from 0x%02lx\n", Counted(bytes.size(), "byte").c_str(),
                   static_cast<unsigned long>(start)),
            {{"offset", start}, {"written", bytes.size()}});
}

void ByteSet(Context &x, const ByteCommand &bc, const Options &o)
{
    const std::uint32_t start = Hex(o.offset, 0xFF, "offset");
    if (o.bytes.empty() == o.input.empty())
        Usage("give either the bytes or -i FILE");
    const Bytes bytes = o.input.empty() ? HexBytes(o.bytes) : ReadBytesFile(x, o.input);
    WriteChecked(x, bc, start, bytes, o.force);
}

void ByteDump(Context &x, const ByteCommand &bc, const Options &o)
{
    x.Open(o.force);
    Bytes bytes;
    Check(board::ReadBytes(x.card, bc.space, 0, kSpaceBytes, bytes));
    if (!o.output.empty()) {
        if (!x.host.ReplaceFile(o.output, bytes))
            Usage("cannot write " + o.output);
        x.Print(Format("256 bytes saved to %s\n", o.output.c_str()),
                {{"offset", 0}, {"saved", bytes.size()}});
        return;
    }
    x.Print(bc.space == board::ByteSpace::Config ? ConfigDump(bytes) : I2cDump(bytes),
            {{"offset", 0}, {"bytes", ByteArray(bytes)}});
}

void I2cRestore(Context &x, const Options &o)
{
    const Bytes bytes = ReadBytesFile(x, o.file);
    if (bytes.size() != kSpaceBytes)
        Usage(Format("%s holds %s; a restore takes the whole chip, 256 bytes", o.file.c_str(),
                     Counted(bytes.size(), "byte").c_str()));
    WriteChecked(x, kEeprom, 0, bytes, o.force);
}

// dump, get and set of one space; the handlers tell the spaces apart.
void AddSpace(Registry &r, CLI::App *space, Handler dump, Handler get, Handler set)
{
    CLI::App *dumper = r.Add(space, "dump", "all 256 bytes", dump);
    CLI::App *getter = r.Add(space, "get", "one byte, or LEN bytes as a dump", get);
    getter->add_option("OFF", r.options.offset, "hex offset, 0-ff")->required();
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
        [](Context &x, const Options &o) { ByteSet(x, kConfig, o); });
    cfg->get_subcommand("get")
        ->add_option("--width", r.options.width, "one little-endian value (default byte)")
        ->check(CLI::IsMember({"byte", "word", "dword"}));
    cfg->get_subcommand("set")->get_option("BYTES")->required();
}

void AddI2c(Registry &r)
{
    Options &o = r.options;
    CLI::App *i2c = r.Group("i2c", "the 24C02 at 0x50");
    AddSpace(
        r, i2c, [](Context &x, const Options &o) { ByteDump(x, kEeprom, o); },
        [](Context &x, const Options &o) { ByteGet(x, kEeprom, o); },
        [](Context &x, const Options &o) { ByteSet(x, kEeprom, o); });
    i2c->get_subcommand("dump")
        ->add_option("-o", o.output, "save the 256 bytes to FILE instead")
        ->type_name("FILE");
    i2c->get_subcommand("set")
        ->add_option("-i", o.input, "take the bytes from FILE")
        ->type_name("FILE");
    CLI::App *restore =
        r.Add(i2c, "restore", "write a 256-byte backup back, with a read-back", I2cRestore);
    restore->add_option("FILE", o.file, "a file of exactly 256 bytes, as i2c dump -o saves")
        ->required();
    restore->add_flag("--force", o.force, "open a card whose chip is not recognised");
}

}  // namespace tzctl
