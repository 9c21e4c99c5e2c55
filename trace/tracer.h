// The tracing library's portable core: one typed wrapper per library function,
// generated from the one list, that passes the call on to the vendor's table
// and writes one line for it; the per-process header and the unload summary.
// What it needs of the system (clock, thread, log file, the vendor's library)
// comes through Environment, so the host tests run the same wrapper code.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "device_library.h"

namespace tztrace {

enum class Fn : unsigned {
#define TZ_FN_ID(name, ret, params) name,
    TZ810DLL_FUNCTIONS(TZ_FN_ID)
#undef TZ_FN_ID
    Routine,  // the program's interrupt routine, as the library calls it
    Count
};
constexpr unsigned kFnCount = static_cast<unsigned>(Fn::Count);

// The function's name, "routine" for the program's interrupt routine.
const char *FunctionName(Fn f);
// Its parameter names, in order, as the list spells them.
const std::vector<std::string> &ParameterNames(Fn f);

constexpr std::size_t kDefaultByteLimit = 64;
// Bytes of a buffer shown whole: TZTRACE_BYTES in decimal digits; the default
// when unset, empty or not a number.
std::size_t ByteLimit(const char *text);

// What a pointer parameter points at, and so what the line shows of it.
enum class Role {
    OutByte,    // one byte, written by the call
    OutLong,    // one ULONG, written by the call
    InOutLong,  // one ULONG, read and then written by the call
    InBuffer,   // bytes sent, as many as the length parameter says
    OutBuffer,  // bytes received, as many as the length parameter says
    Block       // in or out by the access code's write bit
};

struct PointerRule {
    Fn fn;
    const char *param;
    Role role;
    const char *length;  // the parameter holding the buffer's length
};

// The rule of the data pointer at this position; null for any other.
const PointerRule *RuleOf(Fn f, unsigned param);

// "HH:MM:SS.uuuuuu" of a local time in microseconds since 1970.
std::string TimeOfDay(std::uint64_t micros);
// "YYYY-MM-DD HH:MM:SS.uuuuuu" of the same.
std::string DateTime(std::uint64_t micros);
// "[0xN]:" and the bytes' digit pairs, the first `limit` of them, ".." after
// a cut.
std::string BufferText(const void *bytes, std::size_t length, std::size_t limit);

// What the system says about the process and the vendor's library it found.
struct Loaded {
    std::string program;  // the program's path
    std::uint32_t pid = 0;
    std::string library;  // the vendor's library; empty when none was loaded
    std::string version;  // its file version; empty without a version block
    std::string failure;  // why none was loaded
    ExportResolver resolve = nullptr;
    void *context = nullptr;
};

class Environment {
  public:
    virtual ~Environment() = default;
    // Local time, microseconds since 1970; steady enough for durations.
    virtual std::uint64_t Micros() = 0;
    virtual std::uint32_t Thread() = 0;
    // One whole line, newline included, out of the process at once.
    virtual void Write(const std::string &line) = 0;
    // Finds and loads the vendor's library; called once, on the first call.
    virtual Loaded Load() = 0;
};

struct Stats {
    std::uint64_t calls = 0;
    std::uint64_t failures = 0;
    std::uint64_t totalMicros = 0;
    std::uint64_t longestMicros = 0;
};

// Interrupt routines are wrapped for cards 0-15; a routine of any other
// index goes to the library as it is.
constexpr unsigned kRoutineSlots = 16;

class Tracer {
  public:
    Tracer(Environment &env, std::size_t byteLimit);
    ~Tracer();

    // The one the interrupt routines' wrappers report to: the last made.
    static Tracer *Active();

    // The call of the library function `Member` with these arguments.
    template <auto Member, class... A> auto Call(A... a);

    // The header lines, once per process; loads the vendor's library.
    void EnsureLoaded();
    // The summary lines: per function called, calls, failures and times. Not
    // written when another thread holds the lock (a thread killed in the
    // middle of a line at process exit).
    void WriteSummary();
    Stats StatsOf(Fn f) const;
    void Interrupt(unsigned slot);

  private:
    struct Line {
        Fn fn;
        std::uint64_t start;
        std::string text;
    };

    Line Begin(Fn f, std::initializer_list<std::uintptr_t> args);
    // Outputs are shown when the call succeeded, `reason` (no library, not in
    // it) when it was never made.
    void End(Line &line, const std::uintptr_t *args, std::size_t count, bool failed,
             const std::string &result, const char *reason);
    TZ_INT_ROUTINE WrapRoutine(std::uintptr_t index, TZ_INT_ROUTINE routine);

    Environment &env_;
    std::size_t byteLimit_;
    std::once_flag loaded_;
    DeviceLibrary table_;
    bool libraryLoaded_ = false;
    std::uint32_t pid_ = 0;
    std::atomic<std::uint64_t> sequence_{0};
    mutable std::mutex lock_;
    std::array<Stats, kFnCount> stats_{};
    std::array<std::atomic<TZ_INT_ROUTINE>, kRoutineSlots> routines_{};
};

namespace detail {

template <auto Member> inline constexpr Fn kFnOf = Fn::Count;
#define TZ_FN_OF(name, ret, params)                                                                \
    template <> inline constexpr Fn kFnOf<&DeviceLibrary::name> = Fn::name;
TZ810DLL_FUNCTIONS(TZ_FN_OF)
#undef TZ_FN_OF

template <class T> std::uintptr_t Raw(T value)
{
    if constexpr (std::is_null_pointer_v<T>)
        return 0;
    else if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<std::uintptr_t>(value);
    else
        return static_cast<std::uintptr_t>(value);
}

// What a call answers when it cannot be made: no card answered.
template <class R> R NoAnswer()
{
    if constexpr (std::is_same_v<R, HANDLE>)
        return TZ_INVALID_HANDLE;
    else
        return R{};
}

template <class R> bool Failed(R result)
{
    if constexpr (std::is_same_v<R, HANDLE>)
        return result == TZ_INVALID_HANDLE || result == nullptr;
    else
        return result == R{};
}

std::string ResultText(std::uintptr_t value);

}  // namespace detail

template <auto Member, class... A> auto Tracer::Call(A... a)
{
    constexpr Fn f = detail::kFnOf<Member>;
    static_assert(f != Fn::Count, "not a function of the library");
    using Next = std::remove_reference_t<decltype(table_.*Member)>;
    using R = decltype((*std::declval<Next>())(a...));
    EnsureLoaded();
    const std::uintptr_t args[] = {detail::Raw(a)..., 0};
    Line line = Begin(f, {detail::Raw(a)...});
    Next next = table_.*Member;
    if (!next) {
        const char *reason = libraryLoaded_ ? "not in the library" : "no library";
        if constexpr (std::is_void_v<R>) {
            End(line, args, sizeof...(A), true, "void", reason);
            return;
        } else {
            const R result = detail::NoAnswer<R>();
            End(line, args, sizeof...(A), true, detail::ResultText(detail::Raw(result)), reason);
            return result;
        }
    }
    if constexpr (f == Fn::TZ810mSetIntRoutine) {
        const BOOL result = next(static_cast<ULONG>(args[0]),
                                 WrapRoutine(args[0], reinterpret_cast<TZ_INT_ROUTINE>(args[1])));
        End(line, args, sizeof...(A), detail::Failed(result), detail::ResultText(result), nullptr);
        return result;
    } else if constexpr (std::is_void_v<R>) {
        next(a...);
        End(line, args, sizeof...(A), false, "void", nullptr);
    } else {
        const R result = next(a...);
        End(line, args, sizeof...(A), detail::Failed(result),
            detail::ResultText(detail::Raw(result)), nullptr);
        return result;
    }
}

}  // namespace tztrace
