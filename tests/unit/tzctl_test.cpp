// tzctl's commands against the simulator: one table of command lines with their
// exit code and output (on success) or error line; and its dump formats.
#include <gtest/gtest.h>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tinyxml2.h>
#include "sim_control.h"
#include "context.h"
#include "dumps.h"
#include "numbers.h"
#include "stop.h"
#include "tzctl.h"
#include "../fake_cli_host.h"
#include "../tzctl_runs.h"

namespace {
using tzctl::Bytes;
using tzctl::HexDump;
using tzctl::ParseHexBytes;

// command and text as tzctl_runs.h reads them; config nullptr: no library.
struct Row {
    const char *command;
    int exit;
    const char *text, *config = "", *notCalled = nullptr;
};

const char kList[] =
    "card chip    vid  did  io    mem       irq\n0    TZ820   7a5d 5834 d000  feb00000  10\n"
    "1    TZ810   7a5d 5830 d100  -         11\n";
const char kInfo[] =
    "card      0\nchip      TZ820\nvid       7a5d\ndid       5834\nrid       01\nsvid      7a5d\n"
    "sid       0001\nio base   d000\nmem base  feb00000\nirq       10\npulse     150 ns\n"
    "32-bit io off\ndriver    103\nflash     identified\nlibrary   simulated board library, no "
    "card\n";
const char kIdentity[] =
    "      eeprom  config\nvid   7a5d    7a5d\ndid   5834    5834\nrid   01      01\n"
    "svid  7a5d    7a5d\nsid   0001    0001\nheader 78, valid\n";
const char kBadBytes[] = "tzctl: bytes must be hex, e.g. 12, 0x12, 1, \"01 02 ab\" or 0102ab\n";
const char kUnrecognised[] = "card 0 = TZ810\ndid 0 = 0x5835\n";
const char kSeconds[] = " is not a number of seconds above 0 and at most 86400 (a day)\n";

std::string Repeat(const std::string &text, int times)
{
    std::string all;
    while (times--)
        all += text;
    return all;
}

const std::string kLongPath = Repeat("长", 188) + ".bin";
const std::string kSaveToLongPath = "io read f8 4 -o " + kLongPath;
const std::string kSavedToLongPath = "4 bytes saved to " + kLongPath + "\n";
const std::string kLongTimeout = "tzctl: --timeout '1e10'" + std::string(kSeconds);
const std::string kNoTimeout = "tzctl: --timeout '0'" + std::string(kSeconds);
const std::string kDayTimeout = "tzctl: --timeout '86401'" + std::string(kSeconds);
// clang-format off
const Row kRows[] = {
    {"list", 3, "tzctl: cannot load TZ810DLL.DLL\n", nullptr},
    {"", 2, "tzctl: no command given; see 'tzctl --help'\n"},
    {"\"\"", 2, "tzctl: no command given; see 'tzctl --help'\n"},
    {"--json -v", 2, "tzctl: -v is not an option; see 'tzctl --help'\n"},
    {"cfg", 2, "tzctl: cfg needs one of cfg dump, cfg get, cfg set, cfg decode; see 'tzctl cfg --help'\n"},
    {"cfg get 0 -v", 2, "tzctl: cfg get: -v is not an option; see 'tzctl cfg get --help'\n"},
    {"io read 0 10 20", 2, "tzctl: '20' is more than io read takes; see 'tzctl io read --help'\n"},
    {"cfg get", 2, "tzctl: cfg get needs OFF\n"},
    {"--card 1 --all selftest", 2, "tzctl: --card and --all do not go together\n"},
    {"--all selftest --only config --skip mem", 2, "tzctl: --only and --skip do not go together\n"},
    {"cfg get 0 --width x", 2, "tzctl: --width must be byte, word or dword, not 'x'\n"},
    {"list --card", 2, "tzctl: --card needs a value: --card N; see 'tzctl list --help'\n"},
    {"cfg dump --force=x", 2, "tzctl: --force takes no value; see 'tzctl cfg dump --help'\n"},
    {"--card 1 lsit", 2, "tzctl: unknown command 'lsit'; did you mean 'list'?\n"},
    {"cfg dmp", 2, "tzctl: unknown command 'cfg dmp'; did you mean 'cfg dump'?\n"},
    {"lisstt", 2, "tzctl: unknown command 'lisstt'; did you mean 'list'?\n"},
    {"ilts", 2, "tzctl: unknown command 'ilts'; did you mean 'list'?\n"},
    {"i2o", 2, "tzctl: unknown command 'i2o'; did you mean 'i2c' or 'io'?\n"},
    {"sitl", 2, "tzctl: unknown command 'sitl'; the commands are list, info, cfg, i2c, io, mem, identity, flash, "
     "pulse, spi, irq, reg, selftest\n"},
    {"--json flash wrt", 2, "tzctl: unknown command 'flash wrt'; did you mean 'flash write'?\n"},
    {"spi xyz", 2, "tzctl: unknown command 'spi xyz'; the commands are spi set\n"},
    {"i2c et", 2, "tzctl: unknown command 'i2c et'; did you mean 'i2c get' or 'i2c set'?\n"},
    {"--version", 0, "tzctl "},
    {"--json --version", 0, "{\"program\":\"tzctl\",\"version\":\""},
    {"--trace unwritable.bin list", 2, "tzctl: cannot write unwritable.bin\n", "", "TZ810mOpenDevice"},
    {"--card 16 list", 2, "tzctl: --card '16' is not a decimal number from 0 to 15\n"},
    {"--card x list", 2, "tzctl: --card 'x' is not a decimal number from 0 to 15\n"},
    {"--card 010 info", 5, "tzctl: no card at index 10\n"},
    {"--json --card 9 info", 5, "tzctl: no card at index 9\n"},
    {"flash erase", 5, "tzctl: card 0 could not be opened\n", "fault TZ810mOpenDevice = call 2\n", "TZ780mEarseFlash"},
    {"identity set --svid 1234 --sid \"\"", 2, "tzctl: --sid is empty; give it a value\n", "", "TZ810mOpenDevice"},
    {"cfg get 0 \"\"", 2, "tzctl: LEN is empty; give it a value\n"},
    {"i2c get 50 0", 2, "tzctl: a length of 0 asks for nothing; give 1 or more\n"},
    {"io write 0 -i throws.bin", 1, "tzctl: std::bad_alloc\n"},
    {"--json list", 0, "{\"cards\":[{\"index\":0,\"chip\":\"TZ820\",\"vid\":31325,\"did\":22580,\"io_base\":53248,"
     "\"mem_base\":4272947200,\"int_line\":16},{\"index\":1,\"chip\":\"TZ810\",\"vid\":31325,\"did\":22576,"
     "\"io_base\":53504,\"mem_base\":null,\"int_line\":17}],\"library\":{\"simulated\":true,\"tracing\":false,"
     "\"path\":\"\",\"version\":\"\"}}\n"},
    {"list", 0, kList},
    {"list", 0, "\nlibrary: simulated board library, no card\n"},
    {"--all pulse set 60", 2, "tzctl: --all is for selftest only; give --card N\n", "", "TZ810mOpenDevice"},
    {"--version", 0, "\nlibrary: simulated board library, no card\n"},
    {"i2c set 10 aa ; identity set --rid 2 ; i2c get 10", 0, "0xaa\n"},
    {"list", 0, "\n2    unknown 7a5d 5835 d200  -         12\n", "card 2 = TZ810\ndid 2 = 0x5835\n"},
    {"list", 0, "\n0    unknown -    -    d000  -         10\n", "fault TZ810mReadConfig = call 1\n"},
    {"info", 0, kInfo},
    {"--card 1 info", 0, "\nio base   d100\nirq       11\npulse     480 ns\ndriver    103\n"
     "flash     not identified\n", "flash = absent\npulse 1 = 0x4F\n"},
    {"--json info", 0, "{\"card\":0,\"chip\":\"TZ820\",\"identity\":{\"vid\":31325,\"did\":22580,\"rid\":1,"
     "\"svid\":31325,\"sid\":1},\"io_base\":53248,\"mem_base\":4272947200,\"int_line\":16,\"pulse_ns\":150,"
     "\"io_32bit\":false,\"driver_version\":259,\"flash_identified\":true,\"library\":{\"simulated\":true,"
     "\"tracing\":false,\"path\":\"\",\"version\":\"\"}}\n"},
    {"--json identity show", 0, "{\"eeprom\":{\"vid\":31325,\"did\":22580,\"rid\":1,\"svid\":31325,\"sid\":1,"
     "\"header_valid\":true},\"config\":{\"vid\":31325,"},
    {"--json i2c set 40 aa", 0, "{\"offset\":64,\"written\":1}\n"},
    {"--json mem write 0 01", 0, "{\"offset\":0,\"address\":4272947200,\"written\":1}\n"},
    {"--json flash id", 0, "{\"identified\":true,\"part\":\"25VF512\",\"size\":65536,\"reply\":[191,72,191,72]}\n"},
    {"--json flash read o.bin", 0, "{\"read\":65536}\n"},
    {"--json flash erase", 0, "{\"erased\":true}\n"},
    {"--json flash write small.bin --partial", 0, "{\"written\":4,\"erased\":true,\"verified\":true}\n"},
    {"flash write small.bin --partial ; --json flash verify small.bin "
     "--partial", 0, "{\"verified\":true,\"compared\":65536}\n"},
    {"--json pulse set 60", 0, "{\"pulse_ns\":60}\n"},
    {"--json pulse set 60 ; --json pulse get", 0, "{\"pulse_ns\":60}\n"},
    {"info", 5, "tzctl: card 0 not recognised (device id byte 35)\n", "card 0 = TZ810\ndid 0 = 0x5835\n"},
    {"info", 1, "tzctl: TZ810mGetIntLine failed\n", "fault TZ810mGetIntLine = always\n"},
    {"cfg get 0x2", 0, "0x34\n"},
    {"cfg get VENDOR_ID DEVICE_ID COMMAND STATUS REVISION CLASS_PROG CLASS_DEVICE CACHE_LINE_SIZE LATENCY_TIMER HEADER_TYPE BIST BASE_ADDRESS_0 BASE_ADDRESS_1 BASE_ADDRESS_2 BASE_ADDRESS_3 "
     "BASE_ADDRESS_4 BASE_ADDRESS_5 CARDBUS_CIS SUBSYSTEM_VENDOR_ID SUBSYSTEM_ID ROM_ADDRESS CAPABILITIES INTERRUPT_LINE INTERRUPT_PIN MIN_GNT MAX_LAT", 0,
     "VENDOR_ID = 0x7a5d\nDEVICE_ID = 0x5834\nCOMMAND = 0x0003\nSTATUS = 0x0280\nREVISION = 0x01\nCLASS_PROG = 0x00\nCLASS_DEVICE = 0x0780\nCACHE_LINE_SIZE = 0x08\nLATENCY_TIMER = 0x20\n"
     "HEADER_TYPE = 0x00\nBIST = 0x00\nBASE_ADDRESS_0 = 0x0000d001\nBASE_ADDRESS_1 = 0xfeb00000\nBASE_ADDRESS_2 = 0x00000000\nBASE_ADDRESS_3 = 0x00000000\nBASE_ADDRESS_4 = 0x00000000\n"
     "BASE_ADDRESS_5 = 0x00000000\nCARDBUS_CIS = 0x00000000\nSUBSYSTEM_VENDOR_ID = 0x7a5d\nSUBSYSTEM_ID = 0x0001\nROM_ADDRESS = 0x00000000\nCAPABILITIES = 0x00\nINTERRUPT_LINE = 0x10\n"
     "INTERRUPT_PIN = 0x01\nMIN_GNT = 0x00\nMAX_LAT = 0x00\n"},
    {"cfg get vendor_id DEVICE_ID command STATUS.b", 0, "VENDOR_ID = 0x7a5d\nDEVICE_ID = 0x5834\nCOMMAND = 0x0003\nSTATUS.b = 0x80\n"},
    {"cfg get 10.l BASE_ADDRESS_1 3c", 0, "0x10.l = 0x0000d001\nBASE_ADDRESS_1 = 0xfeb00000\n0x3c = 0x10\n"},
    {"--json cfg get COMMAND", 0, "{\"registers\":[{\"register\":\"COMMAND\",\"offset\":4,\"width\":\"word\",\"value\":3}]}\n"},
    {"cfg set COMMAND=7 40.l=12345678", 0, "COMMAND set to 0x0007\n0x40.l set to 0x12345678\n"},
    {"cfg set COMMAND=7 40.l=12345678 ; cfg get command 40.l", 0, "COMMAND = 0x0007\n0x40.l = 0x12345678\n"},
    {"cfg set 40 0003 --width word ; cfg get 40 2", 0, "00000040  03 00 "},
    {"cfg set 40=f0 ; cfg set 40=0f:3c 40=1:1 ; cfg get 40", 0, "0xcd\n"},
    {"cfg set 3c.w=0520", 4, "tzctl: config 0x3c.w did not take: wrote 0x0520, read back 0x0120; configuration space put back as it was\n"},
    {"cfg set MAX_LAT=ff", 4, "tzctl: config MAX_LAT did not take: wrote 0xff, read back 0x00\n"},
    {"-D cfg set COMMAND=7 40=0f:3c", 0, "would write 0x0007 to COMMAND (config 0x04, word)\nwould write 0x0c to 0x40 (config 0x40, byte; was 0x00, 0x0f under mask 0x3c)\ndry run: nothing written\n", "", "TZ810mWriteConfig"},
    {"cfg get COMMAND 3.w", 2, "tzctl: 0x03.w: a word starts at a multiple of 2\n", "", "TZ810mOpenDevice"},
    {"cfg set STATUS.l=0", 2, "tzctl: STATUS.l at 0x06: a dword starts at a multiple of 4\n", "", "TZ810mOpenDevice"},
    {"cfg get MIN_GNT.l", 2, "tzctl: MIN_GNT.l at 0x3e: a dword starts at a multiple of 4\n", "", "TZ810mOpenDevice"},
    {"cfg get ff.b", 0, "0xff.b = 0x00\n"},
    {"cfg get 100.b", 2, "tzctl: offset '100' is past 0xff\n", "", "TZ810mOpenDevice"},
    {"cfg set COMMAND=10000", 2, "tzctl: value 0x10000 is wider than a word (COMMAND)\n", "", "TZ810mOpenDevice"},
    {"cfg set 40=1:100", 2, "tzctl: mask 0x100 is wider than a byte (0x40)\n", "", "TZ810mOpenDevice"},
    {"cfg set 4 10000 --width word", 2, "tzctl: value 0x10000 is wider than a word (0x04.w)\n", "", "TZ810mOpenDevice"},
    {"cfg get COMAND", 2, "tzctl: unknown register 'COMAND'; did you mean COMMAND?\n", "", "TZ810mOpenDevice"},
    {"cfg set COMMAND=zz", 2, "tzctl: value 'zz' of COMMAND is not a hex number\n", "", "TZ810mOpenDevice"},
    {"cfg set COMMAND", 2, "tzctl: 'COMMAND' gives no value; write NAME=VALUE or NAME=VALUE:MASK\n", "", "TZ810mOpenDevice"},
    {"cfg get COMMAND=1", 2, "tzctl: 'COMMAND=1' is a write; cfg set takes it\n", "", "TZ810mOpenDevice"},
    {"cfg set 40.q=1", 2, "tzctl: '40.q': a width is .b, .w or .l\n", "", "TZ810mOpenDevice"},
    {"cfg get COMMAND --width word", 2, "tzctl: --width is for OFF alone; give a register its width as .b, .w or .l\n", "", "TZ810mOpenDevice"},
    {"cfg set 40 1 2 --width word", 2, "tzctl: --width writes one value; give OFF VALUE\n", "", "TZ810mOpenDevice"},
    {"cfg get 0 4 8", 2, "tzctl: give OFF and at most one LEN, or registers\n", "", "TZ810mOpenDevice"},
    {"cfg set 40", 2, "tzctl: give the BYTES to write, or registers NAME=VALUE\n", "", "TZ810mOpenDevice"},
    {"reg list", 0, "INT     0xeb  0x00  armed none\nGP0     0xf1  0x80  GP0 high\nSTATUS  0xf8  0x00  interrupt not active\nPULSE   0xfa  0x04  pulse 150 ns, 32-bit I/O off\n"},
    {"--card 1 reg list", 0, "\nPULSE   0xfa  0x04  pulse 150 ns\n"},
    {"reg set INT=e2 GP0=0 ; reg list", 0, "INT     0xeb  0xe2  armed level\nGP0     0xf1  0x00  GP0 low\nSTATUS  0xf8  0x04  interrupt active\n"},
    {"reg set INT=ea PULSE=40:40 ; reg list", 0, "INT     0xeb  0xea  armed edge\n"},
    {"reg set INT=ea PULSE=40:40 ; reg list", 0, "\nPULSE   0xfa  0x44  pulse 150 ns, 32-bit I/O on\n"},
    {"reg set GP0=7f:7f GP0=0 ; reg get gp0 PULSE", 0, "GP0 = 0x7f\nPULSE = 0x04\n"},
    {"--json --card 1 reg list", 0, "{\"registers\":[{\"register\":\"INT\",\"offset\":235,\"value\":0,\"armed\":\"none\"},{\"register\":\"GP0\",\"offset\":241,\"value\":128,\"gp0_high\":true},"
     "{\"register\":\"STATUS\",\"offset\":248,\"value\":0,\"interrupt_active\":false},{\"register\":\"PULSE\",\"offset\":250,\"value\":4,\"pulse_ns\":150,\"io_32bit\":null}]}\n"},
    {"reg set PULSE=47", 7, "tzctl: register PULSE did not take: wrote 0x47, read back 0x07; PULSE not restored: TZ810mWriteIoByte failed at 0xd0fa\n", "pulse_bit 0 = 6 stuck 0\nfault TZ810mWriteIoByte = call 2\n"},
    {"reg set PULSE=47", 4, "tzctl: register PULSE did not take: wrote 0x47, read back 0x07; PULSE put back as it was\n", "pulse_bit 0 = 6 stuck 0\n"},
    {"--json -D reg set GP0=0 PULSE=44", 0, "{\"registers\":[{\"register\":\"GP0\",\"offset\":241,\"width\":\"byte\",\"value\":0,\"old\":128},{\"register\":\"PULSE\",\"offset\":250,\"width\":\"byte\","
     "\"value\":68,\"old\":4}],\"dry_run\":true,\"writes\":[\"0x00 to GP0 (I/O 0xd0f1; was 0x80)\",\"0x44 to PULSE (I/O 0xd0fa)\"]}\n", "", "TZ810mWriteIoByte"},
    {"reg set PULSE=44", 4, "tzctl: register PULSE did not take: wrote 0x44, read back 0x04\n", "pulse_bit 0 = 6 stuck 0\n"},
    {"reg set INT=e2", 1, "tzctl: TZ810mWriteIoByte failed\n", "fault TZ810mWriteIoByte = always\n"},
    {"reg get GP0", 1, "tzctl: TZ810mReadIoByte failed\n", "fault TZ810mReadIoByte = always\n"},
    {"--json reg get GP0", 0, "{\"registers\":[{\"register\":\"GP0\",\"offset\":241,\"width\":\"byte\",\"value\":128}]}\n"},
    {"reg set GP0=2", 2, "tzctl: GP0 takes 0 or 1, the pin's level; give GP0=VALUE:MASK for the whole byte\n", "", "TZ810mOpenDevice"},
    {"reg get PULS", 2, "tzctl: unknown register 'PULS'; did you mean PULSE? (registers: INT, GP0, STATUS, PULSE)\n", "", "TZ810mOpenDevice"},
    {"reg set STATUS=100", 2, "tzctl: value 0x100 is wider than a byte (STATUS)\n", "", "TZ810mOpenDevice"},
    {"cfg get 0X3", 0, "0x58\n"},
    {"--json cfg get 2 2", 0, "{\"offset\":2,\"bytes\":[52,88]}\n"},
    {"cfg dump", 0, "00:00.0 Communication controller: Device 7a5d:5834 (rev 01)\n00: 5d 7a 34 58 03 00 80 02 01 00 80 07 08 20 00 00\n10: 01 d0 00 00 00 00 b0 fe"},
    {"--json cfg dump", 0, "{\"offset\":0,\"bytes\":[93,122,52,88,"},
    {"cfg decode", 0, "\n\tRegion 0: I/O ports at d000 [size=256]\n\tRegion 1: Memory at feb00000 (32-bit, non-prefetchable) [size=32K]\n\tCapabilities: <none>\n"},
    {"--card 1 identity set --did 5831 --rid 2 ; --card 1 cfg decode", 0, "\n\t\tDID 5831 in the EEPROM, 5830 in use\n\t\tRID 02 in the EEPROM, 01 in use\n\tControl:"},
    {"cfg decode", 0, "\n\tIdentity: the chip's own; the EEPROM holds no identity block (header ff)\n\tControl:", "eeprom 0 = blank\n"},
    {"cfg decode", 0, "\n\tIdentity: not known, the EEPROM could not be read (TZ810mReadI2C failed)\n", "fault TZ810mReadI2C = always\n"},
    {"cfg decode", 5, "tzctl: card 0 not recognised (device id byte 35)\n", kUnrecognised},
    {"cfg decode --force", 0, "\n\tRegion 0: I/O ports at d000\n\tCapabilities: <none>\n", kUnrecognised},
    {"--json cfg decode", 0, "{\"card\":0,\"address\":\"00:00.0\",\"chip\":\"TZ820\",\"vendor\":31325,\"device\":22580,\"revision\":1,\"base_class\":7,\"sub_class\":128,\"prog_if\":0,\"subsystem_vendor\":31325,\"subsystem\":1,\"identity\":{\"source\":\"eeprom\",\"differences\":[]},\"regions\":[{\"region\":0,\"space\":\"io\",\"address\":53248,\"bits\":32,\"prefetchable\":false,\"size\":256,\"disabled\":false},{\"region\":1,\"space\":\"mem\",\"address\":4272947200,\"bits\":32,\"prefetchable\":false,\"size\":32768,\"disabled\":false}],\"irq\":16,\"interrupt_pin\":\"A\",\"latency\":32,\"cache_line_bytes\":32,\"min_gnt_ns\":0,\"max_lat_ns\":0,\"control\":{\"io\":true,\"mem\":true,\"bus_master\":false,\"special_cycles\":false,\"mem_write_invalidate\":false,\"vga_snoop\":false,\"parity_error_response\":false,\"stepping\":false,\"serr\":false,\"fast_back_to_back\":false,\"interrupt_disable\":false},\"status\":{"},
    {"--card 1 identity set --did 5831 ; --json --card 1 cfg decode", 0, "{\"card\":1,\"address\":\"00:01.0\",\"chip\":\"TZ810\",\"vendor\":31325,\"device\":22576,\"revision\":1,\"base_class\":7,\"sub_class\":128,\"prog_if\":0,\"subsystem_vendor\":31325,\"subsystem\":1,\"identity\":{\"source\":\"eeprom\",\"differences\":[{\"field\":\"DID\",\"eeprom\":22577,\"in_use\":22576}]},\"regions\":[{\"region\":0,\"space\":\"io\",\"address\":53504,\"bits\":32,\"prefetchable\":false,\"size\":256,\"disabled\":false}],"},
    {"cfg set 3c 20 55", 4, "tzctl: config byte 0x3d did not take; configuration space put back as it was\n"},
    {"cfg set 2 11 22", 4, "tzctl: config bytes 0x02, 0x03 did not take\n"},
    {"cfg set 40 0102 ; cfg get 40 2", 0, "00000040  01 02 "},
    {"cfg set 40 123", 2, kBadBytes, "", "TZ810mOpenDevice"},
    {"cfg get 100", 2, "tzctl: offset '100' is not a hex number up to 0xff\n"},
    {"cfg get f0 11", 2, "tzctl: the range runs past 0xff\n"},
    {"cfg get 0 101", 2, "tzctl: length '101' is not a hex number up to 0x100\n"},
    {"cfg set 40 01", 1, "tzctl: TZ810mWriteConfig failed at 0x40\n", "fault TZ810mWriteConfig = always\n"},
    {"cfg set 40 1 ; cfg get 40", 0, "0x01\n"},
    {"cfg get 0 --width word", 0, "0x7a5d\n"},
    {"--json cfg get 0 --width dword", 0, "{\"offset\":0,\"width\":\"dword\",\"value\":1479834205}\n"},
    {"--json cfg set 40 0003 --width word", 0, "{\"registers\":[{\"register\":\"0x40.w\","},
    {"--json reg set GP0=0", 0, "{\"registers\":[{\"register\":\"GP0\","},
    {"--json flash read o.bin ; --json flash verify o.bin", 0, "{\"verified\":true,\"compared\":65536}\n"},
    {"--json i2c dump -o e.bin ; --json i2c restore e.bin", 0, "{\"offset\":0,\"written\":256}\n"},
    {"cfg get 0 4 --width word", 2, "tzctl: --width reads one value; give no LEN with it\n"},
    {"cfg get fe --width dword", 2, "tzctl: the range runs past 0xff\n"},
    {"cfg get fc --width dword", 0, "0x00000000\n"},
    {"cfg get 2 --force", 0, "0x35\n", kUnrecognised},
    {"i2c set ff 5a ; i2c get ff", 0, "0x5a\n"},
    {"cfg set ff 01 02", 2, "tzctl: the bytes run past 0xff\n"},
    {"i2c dump", 0, "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f    0123456789abcdef\n"
     "00: 78 00 00 00 5d 7a 34 58 01 00 00 10 5d 7a 01 00    x...]z4X?..?]z?.\n"},
    {"i2c set 40 aa bb", 0, "2 bytes written from 0x40\n"},
    {"i2c set 40 0x12", 0, "1 byte written from 0x40\n"},
    {"i2c set 40 55", 4, "tzctl: EEPROM byte 0x40 did not take\n", "eeprom 0 = read_only\n"},
    {"i2c set 40 -i small.bin ; i2c get 40 4", 0, "00000040  01 02 03 04 "},
    {"i2c set 40 01 -i small.bin", 2, "tzctl: give either the bytes or -i FILE\n"},
    {"i2c set 0 -i big.bin", 2, "tzctl: big.bin is over 256 bytes\n"},
    {"i2c set 0 -i empty.bin", 2, "tzctl: empty.bin is empty; nothing written\n"},
    {"i2c restore none.bin", 2, "tzctl: cannot read none.bin\n"},
    {"i2c set 6 35", 2, "tzctl: no program here recognises DID 5835 (its low byte must be 30, 31 or 34); nothing "
     "written (--force writes it)\n", "", "TZ810mWriteI2C"},
    {"i2c set 6 30 --force ; i2c dump --force", 0, "\n00: 78 00 00 00 5d 7a 30 58 ", kUnrecognised},
    {"i2c dump -o e.bin", 0, "256 bytes saved to e.bin\n"},
    {"i2c set 40 0a 0d 1a ; i2c dump -o - ; i2c set 40 00 00 00 ; i2c restore - ; i2c get 40 3", 0, "00000040  0a 0d 1a "},
    {"io read f8 4 -o - ; io write 20 -i - ; io read 20 4", 0, "00000020  00 00 04 00 "},
    {"flash write image.bin ; flash read - ; flash erase ; flash write - ; flash verify image.bin", 0, "flash matches image.bin\n"},
    {"flash read - --offset 1000 --length 1000 ; flash verify - --offset 1000", 0, "flash 0x1000-0x1fff matches standard input\n"},
    {"--json flash read -", 2, "tzctl: --json and the bytes cannot share standard output; give a file for the bytes\n", "", "TZ810mOpenDevice"},
    {"i2c dump -o - ; i2c dump -o - ; i2c set 0 -i -", 2, "tzctl: standard input is over 256 bytes\n"},
    {"--json i2c dump -o -", 2, "tzctl: --json and the bytes cannot share standard output; give a file for the bytes\n", "", "TZ810mOpenDevice"},
    {"i2c restore -", 2, "tzctl: standard input is a console; pipe or redirect the bytes into tzctl\n"},
    {"i2c dump -o e.bin ; i2c set 6 35 --force ; i2c restore e.bin ; i2c get 6", 0, "0x34\n"},
    {"--json i2c dump -o e.bin", 0, "{\"offset\":0,\"saved\":256}\n"},
    {"i2c restore small.bin", 2, "tzctl: small.bin holds 4 bytes; a restore takes the whole chip, 256 bytes\n", "",
     "TZ810mOpenDevice"},
    {"i2c get 0", 1, "tzctl: TZ810mReadI2C failed at 0x0\n", "eeprom 0 = absent\n"},
    {"io write 10 01", 0, "1 byte written at 0xd010\n"},
    {"io write 10 0102 ; io read 10 2 --width word", 0, "00000010  01 02 "},
    {"io write 0 0g", 2, kBadBytes},
    {"io write 9000 -i small.bin --direct ; io read 9000 4 --direct", 0, "00009000  01 02 03 04 "},
    {"io read f8 4 -o out.bin ; io write 20 -i out.bin ; io read 20 4", 0, "00000020  00 00 04 00 "},
    {"io read f8 4 -o out.bin", 0, "4 bytes saved to out.bin\n"},
    {kSaveToLongPath.c_str(), 0, kSavedToLongPath.c_str()},
    {"--json io read f8 4 -o out.bin", 0, "{\"offset\":248,\"address\":53496,\"saved\":4}\n"},
    {"--json io read fa 1", 0, "{\"offset\":250,\"address\":53498,\"bytes\":[4]}\n"},
    {"io read 1 2 --width word", 2, "tzctl: word access needs an address and a length that are multiples of 2\n"},
    {"io read 2 4 --width dword", 2, "tzctl: dword access needs an address and a length that are multiples of 4\n"},
    {"io read 0 8001", 2, "tzctl: at most 0x8000 bytes at a time\n", "", "TZ810mOpenDevice"},
    {"io read 0 ffffffff", 2, "tzctl: at most 0x8000 bytes at a time\n", "", "TZ810mOpenDevice"},
    {"io read 0 100000000", 2, "tzctl: length '100000000' is not a hex number up to 0xffffffff\n"},
    {"io read 10000 1", 2, "tzctl: offset '10000' is not a hex number up to 0xffff\n", "", "TZ810mOpenDevice"},
    {"io write fff0 -i small.bin", 2, "tzctl: 0x4 bytes at 0x1cff0 run past 0xffff, the end of I/O space\n", "",
     "TZ810mAccessBlock"},
    {"io read fff0 20 --direct", 2, "tzctl: 0x20 bytes at 0xfff0 run past 0xffff, the end of I/O space\n", "",
     "TZ810mOpenDevice"},
    {"io read fff0 10 --direct", 0, "0000fff0  "},
    {"io write 0 -i big.bin", 2, "tzctl: at most 0x8000 bytes at a time\n"},
    {"io write 0 01 -i small.bin", 2, "tzctl: give either the bytes or -i FILE\n"},
    {"io write 0 -i none.bin", 2, "tzctl: cannot read none.bin\n"},
    {"io read f8 2 -o unwritable.bin", 2, "tzctl: cannot write unwritable.bin\n"},
    {"io read f8 2 -o .", 2, "tzctl: cannot write .\n"},
    {"io write 0 -i empty.bin", 2, "tzctl: empty.bin is empty; there is nothing to write\n"},
    {"io read f8 2 -o /missing/x", 2, "tzctl: cannot write /missing/x\n", "", "TZ810mOpenDevice"},
    {"io read 0 1", 1, "tzctl: TZ810mAccessBlock failed\n", "fault TZ810mAccessBlock = always\n"},
    {"mem write 7ff8 11223344 --width dword ; mem read 7ff8 4", 0, "00007ff8  11 22 33 44 "},
    {"mem read 7fff 1", 2, "tzctl: offset + length runs past 0x7fff, the end of the MEM window\n"},
    {"mem read 0 4", 1, "tzctl: TZ820mGetMemBaseAddr failed\n", "fault TZ820mGetMemBaseAddr = always\n",
     "TZ810mAccessBlock"},
    {"--card 1 mem read 0 4", 5, "tzctl: mem needs a TZ820; card 1 is a TZ810\n"},
    {"identity set --svid 1 --sid 2", 0, "identity written: vid 7a5d did 5834 rid 01 svid 0001 sid 0002; it takes "
     "effect at the card's next power-up\n"},
    {"identity set --sid 2 ; identity show", 0, "\nsvid  1111    1111\nsid   0002    0001\n",
     "eeprom 0 = blank\nsvid 0 = 0x1111\n"},
    {"identity set --vid ffff", 2, "tzctl: VID ffff hides the card from the system, as an empty slot reads ffff; "
     "nothing written (--force writes it)\n", "", "TZ810mWriteI2C"},
    {"--card 1 identity set --did 5834", 2, "tzctl: DID 5834 names a TZ820, but card 1 is a TZ810, whose registers "
     "differ; nothing written (--force writes it)\n", "", "TZ810mWriteI2C"},
    {"identity set", 2, "tzctl: give at least one of --vid, --did, --rid, --svid, --sid; nothing written\n", "",
     "TZ810mOpenDevice"},
    {"identity show", 5, "tzctl: card 0 not recognised (device id byte 35)\n", kUnrecognised},
    {"identity set --did 5830 --force ; identity show --force", 0, "\ndid   5830    5835\n", kUnrecognised},
    {"identity set --did 1235", 2, "tzctl: no program here recognises DID 1235 (its low byte must be 30, 31 or 34); "
     "nothing written (--force writes it)\n", "", "TZ810mWriteI2C"},
    {"identity show", 0, kIdentity},
    {"identity show", 0, "\nheader ff, not valid\n", "eeprom 0 = blank\n"},
    {"--card 1 identity set --did 5831 --rid 2 ; --card 1 identity show", 0, "\ndid   5831    5830\n"
     "rid   02      01\n"},
    {"identity set --did 1235 --force ; identity show", 0, "\ndid   1235    5834\n"},
    {"--json identity set --rid 2", 0, "{\"identity\":{\"vid\":31325,\"did\":22580,\"rid\":2,\"svid\":31325,"
     "\"sid\":1},\"written\":32}\n"},
    {"identity set --vid 12345", 2, "tzctl: VID '12345' is not a hex number up to 0xffff\n", "", "TZ810mOpenDevice"},
    {"identity set --rid 100", 2, "tzctl: RID '100' is not a hex number up to 0xff\n"},
    {"identity set --did 1g", 2, "tzctl: DID '1g' is not a hex number up to 0xffff\n"},
    {"identity set --svid x", 2, "tzctl: SVID 'x' is not a hex number up to 0xffff\n"},
    {"identity set --sid 10000", 2, "tzctl: SID '10000' is not a hex number up to 0xffff\n"},
    {"identity set --rid 3", 7, "tzctl: TZ810mReadI2C failed at 0x0; the identity block not restored: TZ810mReadI2C "
     "failed at 0x0\n", "fault TZ810mReadI2C = from 33\n"},
    {"identity set --rid 3", 1, "tzctl: TZ810mWriteI2C failed at 0x7\n", "fault TZ810mWriteI2C = call 8\n"},
    {"flash write image.bin ; flash verify half.bin --partial", 4, "tzctl: verify failed: first difference at 0x8000 "
     "(expected ff, found 00), 32640 bytes differ\n"},
    {"flash write image.bin ; flash write small.bin --partial --no-erase", 4, "tzctl: verify failed: first difference "
     "at 0x0 (expected 01, found 00), 2 bytes differ; the flash put back as it was\n"},
    {"flash write small.bin --partial", 0, "4 bytes written from address 0 and verified; the rest of the chip, from "
     "0x4, is left erased\n"},
    {"flash write small.bin", 2, "tzctl: small.bin holds 4 bytes, not the chip's 65536; --partial puts it at address "
     "0 and leaves the rest erased\n", "", "TZ810mOpenDevice"},
    {"flash verify empty.bin --partial", 2, "tzctl: empty.bin is empty; nothing sent\n", "", "TZ810mOpenDevice"},
    {"flash id", 0, "flash 25VF512, 64 KiB (reply bf 48 bf 48)\n"},
    {"flash read out.bin", 0, "flash read into out.bin\n"},
    {"flash id", 5, "tzctl: no flash identified (reply ff ff ff ff)\n", "flash = absent\n"},
    {"flash write image.bin", 0, "65536 bytes written and verified\n"},
    {"flash erase", 0, "flash erased and blank\n"},
    {"flash write image.bin ; flash write small.bin --partial --no-erase --no-verify", 0,
     "4 bytes written from address 0; the rest of the chip, from 0x4, is left as it was\n"},
    {"flash write big.bin", 2, "tzctl: big.bin is over 64 KiB\n", "", "TZ810mOpenDevice"},
    {"flash verify none.bin", 2, "tzctl: cannot read none.bin\n"},
    {"flash write image.bin", 1, "tzctl: TZ780mReadFlash failed at 0x4000\n", "fault TZ780mReadFlash = call 5\n"},
    {"flash write image.bin ; flash read out.bin ; flash verify out.bin", 0, "flash matches out.bin\n"},
    {"flash read /missing/out.bin", 2, "tzctl: cannot write /missing/out.bin\n", "", "TZ810mOpenDevice"},
    {"flash read unwritable.bin", 2, "tzctl: cannot write unwritable.bin\n"},
    {"flash erase", 1, "tzctl: TZ780mEarseFlash failed at 0x0\n", "fault TZ780mEarseFlash = always\n"},
    {"flash write small.bin --partial", 4, "tzctl: verify failed: first difference at 0x0 (expected 01, found ff), 4 "
     "bytes differ\n", "fault TZ780mWriteFlash = always\n"},
    {"flash write sector.bin --offset 1000", 0, "4096 bytes written at 0x1000-0x1fff and verified; the other 60 KiB unchanged\n"},
    {"flash write image.bin ; flash read o.bin --offset 0x1000 --length 1000 ; flash verify o.bin --offset 1000", 0, "flash 0x1000-0x1fff matches o.bin\n"},
    {"flash write image.bin ; flash erase --offset 2000 --length 1000 ; flash verify image.bin", 4, "tzctl: verify failed: first difference at 0x2000 (expected 00, found ff), 4080 bytes differ\n"},
    {"flash write image.bin ; flash write sector.bin --offset 1000 ; flash verify image.bin", 4, "tzctl: verify failed: first difference at 0x1000 (expected 00, found 5a), 4080 bytes differ\n"},
    {"flash erase --offset f000", 0, "flash 0xf000-0xffff erased and blank (1 sector)\n"},
    {"--json flash erase --offset 1000 --length 2000", 0, "{\"offset\":4096,\"length\":8192,\"erased\":true}\n"},
    {"--json flash write sector.bin --offset 1000 --no-verify", 0, "{\"written\":4096,\"offset\":4096,\"erased\":true,\"verified\":false}\n"},
    {"flash read o.bin --offset 10 --length 4", 0, "flash 0x0010-0x0013 read into o.bin\n"},
    {"flash write sector.bin --offset 1800", 2, "tzctl: 0x1800 is not on a 4 KiB sector; the nearest bounds are 0x1000 and 0x2000\n", "", "TZ810mOpenDevice"},
    {"flash verify small.bin --offset 1000", 2, "tzctl: 0x1004 is not on a 4 KiB sector; the nearest bounds are 0x1000 and 0x2000\n", "", "TZ810mOpenDevice"},
    {"flash erase --offset 1000 --length 800", 2, "tzctl: 0x1800 is not on a 4 KiB sector; the nearest bounds are 0x1000 and 0x2000\n", "", "TZ810mOpenDevice"},
    {"flash write half.bin --offset 9000", 2, "tzctl: 0x9000 + 0x8000 runs past 0xffff, the end of the flash\n", "", "TZ810mOpenDevice"},
    {"flash read o.bin --offset ffff --length 2", 2, "tzctl: 0xffff + 0x2 runs past 0xffff, the end of the flash\n", "", "TZ810mOpenDevice"},
    {"flash write sector.bin --offset 1000 --partial", 2, "tzctl: --partial and --offset do not go together: a region image is whole sectors\n", "", "TZ810mOpenDevice"},
    {"flash write sector.bin --offset 1000", 4, "tzctl: changed outside 0x1000-0x1fff: first difference at 0x8000 (expected ff, found 00), 1 byte differs; the flash put back as it was\n", "flash_stray = 0x8000\n"},
    {"flash erase --offset 1000 --length 1000", 4, "tzctl: flash not blank: first difference at 0x1800 (expected ff, found 00), 1 byte differs\n", "flash_stray = 0x1800\n"},
    {"flash write image.bin ; flash write sector.bin --offset 1000", 1, "tzctl: TZ780mEarseFlash failed at 0x1000\n", "fault TZ780mEarseFlash = call 2\n"},
    {"pulse get", 0, "150 ns\n"},
    {"pulse get", 1, "tzctl: TZ810mGetIoBaseAddr failed\n", "fault TZ810mGetIoBaseAddr = always\n", "TZ810mReadIoByte"},
    {"pulse set 450 ; io read fa 1", 0, "000000fa  4e "},
    {"pulse set 060", 0, "pulse width set to 60 ns\n"},
    {"pulse set 0x3c", 2, "tzctl: NS '0x3c' is not a decimal number from 30 to 450\n"},
    {"pulse set 40", 2, "tzctl: 40 ns is not one of 30, 60, ... 450\n", "", "TZ810mOpenDevice"},
    {"pulse set 60", 1, "tzctl: TZ810mWriteIoByte failed\n", "fault TZ810mWriteIoByte = always\n"},
    {"--json spi set spi4 15.6", 0, "{\"mode\":\"spi4\",\"clock_khz\":15600,\"code\":3}\n"},
    {"spi set spi3 31.3", 0, "SPI set: spi3, 31.3 MHz\n"},
    {"spi set spi3 31.3", 1, "tzctl: TZ810SetStream failed\n", "fault TZ810SetStream = always\n"},
    {"irq watch edge --timeout 0.05", 1, "tzctl: 0 of 1 edge interrupt within 0.05 s; is pin A15 joined to INT# (the "
     "jumper)?\n", "a15_int = off\n"},
    {"irq watch level", 1, "tzctl: TZ810mWriteIoByte failed (arming the interrupt)\n", "fault TZ810mWriteIoByte = "
     "always\n"},
    {"irq watch level", 1, "tzctl: TZ810mGetIoBaseAddr failed\n", "fault TZ810mGetIoBaseAddr = always\n",
     "TZ810mSetIntRoutine"},
    {"irq watch level --count 010", 0, "10 level interrupts\n"},
    {"irq watch edge", 0, "1 edge interrupt\n"},
    {"irq watch level --count 0", 2, "tzctl: --count '0' is not a decimal number from 1 to 1000000\n"},
    {"irq watch level --timeout 1e10", 2, kLongTimeout.c_str()},
    {"irq watch level --timeout 0", 2, kNoTimeout.c_str()},
    {"irq watch level --timeout 86401", 2, kDayTimeout.c_str(), "", "TZ810mOpenDevice"},
    {"irq watch level --timeout 86400", 0, "1 level interrupt\n"},
    {"irq watch level ; io read f1 1", 0, "000000f1  80 "},
    {"--json irq watch edge", 0, "{\"kind\":\"edge\",\"count\":1}\n"},
    {"selftest --only config", 0, "library: simulated board library, no card\nat station bench-1, started 2026-12-08T17:58:03+01:00\nconfig     PASS   "},
    {"selftest --skip config,config,mem,flash", 0, "\nidentity   PASS   "},
    {"selftest --irq --only level-irq", 0, "\nlevel-irq  PASS   "},
    {"--json selftest --only config", 0, "{\"card\":0,\"chip\":\"TZ820\",\"passed\":1,\"failed\":0,"},
    {"--all selftest --only config", 0, "\ncard 1 TZ810: 1 passed, 0 failed, 7 skipped in "},
    {"selftest --only bogus", 2, "tzctl: unknown check 'bogus' (checks: config, identity, pulse, mem, eeprom, flash, "
     "level-irq, edge-irq)\n"},
    {"selftest --skip config,bogus", 2, "tzctl: unknown check 'bogus' (checks: config, identity, pulse, mem, eeprom, "
     "flash, level-irq, edge-irq)\n"},
    {"selftest --only eeprom", 4, "tzctl: card 0: 1 check failed\n", "eeprom 0 = read_only\n"},
    {"selftest --only eeprom,identity", 4, "tzctl: card 0: 2 checks failed\n", "eeprom 0 = read_only\n"
     "eeprom_changed 0 = 6 0x35\n"},
    {"selftest --only flash --destructive", 7, "tzctl: card 0 not restored: flash image not restored: "
     "TZ780mEarseFlash failed at 0x0; the original is in tzctl-flash-backup.bin\n", "fault TZ780mEarseFlash = call "
     "3\n"},
    {"--card 2 selftest", 5, "tzctl: no card at index 2\n"},
    {"--all selftest", 5, "tzctl: card 2 not recognised (device id byte 35)\n", "card 2 = TZ810\ndid 2 = 0x5835\n"},
    {"--all selftest", 5, "tzctl: no card answers\n", "card 0 = none\n"},
    {"selftest --only config --junit /missing/x.xml", 2, "tzctl: cannot write /missing/x.xml\n", "",
     "TZ810mOpenDevice"},
    {"selftest", 5, "tzctl: card 0 could not be opened\n", "fault TZ810mOpenDevice = call 2\n"},
    {"selftest --only flash --backup /missing/b.bin", 0, "\nflash      PASS   "},
    {"selftest --only flash --destructive --junit unwritable.bin", 7, "tzctl: card 0 not restored: flash image not "
     "restored: TZ780mEarseFlash failed at 0x0; the original is in tzctl-flash-backup.bin\n"
     "tzctl: cannot write unwritable.bin\n", "fault TZ780mEarseFlash = call 3\n"},
    {"--all selftest --only flash --destructive", 7, "tzctl: card 0 not restored: flash image not restored: "
     "TZ780mEarseFlash failed at 0x0; the original is in tzctl-flash-backup.bin\n"
     "tzctl: card 2 not recognised (device id byte 35)\n", "card 0 = TZ820\ncard 1 = TZ810\ncard 2 = TZ810\n"
     "did 2 = 0x5835\nfault TZ780mEarseFlash = call 3\n"},
    {"--json -D pulse set 60", 0, "{\"pulse_ns\":60,\"register\":65,\"dry_run\":true,\"writes\":[\"41 to the pulse register (I/O 0xd0fa): 60 ns\"]}\n"},
    {"selftest --only config --serial SN7", 0, "library: simulated board library, no card\nboard SN7 at station bench-1, started 2026-12-08T17:58:03+01:00\n"},
    {"selftest --only config --station S2", 0, "\nat station S2, started "},
    {"selftest --serial \"\"", 2, "tzctl: --serial is empty; give it a value\n", "", "TZ810mOpenDevice"},
    {"selftest --station \"\"", 2, "tzctl: --station is empty; give it a value\n", "", "TZ810mOpenDevice"},
    {"selftest --serial \x01", 2, "tzctl: --serial must not hold control characters\n", "", "TZ810mOpenDevice"},
    {"selftest --loops 0", 2, "tzctl: --loops '0' is not a decimal number from 1 to 1000000\n", "", "TZ810mOpenDevice"},
    {"selftest --log /missing/r.log", 2, "tzctl: cannot write /missing/r.log\n", "", "TZ810mOpenDevice"},
    {"selftest --log unwritable.bin", 2, "tzctl: cannot write unwritable.bin\n", "", "TZ810mOpenDevice"},
    {"selftest --only config --log full.log", 6, "tzctl: cannot write full.log\n"},
    {"selftest --only mem --loops 3", 4, "tzctl: card 0: 1 check failed\n", "mem_data 0 = 3 stuck 0\n"},
    {"-D selftest --only eeprom,config", 0, "\nwould write eeprom: 55, then aa, to EEPROM byte ff, then its value put back\ndry run: nothing written\n"},
    {"-D i2c set 4 ff ff", 2, "tzctl: VID ffff hides the card from the system, as an empty slot reads ffff; nothing written (--force writes it)\n"},
};

// clang-format on

std::vector<std::string> Words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    for (std::string &word : words)
        if (word == "\"\"")
            word.clear();
    return words;
}

// The user guide's rows whose first cell names the command, "cfg get".
std::string GuideRows(const std::string &command)
{
    std::ifstream in(USER_GUIDE);
    std::string rows;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("| ", 0) == 0 && line.find("`" + command) < line.find(" | ", 1))
            rows += line;
    return rows;
}

// Every key of a command's JSON answer is in its row of the guide; the
// self-test's and a dry run's keys are listed in their own paragraphs.
void ExpectKeysInGuide(const std::string &commands, const tzctl_runs::Run &run)
{
    const std::size_t semi = commands.rfind(" ; ");
    std::vector<std::string> words =
        Words(commands.substr(semi == std::string::npos ? 0 : semi + 3));
    auto has = [&words](const char *word) {
        return std::find(words.begin(), words.end(), word) != words.end();
    };
    if (!has("--json") || has("-D") || has("selftest") || run.exit)
        return;
    words.erase(std::remove_if(words.begin(), words.end(),
                               [](const std::string &w) { return w[0] == '-' || isdigit(w[0]); }),
                words.end());
    const std::string command = words.empty()       ? "--version"
                                : words.size() == 1 ? words[0]
                                                    : words[0] + " " + words[1];
    const std::string rows = GuideRows(command);
    const nlohmann::json object = nlohmann::json::parse(run.out);
    for (const auto &item : object.items())
        EXPECT_NE(rows.find("\"" + item.key() + "\""), std::string::npos)
            << item.key() << " of " << command;
}

TEST(Tzctl, CommandTable)
{
    Bytes image(0x10000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7);
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.command);
        tzsim::Reset(row.config ? row.config : "");
        FakeHost host;
        host.loads = row.config;
        host.files = {{"small.bin", {1, 2, 3, 4}},
                      {"big.bin", Bytes(0x10001)},
                      {"image.bin", image},
                      {"half.bin", Bytes(image.begin(), image.begin() + 0x8000)},
                      {"sector.bin", Bytes(0x1000, 0x5A)},
                      {"empty.bin", {}}};
        const tzctl_runs::Run run = tzctl_runs::RunAll(row.command, [&](const std::string &line) {
            host.out.clear();
            host.err.clear();
            const int code = RunTzctl(Words(line), host);
            return tzctl_runs::Run{code, host.out, host.err};
        });
        tzctl_runs::ExpectRun(run, row.command, row.exit, row.text);
        ExpectKeysInGuide(row.command, run);
        EXPECT_TRUE(!row.notCalled || tzsim::CountCalls(row.notCalled) == 0u);
        for (ULONG i = 0; i < 16; ++i)
            EXPECT_FALSE(tzsim::IsOpen(i)) << "card " << i << " left open";
    }
}

// Every card asked for is in the one JSON object and in the JUnit file,
// tested or not, and a station reading only the file never sees green.
TEST(Tzctl, SelftestReportsEveryCardAskedFor)
{
    tzsim::Reset();
    FakeHost host;
    EXPECT_EQ(RunTzctl({"--json", "--card", "2", "selftest", "--junit", "x.xml"}, host), 5);
    EXPECT_EQ(host.out, "{\"error\":{\"code\":5,\"message\":\"no card at index 2\"}}\n");
    tinyxml2::XMLDocument xml;
    const Bytes &report = host.files["x.xml"];
    ASSERT_EQ(xml.Parse(reinterpret_cast<const char *>(report.data()), report.size()),
              tinyxml2::XML_SUCCESS);
    EXPECT_STREQ(xml.FirstChildElement()->Attribute("errors"), "1");
    tzsim::Reset("card 2 = TZ810\ndid 2 = 0x5835");
    host.out.clear();
    EXPECT_EQ(RunTzctl({"--json", "--all", "selftest", "--only", "config"}, host), 5);
    EXPECT_EQ(nlohmann::json::parse(host.out)["cards"][0]["error"]["code"], 5) << host.out;
    tzsim::Reset("card 0 = none");
    host.out.clear();
    EXPECT_EQ(RunTzctl({"--json", "--all", "selftest", "--junit", "x.xml"}, host), 5);
    EXPECT_EQ(host.out, "{\"error\":{\"code\":5,\"message\":\"no card answers\"}}\n");
    ASSERT_EQ(xml.Parse(reinterpret_cast<const char *>(report.data()), report.size()),
              tinyxml2::XML_SUCCESS);
    EXPECT_STREQ(xml.FirstChildElement()->Attribute("tests"), "1");
    const tinyxml2::XMLElement *suite = xml.FirstChildElement()->FirstChildElement("testsuite");
    EXPECT_STREQ(
        suite->FirstChildElement("testcase")->FirstChildElement("error")->Attribute("message"),
        "no card answers");
    tzsim::Reset();
    host.out.clear();
    EXPECT_EQ(RunTzctl({"--json", "--all", "selftest", "--only", "config"}, host), 0);
    const nlohmann::json all = nlohmann::json::parse(host.out);
    EXPECT_EQ(all.size(), 6u);  // the cards, the library, the station, two times, the version
    EXPECT_EQ(all["cards"].size(), 2u);
    EXPECT_EQ(all["cards"][1]["chip"], "TZ810");
    EXPECT_EQ(all["cards"][1]["interrupted"], false);
    EXPECT_EQ(all["cards"][1]["checks"][0]["name"], "config");
    EXPECT_EQ(all["cards"][1]["checks"][0]["facts"]["vid"], 0x7a5d);
    EXPECT_EQ(all["cards"][0]["checks"][0]["facts"]["mem_base"], 0xfeb00000);
    EXPECT_EQ(all["cards"][0]["checks"][0]["facts"]["int_line"], 16);
    EXPECT_EQ(all["library"]["simulated"], true);
    EXPECT_EQ(all["station"], "bench-1");
    host.out.clear();
    EXPECT_EQ(
        RunTzctl(Words("--json selftest --only mem --loops 2 --serial SN7 --log r.log"), host), 0);
    const nlohmann::json one = nlohmann::json::parse(host.out);
    EXPECT_EQ(one["serial"], "SN7");
    EXPECT_EQ(one["checks"][3]["loops"], 2);
    EXPECT_EQ(one["checks"][3]["failing_loops"], 0);
    const nlohmann::json line = nlohmann::json::parse(host.files["r.log"]);
    EXPECT_EQ(line["outcome"], "PASS");
    EXPECT_EQ(line["serial"], "SN7");
    host.out.clear();
    EXPECT_EQ(RunTzctl({"--json", "selftest", "--only", "bogus"}, host), 2);
    EXPECT_EQ(nlohmann::json::parse(host.out)["error"]["code"], 2);
}

// Ctrl-C: a command runs to its end and says what it did, a watch stops at once; exit 8 either way.
TEST(Tzctl, Interrupted)
{
    tzsim::Reset();
    FakeHost host;
    host.interrupted = true;
    EXPECT_EQ(RunTzctl({"pulse", "set", "60"}, host), tzctl::kExitInterrupted);
    EXPECT_EQ(host.out, "pulse width set to 60 ns\n");
    EXPECT_EQ(host.err, "tzctl: interrupted; the command ran to its end first\n");
    host.out.clear();
    host.err.clear();
    EXPECT_EQ(RunTzctl(Words("irq watch edge --count 1000000 --timeout 60"), host),
              tzctl::kExitInterrupted);
    EXPECT_EQ(host.err, "tzctl: interrupted after 0 of 1000000 edge interrupts\n");
    host.err.clear();
    EXPECT_EQ(RunTzctl(Words("selftest --log r.log"), host), tzctl::kExitInterrupted);
    EXPECT_EQ(host.err, "tzctl: card 0 not tested: interrupted\n");
    const Bytes &log = host.files["r.log"];
    const nlohmann::json line = nlohmann::json::parse(log.begin(), log.end());
    EXPECT_EQ(line["outcome"], "ERROR") << line;
    EXPECT_EQ(line["exit_code"], 8) << line;
    EXPECT_FALSE(tzsim::IsOpen(0));
}

// The callers refuse an image over 64 KiB first; this is the net behind them.
TEST(Tzctl, CheckStopsAnImageOver64KiB)
{
    board::Outcome o;
    o.kind = board::Outcome::TooLarge;
    try {
        tzctl::Check(o, "flash write");
        ADD_FAILURE() << "no stop";
    } catch (const tzctl::Stop &s) {
        EXPECT_EQ(s.code, tzctl::kExitUsage) << s.message;
    }
}

// A path that is not UTF-8 still gets its one JSON answer.
TEST(Tzctl, JsonAnswersForAPathThatIsNotUtf8)
{
    tzsim::Reset();
    FakeHost host;
    EXPECT_EQ(RunTzctl({"--json", "flash", "read", "\xff/o.bin"}, host), tzctl::kExitUsage);
    EXPECT_NE(host.out.find("\xef\xbf\xbd/o.bin"), std::string::npos) << host.out << host.err;
}

// --trace: the same answer, and after what the log held, its header, the card's close last, and
// the summary; the calls themselves are the end-to-end test's.
TEST(Tzctl, TraceAppendsEveryCall)
{
    FakeHost plain, traced;
    tzsim::Reset();
    EXPECT_EQ(RunTzctl(Words("--card 1 cfg get 0 4"), plain), 0);
    tzsim::Reset();
    traced.files["t.log"] = {'x', '\n'};
    EXPECT_EQ(RunTzctl(Words("--trace t.log --card 1 cfg get 0 4"), traced), 0);
    EXPECT_EQ(traced.out, plain.out);
    const std::string log(traced.files["t.log"].begin(), traced.files["t.log"].end());
    EXPECT_EQ(log.find("x\n# tztrace: program tzctl, pid "), 0u) << log;
    EXPECT_LT(log.rfind(" TZ810mCloseDevice index=0x1 "), log.find("\n# summary of pid ")) << log;
}

// Progress shows only to a person watching the console.
TEST(Tzctl, Progress)
{
    tzsim::Reset();

    struct ConsoleHost : FakeHost {
        bool ErrIsConsole() override
        {
            return true;
        }
    } host;

    EXPECT_EQ(RunTzctl({"flash", "erase"}, host), 0);
    EXPECT_EQ(host.err.substr(0, 51), "\rflash erase  65536/65536\n\rflash verify  4096/65536");
}

// Every command tzctl has, with the arguments and options its help must name
// besides --help and the global options; a group's help names its commands, and
// nothing else.
// clang-format off
const struct {
    const char *path, *names;
} kHelpRows[] = {
    {"", "--version --all"},
    {"list", ""},
    {"info", ""},
    {"cfg dump", "--force"},
    {"cfg decode", "--force"},
    {"cfg get", "OFF LEN --force --width"},
    {"cfg set", "OFF BYTES --force --width"},
    {"i2c dump", "--force -o"},
    {"i2c get", "OFF LEN --force"},
    {"i2c set", "OFF BYTES --force -i"},
    {"i2c restore", "FILE --force"},
    {"io read", "OFF LEN --width --direct -o"},
    {"io write", "OFF BYTES --width --direct -i"},
    {"mem read", "OFF LEN --width -o"},
    {"mem write", "OFF BYTES --width -i"},
    {"identity show", "--force"},
    {"identity set", "--vid --did --rid --svid --sid --force"},
    {"flash id", ""},
    {"flash read", "FILE --offset --length"},
    {"flash write", "FILE --partial --no-erase --no-verify --offset"},
    {"flash verify", "FILE --partial --offset"},
    {"flash erase", "--offset --length"},
    {"pulse get", ""},
    {"pulse set", "NS"},
    {"spi set", "MODE CLOCK"},
    {"irq watch", "KIND --count --timeout"},
    {"reg list", ""},
    {"reg get", "NAME"},
    {"reg set", "NAME=VALUE"},
    {"selftest", "--only --skip --irq --destructive --backup --junit --serial --station --log --loops --all"},
};

// clang-format on

// The group a command belongs to, "" for tzctl itself.
std::string Parent(const std::string &path)
{
    const std::size_t space = path.rfind(' ');
    return space == std::string::npos ? "" : path.substr(0, space);
}

// What help lists, name to description: each argument, option and command on
// a line of its own, two spaces in, its description from column 30 on, or from
// column 30 of the next line when the name runs into that column.
std::map<std::string, std::string> Entries(const std::string &help)
{
    const std::string indent(30, ' ');
    std::vector<std::string> lines;
    std::istringstream in(help);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    lines.emplace_back();
    std::map<std::string, std::string> entries;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (line.compare(0, 2, "  ") != 0 || line[2] == ' ')
            continue;
        const std::string names = line.substr(2, line.find(' ', 2) - 2);  // -h,--help
        const bool below = line.size() >= indent.size() && line[indent.size() - 1] != ' ';
        const std::string &text = below ? lines[i + 1] : line;
        const bool described =
            text.size() > indent.size() && (!below || text.compare(0, indent.size(), indent) == 0);
        entries[names.substr(names.rfind(',') + 1)] = described ? text.substr(indent.size()) : "";
    }
    return entries;
}

TEST(Tzctl, HelpNamesAndDescribesEverything)
{
    std::map<std::string, std::string> names;  // of every command and group
    for (const auto &row : kHelpRows) {
        names[row.path] = row.names;
        names.emplace(Parent(row.path), "");
    }
    std::string all;  // every help text, as the user sees it
    for (const auto &[path, options] : names) {
        const std::string command = "tzctl " + path + " --help";
        FakeHost host;
        EXPECT_EQ(RunTzctl(Words(path + " --help"), host), 0) << command;
        all += "$ " + command + "\n" + host.out;
        EXPECT_EQ(host.err, "") << command;
        std::set<std::string> expected{"--help", "--card", "--trace", "--dry-run", "--json"};
        for (const std::string &name : Words(options))
            expected.insert(name);
        for (const auto &other : names)
            if (!other.first.empty() && Parent(other.first) == path)
                expected.insert(Words(other.first).back());
        std::set<std::string> named;
        for (const auto &[name, description] : Entries(host.out)) {
            named.insert(name);
            EXPECT_NE(description, "") << command << ": " << name << " has no description";
        }
        EXPECT_EQ(named, expected) << command;
        EXPECT_EQ(host.out.find("Exit codes:\n0  success\n") != std::string::npos, path.empty())
            << command;
    }
    // The words are read by people: a changed one is seen in review, and
    // TZ_UPDATE_HELP=1 writes the file anew.
    if (std::getenv("TZ_UPDATE_HELP"))
        std::ofstream(TZCTL_HELP, std::ios::binary) << all;
    std::ifstream kept(TZCTL_HELP, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), all);
}

// clang-format off
const std::pair<CliHost::LibraryInfo, const char *> kLibraryTexts[] = {
    {{"C:\\bench\\TZ810DLL.DLL", "1.0.3.0", false, false}, "C:\\bench\\TZ810DLL.DLL, file version 1.0.3.0"},
    {{"", "", false, false}, "TZ810DLL.DLL, no file version"},
    {{"t.dll", "2.0", false, true}, "tracing library t.dll, file version 2.0; its log names the library it passes the calls to"},
    {{"", "", true, false}, "simulated board library, no card"},
};

// clang-format on

// Standard output carries the bytes alone; what was done goes to standard error.
TEST(Tzctl, BytesToStandardOutput)
{
    tzsim::Reset("");
    FakeHost host;
    EXPECT_EQ(RunTzctl(Words("io read f8 4 -o -"), host), 0);
    EXPECT_EQ(host.out, std::string("\x00\x00\x04\x00", 4));
    EXPECT_EQ(host.err, "4 bytes saved to standard output\n");
}

TEST(Tzctl, LibraryNamedAsItWasLoaded)
{
    for (const auto &[library, text] : kLibraryTexts)
        EXPECT_EQ(tzctl::LibraryText(library), text);
}

TEST(Tzctl, DumpFormats)
{
    Bytes b(0x23, 0x41);
    for (std::size_t i = 0x20; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(HexDump(0x10, b),
              "00000010  41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  |AAAAAAAAAAAAAAAA|\n*\n"
              "00000030  20 21 22                                          | !\"|\n00000033\n");
    EXPECT_EQ(HexDump(0, {}), "");
    EXPECT_EQ(HexDump(0, {0x7F, 0x1F, 0x7E}).substr(60), "|..~|\n00000003\n");
    EXPECT_EQ(tzctl::I2cDump({0x00, 0xFF, 0x7F, 0x41}).substr(72), "00: 00 ff 7f 41    ..?A\n");
    Bytes bytes;
    EXPECT_TRUE(ParseHexBytes({"0x12", "1", " 01 0X2 ab", "0102ab"}, bytes));
    EXPECT_EQ(bytes, (Bytes{0x12, 1, 1, 2, 0xAB, 1, 2, 0xAB}));
    for (const char *bad : {"123", "0x123", "0x", "01 0g", " "}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseHexBytes({bad}, bytes));
    }
    EXPECT_FALSE(ParseHexBytes({}, bytes));
}

}  // namespace
