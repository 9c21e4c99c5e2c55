// Byte by byte: configuration space (cfg) and the 24C02 EEPROM (i2c), which
// share their get, set and dump.
#include "context.h"

namespace tzctl {

namespace {

struct ByteCommand {
    board::ByteSpace space;
    const char *name;
};

const ByteCommand kConfig{board::ByteSpace::Config, "config"};
const ByteCommand kEeprom{board::ByteSpace::Eeprom, "EEPROM"};

void ByteGet(Context &x, const ByteCommand &bc, const Options &o)
{
    const bool lenGiven = !o.length.empty();
    const std::uint32_t start = Hex(o.offset, 0xFF, "offset");
    const std::uint32_t count = lenGiven ? Length(o.length, 0x100) : 1;
    if (start + count > 0x100)
        Usage("the range runs past 0xff");
    x.Open();
    Bytes bytes;
    Check(board::ReadBytes(x.lib, x.index, bc.space, start, count, bytes));
    const std::string text =
        lenGiven ? HexDump(start, bytes) : Format("0x%02x\n", bytes.empty() ? 0 : bytes[0]);
    x.Print(text, {{"offset", start}, {"bytes", ByteArray(bytes)}});
}

void ByteSet(Context &x, const ByteCommand &bc, const Options &o)
{
    const std::uint32_t start = Hex(o.offset, 0xFF, "offset");
    Bytes bytes;
    if (!ParseHexBytes(o.bytes, bytes))
        Usage("bytes must be hex pairs, e.g. 01 02 ab or 0102ab");
    if (start + bytes.size() > 0x100)
        Usage("the bytes run past 0xff");
    x.Open();
    std::vector<std::uint32_t> notTaken;
    const board::Outcome outcome =
        board::WriteBytesChecked(x.lib, x.index, bc.space, start, bytes, x.Pause(), &notTaken);
    if (outcome.kind == board::Outcome::Mismatch) {
        std::string list;
        for (std::uint32_t at : notTaken)
            list += Format(list.empty() ? "0x%02lx" : ", 0x%02lx", static_cast<unsigned long>(at));
        throw Stop{kExitMismatch, Format("%s %s %s did not take", bc.name,
                                         notTaken.size() > 1 ? "bytes" : "byte", list.c_str())};
    }
    Check(outcome);
    x.Print(
        Format("%zu bytes written from 0x%02lx\n", bytes.size(), static_cast<unsigned long>(start)),
        {{"offset", start}, {"written", bytes.size()}});
}

void ByteDump(Context &x, const ByteCommand &bc)
{
    x.Open();
    Bytes bytes;
    Check(board::ReadBytes(x.lib, x.index, bc.space, 0, 0x100, bytes));
    x.Print(bc.space == board::ByteSpace::Config ? ConfigDump(bytes) : I2cDump(bytes),
            {{"offset", 0}, {"bytes", ByteArray(bytes)}});
}

// dump, get and set of one space; the handlers tell the spaces apart.
void AddSpace(Registry &r, CLI::App *space, Handler dump, Handler get, Handler set)
{
    r.Add(space, "dump", "all 256 bytes", dump);
    CLI::App *getter = r.Add(space, "get", "one byte, or LEN bytes as a dump", get);
    getter->add_option("OFF", r.options.offset, "hex offset, 0-ff")->required();
    getter->add_option("LEN", r.options.length, "hex byte count, 1-100 (default: one byte)");
    CLI::App *setter = r.Add(space, "set", "write bytes and read them back", set);
    setter->add_option("OFF", r.options.offset, "hex offset, 0-ff")->required();
    setter->add_option("BYTES", r.options.bytes, "hex pairs: 01 02 ab or 0102ab")->required();
}

}  // namespace

void AddCfg(Registry &r)
{
    AddSpace(
        r, r.Group("cfg", "PCI configuration space"),
        [](Context &x, const Options &) { ByteDump(x, kConfig); },
        [](Context &x, const Options &o) { ByteGet(x, kConfig, o); },
        [](Context &x, const Options &o) { ByteSet(x, kConfig, o); });
}

void AddI2c(Registry &r)
{
    AddSpace(
        r, r.Group("i2c", "the 24C02 at 0x50"),
        [](Context &x, const Options &) { ByteDump(x, kEeprom); },
        [](Context &x, const Options &o) { ByteGet(x, kEeprom, o); },
        [](Context &x, const Options &o) { ByteSet(x, kEeprom, o); });
}

}  // namespace tzctl
