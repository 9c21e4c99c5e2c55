// The identity block: any identity survives encoding and decoding, and any
// 32 bytes decode to an identity whose encoding carries the same identity
// bytes inside the fixed frame.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "board.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    board::IdentityBlock block{};
    std::memcpy(block.data(), data, size < block.size() ? size : block.size());

    const board::Identity id = board::DecodeIdentity(block);
    const board::IdentityBlock again = board::EncodeIdentity(id);
    Check(board::HasIdentityHeader(again));
    Check(board::DecodeIdentity(again) == id);
    Check(board::EncodeIdentity(board::DecodeIdentity(again)) == again);
    // The fixed frame does not depend on what was read.
    board::IdentityBlock zero = board::EncodeIdentity(board::Identity{});
    int differing = 0;
    for (std::size_t i = 0; i < again.size(); ++i)
        differing += again[i] != zero[i] && again[i] != block[i];
    Check(differing == 0);
    return 0;
}
