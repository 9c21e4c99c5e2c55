// The dump formats that other bench tools have made familiar.
#include "dumps.h"

#include <algorithm>
#include <cstdio>

namespace tzctl {

namespace {

std::string Hex2(std::uint8_t b)
{
    char t[3];
    std::snprintf(t, sizeof t, "%02x", b);
    return t;
}

bool Printable(std::uint8_t b)
{
    return b >= 0x20 && b < 0x7F;
}

}  // namespace

std::string HexDump(std::uint32_t start, const std::vector<std::uint8_t> &bytes)
{
    std::string out;
    char offset[16];
    bool starred = false;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, bytes.size() - at);
        const bool repeat =
            at >= 16 && n == 16 &&
            std::equal(bytes.begin() + at, bytes.begin() + at + 16, bytes.begin() + (at - 16));
        if (repeat) {
            if (!starred)
                out += "*\n";
            starred = true;
            continue;
        }
        starred = false;
        std::snprintf(offset, sizeof offset, "%08lx  ", static_cast<unsigned long>(start + at));
        std::string line = offset;
        std::string ascii;
        for (std::size_t i = 0; i < n; ++i) {
            line += Hex2(bytes[at + i]) + " ";
            if (i == 7)
                line += " ";
            ascii += Printable(bytes[at + i]) ? static_cast<char>(bytes[at + i]) : '.';
        }
        line.resize(59, ' ');
        out += line + " |" + ascii + "|\n";
    }
    if (!bytes.empty()) {
        std::snprintf(offset, sizeof offset, "%08lx\n",
                      static_cast<unsigned long>(start + bytes.size()));
        out += offset;
    }
    return out;
}

std::string ConfigDump(const std::vector<std::uint8_t> &bytes)
{
    std::string out;
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        out += Hex2(static_cast<std::uint8_t>(row)) + ":";
        for (std::size_t i = row; i < row + 16 && i < bytes.size(); ++i)
            out += " " + Hex2(bytes[i]);
        out += "\n";
    }
    return out;
}

std::string PciAddress(unsigned long index)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02lx:%02lx.0", index / 32 % 256, index % 32);
    return text;
}

std::string PciDeviceLine(unsigned long index, const std::vector<std::uint8_t> &bytes)
{
    const unsigned classCode = bytes[0x0B] << 8 | bytes[0x0A];
    char line[128];
    std::snprintf(line, sizeof line, "%s %s: Device %02x%02x:%02x%02x", PciAddress(index).c_str(),
                  classCode == 0x0780 ? "Communication controller"
                                      : ("Class " + Hex2(bytes[0x0B]) + Hex2(bytes[0x0A])).c_str(),
                  bytes[1], bytes[0], bytes[3], bytes[2]);
    std::string text = line;
    if (bytes[0x08])
        text += " (rev " + Hex2(bytes[0x08]) + ")";
    if (bytes[0x09])
        text += " (prog-if " + Hex2(bytes[0x09]) + ")";
    return text + "\n";
}

std::string I2cDump(const std::vector<std::uint8_t> &bytes)
{
    std::string out = "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef\n";
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        std::string ascii;
        out += Hex2(static_cast<std::uint8_t>(row)) + ": ";
        for (std::size_t i = row; i < row + 16 && i < bytes.size(); ++i) {
            const std::uint8_t b = bytes[i];
            out += Hex2(b) + " ";
            // Empty cells (00, ff) are dots, other unprintables question marks.
            ascii += b == 0x00 || b == 0xFF ? '.' : Printable(b) ? static_cast<char>(b) : '?';
        }
        out += "   " + ascii + "\n";
    }
    return out;
}

}  // namespace tzctl
