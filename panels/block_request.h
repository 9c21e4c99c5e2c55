// What the I/O and MEM block panels share: reading their address and
// length boxes, the fixed work areas, converting the data box, and
// reporting a write's result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "hextext.h"
#include "session.h"

inline const char kReadNeedsBoth[] = "请输入地址和数据长度";
inline const char kWriteNeedsAll[] = "请输入地址,数据长度和写入数据内容";

struct BlockRequest {
    std::string addressText;  // at most the first four characters
    std::string lengthText;
    std::uint16_t address = 0;
    std::uint32_t length = 0;
};

// Reads the address box (word value) and the length box (byte count), in
// that order, checking the characters of each and the 0x8000 bound. Reports
// the first refusal and returns false.
bool ReadBlockRequest(DialogPort &port, int addressBox, int lengthBox, BlockRequest &request);

// One full block and its byte-run text. Both panels run on the dialog's
// thread, one click at a time, so they share them.
extern std::uint8_t g_blockBytes[board::kMaxBlockBytes];
extern char g_blockText[kByteRunBufferSize];

// Zeroes the block before a read.
void ClearBlock();
// Shows the first count bytes of the block as byte-run text, set into the
// data box in one operation.
void ShowBlock(DialogPort &port, int dataBox, std::size_t count);
// Converts a data box's whole text into the block: white space is dropped,
// anything else that is not a hexadecimal digit refuses the write with the
// bad-character message. used: the smaller of the requested count and the
// bytes the text supplies.
bool TextToBlock(DialogPort &port, const std::string &text, std::uint32_t requested,
                 std::size_t &used);
// "写成功" or "写失败"; these boxes have no owner, so the dialog stays
// usable under them.
void ReportWrite(DialogPort &port, bool written);
