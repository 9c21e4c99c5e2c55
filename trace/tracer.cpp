#include "tracer.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include "hextext.h"

namespace tztrace {

namespace {

const char *const kNames[kFnCount] = {
#define TZ_FN_NAME(name, ret, params) #name,
    TZ810DLL_FUNCTIONS(TZ_FN_NAME)
#undef TZ_FN_NAME
        "routine"};

const char *const kParams[kFnCount] = {
#define TZ_FN_PARAMS(name, ret, params) #params,
    TZ810DLL_FUNCTIONS(TZ_FN_PARAMS)
#undef TZ_FN_PARAMS
        "(ULONG index, TZ_INT_ROUTINE routine)"};

// The pointer parameters that point at data; the interrupt routine shows as
// its address, like a scalar.
constexpr PointerRule kRules[] = {
    {Fn::TZ810mGetIntLine, "intLine", Role::OutLong, nullptr},
    {Fn::TZ810mGetIoBaseAddr, "ioBase", Role::OutLong, nullptr},
    {Fn::TZ820mGetMemBaseAddr, "memBase", Role::OutLong, nullptr},
    {Fn::TZ810mReadConfig, "value", Role::OutByte, nullptr},
    {Fn::TZ810mReadIoByte, "value", Role::OutByte, nullptr},
    {Fn::TZ810mAccessBlock, "buffer", Role::Block, "length"},
    {Fn::TZ810mReadI2C, "value", Role::OutByte, nullptr},
    {Fn::TZ810StreamSPI, "writeBuffer", Role::InBuffer, "writeLength"},
    {Fn::TZ810StreamSPI, "readLength", Role::InOutLong, nullptr},
    {Fn::TZ810StreamSPI, "readBuffer", Role::OutBuffer, "readLength"},
    {Fn::TZ780mReadFlash, "buffer", Role::OutBuffer, "length"},
    {Fn::TZ780mWriteFlash, "buffer", Role::InBuffer, "length"},
};

// The write bit of TZ810mAccessBlock's access code.
constexpr std::uintptr_t kAccessWrite = 0x04;

// The last identifier of each comma-separated declaration of "(...)".
std::vector<std::string> ParseNames(const std::string &params)
{
    std::vector<std::string> names;
    for (std::size_t start = 1; start < params.size();) {
        const std::size_t end = params.find_first_of(",)", start);
        const std::string decl = params.substr(start, end - start);
        const std::size_t last = decl.find_last_not_of(' ');
        const std::size_t first = decl.find_last_of(" *", last);
        const std::string name = decl.substr(first + 1, last - first);
        if (!name.empty() && name != "void")
            names.push_back(name);
        start = end + 1;
    }
    return names;
}

// By hand, as are the digits of the time: snprintf would be most of a traced
// call's own time.
std::string Hex(std::uintptr_t value)
{
    char text[2 + 2 * sizeof value];
    char *p = text + sizeof text;
    do {
        *--p = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value);
    *--p = 'x';
    *--p = '0';
    return std::string(p, text + sizeof text);
}

// `value`'s last `count` decimal digits, ending just before `end`.
void Digits(char *end, unsigned value, int count)
{
    for (int i = 0; i < count; ++i, value /= 10)
        *--end = static_cast<char>('0' + value % 10);
}

std::string Decimal(std::uint64_t value)
{
    return std::to_string(value);
}

int IndexOf(Fn f, const char *param)
{
    const auto &names = ParameterNames(f);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == param)
            return static_cast<int>(i);
    return -1;
}

// The length a buffer's rule names: a value parameter, or the ULONG a
// pointer parameter points at.
std::size_t LengthOf(Fn f, const PointerRule &rule, const std::uintptr_t *args)
{
    const int i = IndexOf(f, rule.length);
    if (i < 0)
        return 0;
    if (!RuleOf(f, static_cast<unsigned>(i)))
        return args[i];
    const auto *p = reinterpret_cast<const ULONG *>(args[i]);
    return p ? *p : 0;
}

bool Sends(const PointerRule &rule, const std::uintptr_t *args)
{
    return rule.role == Role::InBuffer || (rule.role == Role::Block && args[1] & kAccessWrite);
}

bool Receives(const PointerRule &rule, const std::uintptr_t *args)
{
    return rule.role == Role::OutBuffer || (rule.role == Role::Block && !(args[1] & kAccessWrite));
}

std::atomic<Tracer *> active{nullptr};

template <unsigned I> void TZAPI Trampoline()
{
    if (Tracer *t = Tracer::Active())
        t->Interrupt(I);
}

template <std::size_t... I>
constexpr std::array<TZ_INT_ROUTINE, sizeof...(I)> Trampolines(std::index_sequence<I...>)
{
    return {&Trampoline<I>...};
}

constexpr auto kTrampolines = Trampolines(std::make_index_sequence<kRoutineSlots>());

}  // namespace

const char *FunctionName(Fn f)
{
    return kNames[static_cast<unsigned>(f)];
}

const std::vector<std::string> &ParameterNames(Fn f)
{
    static const auto names = [] {
        std::array<std::vector<std::string>, kFnCount> all;
        for (unsigned i = 0; i < kFnCount; ++i)
            all[i] = ParseNames(kParams[i]);
        return all;
    }();
    return names[static_cast<unsigned>(f)];
}

const PointerRule *RuleOf(Fn f, unsigned param)
{
    // Looked up by name once, since every traced call asks for every parameter.
    constexpr unsigned kMaxParams = 8;
    static const auto rules = [] {
        std::array<std::array<const PointerRule *, kMaxParams>, kFnCount> all{};
        for (const PointerRule &rule : kRules) {
            const auto &names = ParameterNames(rule.fn);
            for (unsigned i = 0; i < names.size() && i < kMaxParams; ++i)
                if (names[i] == rule.param)
                    all[static_cast<unsigned>(rule.fn)][i] = &rule;
        }
        return all;
    }();
    return param < kMaxParams ? rules[static_cast<unsigned>(f)][param] : nullptr;
}

std::size_t ByteLimit(const char *text)
{
    if (!text || !*text || std::strlen(text) > 9)
        return kDefaultByteLimit;
    std::size_t n = 0;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return kDefaultByteLimit;
        n = n * 10 + static_cast<std::size_t>(*p - '0');
    }
    return n;
}

std::string TimeOfDay(std::uint64_t micros)
{
    const std::uint64_t inDay = micros % 86400000000ull;
    const unsigned seconds = static_cast<unsigned>(inDay / 1000000);
    char text[] = "HH:MM:SS.uuuuuu";
    Digits(text + 2, seconds / 3600, 2);
    Digits(text + 5, seconds / 60 % 60, 2);
    Digits(text + 8, seconds % 60, 2);
    Digits(text + 15, static_cast<unsigned>(inDay % 1000000), 6);
    return text;
}

std::string DateTime(std::uint64_t micros)
{
    // Days since 1970 to the civil date, over 400-year eras.
    const std::int64_t z = static_cast<std::int64_t>(micros / 86400000000ull) + 719468;
    const std::int64_t era = z / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2);
    char text[24];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u ", static_cast<int>(year), month, day);
    return text + TimeOfDay(micros);
}

std::string BufferText(const void *bytes, std::size_t length, std::size_t limit)
{
    const std::size_t shown = length < limit ? length : limit;
    std::string text = "[" + Hex(length) + "]:";
    std::vector<char> run(ByteRunLength(shown) + 1);
    BytesToByteRun(static_cast<const std::uint8_t *>(bytes), shown, run.data());
    // The pairs closed up in place and appended at once: one append a byte
    // was the most of a block's line.
    for (std::size_t i = 0; i < shown; ++i) {
        run[2 * i] = run[kByteRunCharsPerByte * i];
        run[2 * i + 1] = run[kByteRunCharsPerByte * i + 1];
    }
    text.append(run.data(), 2 * shown);
    if (shown < length)
        text += "..";
    return text;
}

std::string detail::ResultText(std::uintptr_t value)
{
    return Hex(value);
}

Tracer::Tracer(Environment &env, std::size_t byteLimit) : env_(env), byteLimit_(byteLimit)
{
    active = this;
}

Tracer::~Tracer()
{
    Tracer *self = this;
    active.compare_exchange_strong(self, nullptr);
}

Tracer *Tracer::Active()
{
    return active;
}

void Tracer::EnsureLoaded()
{
    std::call_once(loaded_, [this] {
        const Loaded l = env_.Load();
        pid_ = l.pid;
        std::string header = "# tztrace: program " + l.program + ", pid " + Decimal(l.pid) +
                             ", started " + DateTime(env_.Micros()) + "\n";
        if (l.resolve) {
            libraryLoaded_ = true;
            header += "# library " + l.library + ", file version " +
                      (l.version.empty() ? "unknown" : l.version) + "\n";
            std::string missing;
#define TZ_RESOLVE(name, ret, params)                                                              \
    table_.name = reinterpret_cast<ret(TZAPI *) params>(l.resolve(l.context, #name));              \
    if (!table_.name)                                                                              \
        missing += missing.empty() ? #name : ", " #name;
            TZ810DLL_FUNCTIONS(TZ_RESOLVE)
#undef TZ_RESOLVE
            if (!missing.empty())
                header +=
                    "# not in the library, so failing as if no card answered: " + missing + "\n";
        } else {
            header += "# no library: " + l.failure + "; every call fails as if no card answered\n";
        }
        header += "# buffers shown up to " + Decimal(byteLimit_) +
                  " bytes; columns: sequence, time, thread, function, arguments, => outputs, "
                  "-> result, duration\n";
        std::lock_guard<std::mutex> held(lock_);
        env_.Write(header);
    });
}

Tracer::Line Tracer::Begin(Fn f, std::initializer_list<std::uintptr_t> list)
{
    Line line{f, env_.Micros(), {}};
    const std::uintptr_t *args = list.begin();
    line.text = Decimal(++sequence_) + " " + TimeOfDay(line.start) + " " + Decimal(env_.Thread()) +
                " " + FunctionName(f);
    const auto &names = ParameterNames(f);
    for (unsigned i = 0; i < list.size() && i < names.size(); ++i) {
        line.text += " " + names[i] + "=" + Hex(args[i]);
        const PointerRule *rule = RuleOf(f, i);
        if (!rule || !args[i])
            continue;
        if (Sends(*rule, args)) {
            line.sentAt = line.text.size();
            line.sentParam = i;
        } else if (rule->role == Role::InOutLong)
            line.text += ":" + Hex(*reinterpret_cast<const ULONG *>(args[i]));
    }
    return line;
}

void Tracer::End(Line &line, const std::uintptr_t *args, std::size_t count, bool failed,
                 const std::string &result, const char *reason)
{
    const std::uint64_t micros = env_.Micros() - line.start;
    if (line.sentAt != std::string::npos) {
        const PointerRule &rule = *RuleOf(line.fn, line.sentParam);
        line.text.insert(line.sentAt,
                         BufferText(reinterpret_cast<const void *>(args[line.sentParam]),
                                    LengthOf(line.fn, rule, args),
                                    failed || reason ? 0 : byteLimit_));
    }
    std::string outputs;
    for (unsigned i = 0; !failed && !reason && i < count; ++i) {
        const PointerRule *rule = RuleOf(line.fn, i);
        if (!rule || !args[i])
            continue;
        const std::string &name = ParameterNames(line.fn)[i];
        const void *p = reinterpret_cast<const void *>(args[i]);
        if (rule->role == Role::OutByte)
            outputs += " " + name + "=" + Hex(*static_cast<const UCHAR *>(p));
        else if (rule->role == Role::OutLong || rule->role == Role::InOutLong)
            outputs += " " + name + "=" + Hex(*static_cast<const ULONG *>(p));
        else if (Receives(*rule, args))
            outputs += " " + name + BufferText(p, LengthOf(line.fn, *rule, args), byteLimit_);
    }
    if (!outputs.empty())
        line.text += " =>" + outputs;
    line.text += " -> " + result + " " + Decimal(micros) + "us";
    if (reason)
        line.text += std::string(" ! ") + reason;
    line.text += '\n';
    std::lock_guard<std::mutex> held(lock_);
    Stats &s = stats_[static_cast<unsigned>(line.fn)];
    ++s.calls;
    s.failures += failed;
    s.totalMicros += micros;
    if (micros > s.longestMicros)
        s.longestMicros = micros;
    env_.Write(line.text);
}

TZ_INT_ROUTINE Tracer::WrapRoutine(std::uintptr_t index, TZ_INT_ROUTINE routine)
{
    if (!routine || index >= kRoutineSlots)
        return routine;
    routines_[index] = routine;
    return kTrampolines[index];
}

void Tracer::Interrupt(unsigned slot)
{
    const TZ_INT_ROUTINE routine = routines_[slot];
    if (!routine)
        return;
    const std::uintptr_t args[] = {slot, reinterpret_cast<std::uintptr_t>(routine)};
    Line line = Begin(Fn::Routine, {args[0], args[1]});
    routine();
    End(line, args, 2, false, "void", nullptr);
}

Stats Tracer::StatsOf(Fn f) const
{
    std::lock_guard<std::mutex> held(lock_);
    return stats_[static_cast<unsigned>(f)];
}

void Tracer::WriteSummary()
{
    std::unique_lock<std::mutex> held(lock_, std::try_to_lock);
    if (!held.owns_lock())
        return;
    Stats all;
    std::string rows;
    for (unsigned i = 0; i < kFnCount; ++i) {
        const Stats &s = stats_[i];
        if (!s.calls)
            continue;
        all.calls += s.calls;
        all.failures += s.failures;
        char row[128];
        std::snprintf(row, sizeof row,
                      "# %-20s %8" PRIu64 " %8" PRIu64 " %12" PRIu64 " %12" PRIu64 "\n", kNames[i],
                      s.calls, s.failures, s.totalMicros, s.longestMicros);
        rows += row;
    }
    if (!all.calls)
        return;
    char head[160];
    std::snprintf(head, sizeof head,
                  "# summary of pid %" PRIu32 ": %" PRIu64 " calls, %" PRIu64 " failed\n"
                  "# %-20s %8s %8s %12s %12s\n",
                  pid_, all.calls, all.failures, "function", "calls", "failed", "total_us",
                  "longest_us");
    env_.Write(head + rows);
}

}  // namespace tztrace
