// Blocks of I/O space (io) and of a TZ820's MEM window (mem), read into a
// dump or a file, written from bytes or a file.
#include "dry_run.h"
#include "dumps.h"
#include "registry.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

board::Width WidthOf(const std::string &w)
{
    return w == "dword"  ? board::Width::DoubleWord
           : w == "word" ? board::Width::Word
                         : board::Width::Byte;
}

void CheckBlockRequest(board::Space space, board::Width width, std::uint32_t address,
                       std::uint32_t length)
{
    switch (board::CheckBlock(space, width, address, length)) {
    case board::BlockCheck::Ok:
        return;
    case board::BlockCheck::TooLong:
        Usage("at most 0x8000 bytes at a time");
    case board::BlockCheck::PastWindow:
        Usage("offset + length runs past 0x7fff, the end of the MEM window");
    case board::BlockCheck::Misaligned:
        Usage(width == board::Width::Word
                  ? "word access needs an address and a length that are multiples of 2"
                  : "dword access needs an address and a length that are multiples of 4");
    case board::BlockCheck::WidthNotAllowed:
        Usage("the MEM window takes byte or dword access");
    case board::BlockCheck::PastIoSpace:
        Usage(Format("0x%lx bytes at 0x%lx run past 0xffff, the end of I/O space",
                     static_cast<unsigned long>(length), static_cast<unsigned long>(address)));
    }
}

Bytes BytesToWrite(Context &x, const Options::Block &a)
{
    Bytes bytes;
    if (a.bytes.empty() == a.input.empty())
        Usage("give either the bytes or -i FILE");
    if (a.input.empty())
        return HexBytes(a.bytes);
    const auto r = x.ReadFile(a.input, board::kMaxBlockBytes, bytes);
    if (r == CliHost::ReadResult::TooLarge)
        Usage("at most 0x8000 bytes at a time");
    if (r != CliHost::ReadResult::Ok)
        Usage("cannot read " + Shown(a.input));
    if (bytes.empty())
        Usage(Shown(a.input) + " is empty; there is nothing to write");
    return bytes;
}

// Every check comes before the card is opened, and before a buffer of the
// length asked for is allocated; only the I/O window's base needs the card.
void Block(Context &x, board::Space space, bool write, const Options::Block &a)
{
    const board::Width width = WidthOf(a.width);
    const std::uint32_t offset = Hex(a.address, 0xFFFF, a.direct ? "address" : "offset");
    Bytes bytes;
    if (write)
        bytes = BytesToWrite(x, a);
    const std::uint32_t length =
        write ? static_cast<std::uint32_t>(bytes.size()) : Length(a.length, 0xFFFFFFFF);
    CheckBlockRequest(space, width, offset, length);
    if (!a.output.empty())
        x.NeedWritable(a.output);
    bytes.resize(length);

    x.Open();
    ULONG address = offset;
    if (space == board::Space::Mem) {
        x.NeedTz820("mem");
        address += x.MemBase();
    } else if (!a.direct) {
        address += x.IoBase();
        CheckBlockRequest(space, width, address, length);
    }
    // offset as typed and shown in the dump, address as the library took it
    auto with = [&](const char *key, const json &value) {
        return json{{"offset", offset}, {"address", address}, {key, value}};
    };
    const char *where = space == board::Space::Mem ? "MEM" : "I/O";
    if (write && x.Planned({BytesPlan(bytes, where, address) + " by " +
                            (a.width.empty() ? std::string("byte") : a.width) + " access"},
                           with("written", length)))
        return;
    CheckCall(board::AccessBlock(x.card, space, write, width, address, bytes.data(), length),
              "TZ810mAccessBlock");
    if (write) {
        x.Print(Counted(length, "byte") +
                    Format(" written at 0x%lx\n", static_cast<unsigned long>(address)),
                with("written", length));
    } else if (!a.output.empty()) {
        if (!x.WriteFile(a.output, bytes))
            Usage("cannot write " + Shown(a.output, true));
        x.Print(Counted(length, "byte") + " saved to " + Shown(a.output, true) + "\n",
                with("saved", length));
    } else {
        x.Print(HexDump(offset, bytes), with("bytes", ByteArray(bytes)));
    }
}

// read and write of one space; the handlers tell the spaces apart.
void AddSpace(Registry &r, CLI::App *space, bool isIo, Handler read, Handler write)
{
    Options::Block &block = r.options.block;
    auto widths = isIo ? std::vector<std::string>{"byte", "word", "dword"}
                       : std::vector<std::string>{"byte", "dword"};
    CLI::App *reader = r.Add(space, "read", "a block, shown as a dump", read);
    CLI::App *writer = r.Add(space, "write", "a block from bytes or a file", write);
    for (CLI::App *c : {reader, writer}) {
        c->add_option("OFF", block.address,
                      isIo ? "hex offset in the card's I/O window"
                           : "hex offset in the MEM window; OFF + LEN at most 7fff")
            ->required();
        c->add_option("--width", block.width,
                      isIo ? "byte, word or dword access (default byte)"
                           : "byte or dword access (default byte)")
            ->check(CLI::IsMember(widths));
        if (isIo)
            c->add_flag("--direct", block.direct, "OFF is an absolute I/O address, 0-ffff");
    }
    reader->add_option("LEN", block.length, "hex byte count, 1-8000")->required();
    reader
        ->add_option("-o", block.output,
                     "write the raw bytes to FILE instead; - is standard output")
        ->type_name("FILE");
    writer->add_option("BYTES", block.bytes, "hex: 12, 0x12, 1, \"01 02 ab\" or 0102ab");
    writer
        ->add_option("-i", block.input,
                     "take the bytes from FILE (at most 8000); - is standard input")
        ->type_name("FILE");
}

}  // namespace

void AddIo(Registry &r)
{
    AddSpace(
        r, r.Group("io", "I/O space"), true,
        [](Context &x, const Options &o) { Block(x, board::Space::Io, false, o.block); },
        [](Context &x, const Options &o) { Block(x, board::Space::Io, true, o.block); });
}

void AddMem(Registry &r)
{
    AddSpace(
        r, r.Group("mem", "a TZ820's MEM window"), false,
        [](Context &x, const Options &o) { Block(x, board::Space::Mem, false, o.block); },
        [](Context &x, const Options &o) { Block(x, board::Space::Mem, true, o.block); });
}

}  // namespace tzctl
