// The tracing library's wrappers over a fake vendor library: one line per
// call with its arguments, outputs, result and duration; the header; the
// summary; the interrupt routine's wrapper.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sim_control.h"
#include "tracer.h"

namespace {

using tztrace::Fn;
using Strings = std::vector<std::string>;

std::uint8_t buf[32];
ULONG word;
TZ_INT_ROUTINE registered;
int routineCalls;

// The interrupt routine the "library" is given, for the test to call.
BOOL SetRoutine(ULONG, TZ_INT_ROUTINE routine)
{
    registered = routine;
    return 1;
}

void ProgramRoutine()
{
    ++routineCalls;
}

// The simulator as the vendor's library, with the routine kept here and
// without TZ780mLockFlash and TZ780mEarseFlash.
void *Resolve(void *, const char *name)
{
    if (std::strcmp(name, "TZ810mSetIntRoutine") == 0)
        return reinterpret_cast<void *>(&SetRoutine);
    if (std::strcmp(name, "TZ780mLockFlash") == 0 || std::strcmp(name, "TZ780mEarseFlash") == 0)
        return nullptr;
    return tzsim::ResolveExport(nullptr, name);
}

// Time steps `step` microseconds at each reading; lines are kept.
class FakeEnvironment : public tztrace::Environment {
  public:
    std::uint64_t Micros() override
    {
        return now += step;
    }

    std::uint32_t Thread() override
    {
        return 7;
    }

    void Write(const std::string &line) override
    {
        for (std::size_t start = 0; start < line.size();) {
            const std::size_t end = line.find('\n', start);
            lines.push_back(line.substr(start, end - start));
            start = end + 1;
        }
    }

    tztrace::Loaded Load() override
    {
        return loaded;
    }

    std::uint64_t now = 0, step = 5;
    Strings lines;
    tztrace::Loaded loaded{
        "C:\\bench\\tzctl.exe", 4660, "C:\\bench\\TZ810DLL.vendor.dll", "1.2.3.4", "", &Resolve};
};

// `@B`, `@C`, `@W` and `@R` stand for the addresses of buf, buf + 16, word and
// the program's routine.
std::string Addresses(std::string text)
{
    const std::pair<const char *, const void *> marks[] = {
        {"@B", buf},
        {"@C", buf + 16},
        {"@W", &word},
        {"@R", reinterpret_cast<const void *>(&ProgramRoutine)}};
    for (const auto &[mark, address] : marks)
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
            text.replace(at, 2, tztrace::detail::ResultText(std::uintptr_t(address)));
    return text;
}

using Calls = std::function<void(tztrace::Tracer &)>;

// Every line of a fresh tracer over a fresh default bench, buffers shown up
// to 8 bytes; buf holds 00 01 02 ... and word 2 before.
Strings Trace(const Calls &calls)
{
    tzsim::Reset();
    for (std::size_t i = 0; i < sizeof buf; ++i)
        buf[i] = static_cast<std::uint8_t>(i);
    word = 2;
    FakeEnvironment env;
    tztrace::Tracer tracer(env, 8);
    calls(tracer);
    return env.lines;
}

TEST(Tracer, HeaderOneLinePerCallAndTheSummary)
{
    const Strings lines = Trace([](tztrace::Tracer &t) {
        t.Call<&DeviceLibrary::TZ810mOpenDevice>(0, 1, 0, 2);
        t.Call<&DeviceLibrary::TZ810mGetIoBaseAddr>(0, &word);
        t.Call<&DeviceLibrary::TZ810mGetIoBaseAddr>(0, nullptr);
        t.Call<&DeviceLibrary::TZ810mReadConfig>(0, 0, buf + 16);
        t.Call<&DeviceLibrary::TZ810mReadConfig>(5, 0, buf + 16);
        t.Call<&DeviceLibrary::TZ810mAccessBlock>(0, 0x1C, 0xFEB00010, buf, 4);
        t.Call<&DeviceLibrary::TZ810mAccessBlock>(0, 0x18, 0xFEB00010, buf + 16, 3);
        t.Call<&DeviceLibrary::TZ810mAccessBlock>(0, 0x1C, 0x10000, buf, 0x40000);
        t.Call<&DeviceLibrary::TZ780mReadFlash>(0, 0x20, buf + 16, 9);
        t.Call<&DeviceLibrary::TZ780mWriteFlash>(0, 0, buf, 3);
        word = 2;
        t.Call<&DeviceLibrary::TZ810StreamSPI>(0, 1, buf, &word, buf + 16);
        t.Call<&DeviceLibrary::TZ780mLockFlash>(0, 1);
        t.Call<&DeviceLibrary::TZ810mCloseDevice>(0);
        t.Call<&DeviceLibrary::TZ810GetDrvVersion>();
        t.WriteSummary();
    });
    const Strings expected = {
        "# tztrace: program C:\\bench\\tzctl.exe, pid 4660, started 1970-01-01 00:00:00.000005",
        "# library C:\\bench\\TZ810DLL.vendor.dll, file version 1.2.3.4",
        "# not in the library, so failing as if no card answered: TZ780mLockFlash, "
        "TZ780mEarseFlash",
        "# buffers shown up to 8 bytes; columns: sequence, time, thread, function, arguments,"
        " => outputs, -> result, duration",
        "TZ810mOpenDevice index=0x0 enableMem=0x1 enableInt=0x0 intMode=0x2 -> 0x100 5us",
        "TZ810mGetIoBaseAddr index=0x0 ioBase=@W => ioBase=0xD000 -> 0x1 5us",
        "TZ810mGetIoBaseAddr index=0x0 ioBase=0x0 -> 0x0 5us",
        "TZ810mReadConfig index=0x0 offset=0x0 value=@C => value=0x5D -> 0x1 5us",
        "TZ810mReadConfig index=0x5 offset=0x0 value=@C -> 0x0 5us",
        "TZ810mAccessBlock index=0x0 accessCode=0x1C address=0xFEB00010 buffer=@B[0x4]:00010203"
        " length=0x4 -> 0x1 5us",
        "TZ810mAccessBlock index=0x0 accessCode=0x18 address=0xFEB00010 buffer=@C length=0x3"
        " => buffer[0x3]:000102 -> 0x1 5us",
        "TZ810mAccessBlock index=0x0 accessCode=0x1C address=0x10000 buffer=@B[0x40000]:.."
        " length=0x40000 -> 0x0 5us",
        "TZ780mReadFlash index=0x0 address=0x20 buffer=@C length=0x9"
        " => buffer[0x9]:FFFFFFFFFFFFFFFF.. -> 0x1 5us",
        "TZ780mWriteFlash index=0x0 address=0x0 buffer=@B[0x3]:000102 length=0x3 -> 0x1 5us",
        "TZ810StreamSPI index=0x0 writeLength=0x1 writeBuffer=@B[0x1]:00 readLength=@W:0x2"
        " readBuffer=@C => readLength=0x2 readBuffer[0x2]:FFFF -> 0x1 5us",
        "TZ780mLockFlash index=0x0 lock=0x1 -> 0x0 5us ! not in the library",
        "TZ810mCloseDevice index=0x0 -> void 5us",
        "TZ810GetDrvVersion -> 0x103 5us",
        "# summary of pid 4660: 14 calls, 4 failed",
        "# function                calls   failed     total_us   longest_us",
        "# TZ810mOpenDevice            1        0            5            5",
        "# TZ810mCloseDevice           1        0            5            5",
        "# TZ810GetDrvVersion          1        0            5            5",
        "# TZ810mGetIoBaseAddr         2        1           10            5",
        "# TZ810mReadConfig            2        1           10            5",
        "# TZ810mAccessBlock           3        1           15            5",
        "# TZ810StreamSPI              1        0            5            5",
        "# TZ780mReadFlash             1        0            5            5",
        "# TZ780mWriteFlash            1        0            5            5",
        "# TZ780mLockFlash             1        1            5            5",
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0, call = 0; i < lines.size(); ++i) {
        const bool numbered = expected[i][0] != '#' && ++call;
        const std::string head =
            numbered ? std::to_string(call) + " " + tztrace::TimeOfDay(10 * call) + " 7 " : "";
        EXPECT_EQ(lines[i], head + Addresses(expected[i]));
    }
}

TEST(Tracer, LongestTimeOfTheSlowestCall)
{
    tzsim::Reset();
    FakeEnvironment env;
    tztrace::Tracer tracer(env, 64);
    tracer.WriteSummary();
    EXPECT_TRUE(env.lines.empty()) << "a summary with no call";
    tracer.Call<&DeviceLibrary::TZ810mOpenDevice>(9, 1, 1, 0);
    env.step = 20;
    tracer.Call<&DeviceLibrary::TZ810mOpenDevice>(0, 1, 1, 0);
    env.step = 3;
    tracer.Call<&DeviceLibrary::TZ810mOpenDevice>(1, 1, 1, 0);
    const tztrace::Stats open = tracer.StatsOf(Fn::TZ810mOpenDevice);
    EXPECT_EQ(open.failures, 1u);
    EXPECT_EQ(open.totalMicros, 28u);
    EXPECT_EQ(open.longestMicros, 20u);
}

TEST(Tracer, WithoutALibraryEveryCallFailsAsIfNoCardAnswered)
{
    FakeEnvironment env;
    env.loaded = {"C:\\p.exe", 1, "", "", "C:\\x.dll not loaded (error 126)", nullptr, nullptr};
    env.step = 0;
    tztrace::Tracer tracer(env, 64);
    EXPECT_EQ(tracer.Call<&DeviceLibrary::TZ810mOpenDevice>(0, 1, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(tracer.Call<&DeviceLibrary::TZ810mReadConfig>(0, 0, buf), 0);
    EXPECT_EQ(env.lines[1], "# no library: C:\\x.dll not loaded (error 126); every call fails as "
                            "if no card answered");
    tracer.Call<&DeviceLibrary::TZ810mCloseDevice>(0);
    EXPECT_EQ(env.lines.back(),
              "3 00:00:00.000000 7 TZ810mCloseDevice index=0x0 -> void 0us ! no library");
    EXPECT_EQ(tracer.StatsOf(Fn::TZ810mCloseDevice).failures, 1u);
}

TEST(Tracer, InterruptRoutineTracedOnTheLibrarysCallThenTheProgramsRuns)
{
    routineCalls = 0;
    const Strings lines = Trace([](tztrace::Tracer &t) {
        t.Call<&DeviceLibrary::TZ810mSetIntRoutine>(15, &ProgramRoutine);
        registered();
        t.Call<&DeviceLibrary::TZ810mSetIntRoutine>(16, &ProgramRoutine);
        EXPECT_EQ(registered, &ProgramRoutine) << "past the wrapped cards, as it is";
        t.Call<&DeviceLibrary::TZ810mSetIntRoutine>(0, nullptr);
        EXPECT_EQ(registered, nullptr);
    });
    EXPECT_EQ(routineCalls, 1);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4],
              Addresses("1 00:00:00.000010 7 TZ810mSetIntRoutine index=0xF routine=@R -> 0x1 5us"));
    EXPECT_EQ(lines[5], Addresses("2 00:00:00.000020 7 routine index=0xF routine=@R -> void 5us"));
}

TEST(Tracer, ByteLimitFromDecimalDigitsElseSixtyFour)
{
    const std::pair<const char *, std::size_t> rows[] = {
        {"0", 0},
        {"999999999", 999999999},
        {"1234567890", 64},
        {"12a", 64},
    };
    for (const auto &[text, limit] : rows)
        EXPECT_EQ(tztrace::ByteLimit(text), limit) << text;
}

TEST(Tracer, DatesOfTheHeaderAndNoParameterOfVoid)
{
    EXPECT_EQ(tztrace::DateTime(951868799000000), "2000-02-29 23:59:59.000000");
    EXPECT_EQ(tztrace::DateTime(1796734800000001), "2026-12-08 13:00:00.000001");
    EXPECT_TRUE(tztrace::ParameterNames(Fn::TZ810GetDrvVersion).empty()) << "of (void)";
}

}  // namespace
