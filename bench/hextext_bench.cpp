// Byte-run text of a full 0x8000-byte block, both directions, next to a
// straightforward printf/strtol implementation and next to a plain memcpy
// of the same 98,304 characters.
#include "hextext.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> Block()
{
    std::vector<std::uint8_t> block(kMaxByteRunBytes);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 167 + (i >> 8));
    return block;
}

std::vector<char> Text(const std::vector<std::uint8_t> &block)
{
    std::vector<char> text(kByteRunBufferSize);
    BytesToByteRun(block.data(), block.size(), text.data());
    return text;
}

// Formatting the way one would without a table: "%2x " per byte, then the
// blank made a zero and the letters made upper case.
void NaiveFormat(const std::uint8_t *bytes, std::size_t count, char *out)
{
    for (std::size_t i = 0; i < count; ++i) {
        char *g = out + 3 * i;
        std::sprintf(g, "%2x ", bytes[i]);
        if (g[0] == ' ')
            g[0] = '0';
        g[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(g[0])));
        g[1] = static_cast<char>(std::toupper(static_cast<unsigned char>(g[1])));
    }
    out[3 * count] = '\0';
}

// Parsing the same way: copy without white space, then strtol per pair.
std::size_t NaiveParse(const char *text, std::size_t length, std::size_t requested,
                       std::uint8_t *out, char *work)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < length; ++i)
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n')
            work[n++] = text[i];
    std::size_t used = n / 2 < requested ? n / 2 : requested;
    for (std::size_t i = 0; i < used; ++i) {
        const char pair[3] = {work[2 * i], work[2 * i + 1], '\0'};
        out[i] = static_cast<std::uint8_t>(std::strtol(pair, nullptr, 16));
    }
    return used;
}

void BM_Format_ByteRun(benchmark::State &state)
{
    const auto block = Block();
    std::vector<char> out(kByteRunBufferSize);
    for (auto _ : state) {
        BytesToByteRun(block.data(), block.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kMaxByteRunChars);
}

void BM_Format_NaiveSprintf(benchmark::State &state)
{
    const auto block = Block();
    std::vector<char> out(kByteRunBufferSize);
    for (auto _ : state) {
        NaiveFormat(block.data(), block.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (std::memcmp(out.data(), Text(block).data(), kByteRunBufferSize) != 0)
        state.SkipWithError("mismatch");
    state.SetBytesProcessed(state.iterations() * kMaxByteRunChars);
}

void BM_Parse_ByteRun(benchmark::State &state)
{
    const auto block = Block();
    const auto text = Text(block);
    std::vector<std::uint8_t> out(kMaxByteRunBytes);
    std::size_t used = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ByteRunToBytes(text.data(), kMaxByteRunChars, kMaxByteRunBytes, out.data(), &used));
        benchmark::ClobberMemory();
    }
    if (used != kMaxByteRunBytes || out != block)
        state.SkipWithError("mismatch");
    state.SetBytesProcessed(state.iterations() * kMaxByteRunChars);
}

void BM_Parse_NaiveStrtol(benchmark::State &state)
{
    const auto block = Block();
    const auto text = Text(block);
    std::vector<std::uint8_t> out(kMaxByteRunBytes);
    std::vector<char> work(kByteRunBufferSize);
    std::size_t used = 0;
    for (auto _ : state) {
        used = NaiveParse(text.data(), kMaxByteRunChars, kMaxByteRunBytes, out.data(), work.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (used != kMaxByteRunBytes || out != block)
        state.SkipWithError("mismatch");
    state.SetBytesProcessed(state.iterations() * kMaxByteRunChars);
}

void BM_Memcpy_FullText(benchmark::State &state)
{
    const auto text = Text(Block());
    std::vector<char> out(kByteRunBufferSize);
    for (auto _ : state) {
        std::memcpy(out.data(), text.data(), kMaxByteRunChars);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kMaxByteRunChars);
}

}  // namespace

BENCHMARK(BM_Format_ByteRun);
BENCHMARK(BM_Format_NaiveSprintf);
BENCHMARK(BM_Parse_ByteRun);
BENCHMARK(BM_Parse_NaiveStrtol);
BENCHMARK(BM_Memcpy_FullText);

BENCHMARK_MAIN();
