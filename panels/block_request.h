// What the I/O and MEM block panels share: reading their address and
// length boxes, the one block they read into and write from, converting the
// data box, and reporting a write's result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "board.h"
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

// The panels share one block of up to 0x8000 bytes, which a read fills and
// shows and a write fills from a data box and sends.

// Zeroes the block, then reads count bytes into it with one TZ810mAccessBlock
// call at the address passed (base included). False when the call fails.
bool ReadBlock(Session &s, board::Space space, board::Width width, ULONG address,
               std::uint32_t count);
// Shows the first count bytes of the block as byte-run text, set into the
// data box in one operation.
void ShowBlock(DialogPort &port, int dataBox, std::size_t count);
// Converts a data box's whole text into the block: white space is dropped,
// anything else that is not a hexadecimal digit refuses the write with the
// bad-character message. used: the smaller of the requested count and the
// bytes the text supplies.
bool TextToBlock(DialogPort &port, const std::string &text, std::uint32_t requested,
                 std::size_t &used);
// Writes the first count bytes of the block with one TZ810mAccessBlock call.
bool WriteBlock(Session &s, board::Space space, board::Width width, ULONG address,
                std::size_t count);
// "写成功" or "写失败"; these boxes have no owner, so the dialog stays
// usable under them.
void ReportWrite(DialogPort &port, bool written);
