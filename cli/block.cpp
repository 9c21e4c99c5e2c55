// Blocks of I/O space (io) and of a TZ820's MEM window (mem), read into a
// dump or a file, written from bytes or a file.
#include "context.h"

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
    }
}

void Block(Context &x, board::Space space, bool write, const Options::Block &a)
{
    const board::Width width = WidthOf(a.width);
    const std::uint32_t address = Hex(a.address, 0xFFFF, "address");
    Bytes bytes;
    if (write) {
        if (a.bytes.empty() == a.input.empty())
            Usage("give either the bytes or -i FILE");
        if (!a.input.empty()) {
            const auto r = x.host.ReadFile(a.input, board::kMaxBlockBytes, bytes);
            if (r == CliHost::ReadResult::TooLarge)
                Usage("at most 0x8000 bytes at a time");
            if (r != CliHost::ReadResult::Ok)
                Usage("cannot read " + a.input);
        } else {
            bytes = HexBytes(a.bytes);
        }
    } else {
        bytes.resize(Hex(a.length, 0xFFFFFFFF, "length"));
    }
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
    CheckBlockRequest(space, width, address, length);

    x.Open();
    ULONG passed = address;
    if (space == board::Space::Mem) {
        x.NeedTz820("mem");
        passed += x.MemBase();
    } else if (!a.direct) {
        passed += x.IoBase();
    }
    std::uint8_t none = 0;
    CheckCall(board::AccessBlock(x.lib, x.index, space, write, width, passed,
                                 bytes.empty() ? &none : bytes.data(), length),
              "TZ810mAccessBlock");
    if (write) {
        x.Print(Format("%lu bytes written at 0x%lx\n", static_cast<unsigned long>(length),
                       static_cast<unsigned long>(passed)),
                {{"address", passed}, {"written", length}});
    } else if (!a.output.empty()) {
        if (!x.host.ReplaceFile(a.output, bytes))
            Usage("cannot write " + a.output);
        x.Print(
            Format("%lu bytes saved to %s\n", static_cast<unsigned long>(length), a.output.c_str()),
            {{"address", passed}, {"saved", length}});
    } else {
        x.Print(HexDump(address, bytes), {{"address", passed}, {"bytes", ByteArray(bytes)}});
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
        c->add_option("ADDR", block.address,
                      isIo ? "hex offset in the I/O window" : "hex offset in the MEM window")
            ->required();
        c->add_option("--width", block.width, "access width (default byte)")
            ->check(CLI::IsMember(widths));
        if (isIo)
            c->add_flag("--direct", block.direct, "ADDR is an absolute I/O address");
    }
    reader->add_option("LEN", block.length, "hex, at most 8000")->required();
    reader->add_option("-o", block.output, "write the raw bytes to this file");
    writer->add_option("BYTES", block.bytes, "hex: 12, 0x12, 1, \"01 02 ab\" or 0102ab");
    writer->add_option("-i", block.input, "take the bytes from this file");
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
