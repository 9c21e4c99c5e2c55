#include "self_trace.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#if defined(_WIN32)
#include <process.h>
#define TZ_PROCESS_ID _getpid
#else
#include <unistd.h>
#define TZ_PROCESS_ID getpid
#endif

namespace tztrace {

namespace {

std::atomic<Tracer *> forwardTo{nullptr};

// F is the function type the list spells, R(A...), without the calling
// convention, which template matching does not see through on every compiler.
template <auto Member, class F> struct Forward;

template <auto Member, class R, class... A> struct Forward<Member, R(A...)> {
    static R TZAPI Call(A... a)
    {
        return forwardTo.load()->Call<Member>(a...);
    }
};

void *Lookup(void *context, const char *name)
{
    const DeviceLibrary &table = *static_cast<const DeviceLibrary *>(context);
#define TZ_LOOKUP(fn, ret, params)                                                                 \
    if (std::strcmp(name, #fn) == 0)                                                               \
        return reinterpret_cast<void *>(table.fn);
    TZ810DLL_FUNCTIONS(TZ_LOOKUP)
#undef TZ_LOOKUP
    return nullptr;
}

std::int64_t SteadyMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Now in local time, microseconds since 1970, as the header and lines show it.
std::uint64_t LocalMicros()
{
    using namespace std::chrono;
    const system_clock::time_point now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const std::tm local = *std::localtime(&t);
    std::tm utc = *std::gmtime(&t);
    // UTC's fields read as local time, in the same daylight saving as now.
    utc.tm_isdst = local.tm_isdst;
    const std::int64_t east = static_cast<std::int64_t>(t - std::mktime(&utc));
    return static_cast<std::uint64_t>(duration_cast<microseconds>(now.time_since_epoch()).count() +
                                      east * 1000000);
}

Loaded About(const std::string &program, const std::string &library, const std::string &version)
{
    Loaded l;
    l.program = program;
    l.library = library;
    l.version = version;
    return l;
}

}  // namespace

DeviceLibrary Forwarding(Tracer &tracer)
{
    forwardTo = &tracer;
    DeviceLibrary table;
#define TZ_FORWARD(name, ret, params) table.name = &Forward<&DeviceLibrary::name, ret params>::Call;
    TZ810DLL_FUNCTIONS(TZ_FORWARD)
#undef TZ_FORWARD
    return table;
}

BoundEnvironment::BoundEnvironment(const DeviceLibrary &bound, Loaded about, Writer write)
    : bound_(bound), about_(std::move(about)), write_(std::move(write)), baseMicros_(LocalMicros()),
      baseSteady_(SteadyMicros())
{
}

std::uint64_t BoundEnvironment::Micros()
{
    return baseMicros_ + static_cast<std::uint64_t>(SteadyMicros() - baseSteady_);
}

std::uint32_t BoundEnvironment::Thread()
{
    static std::atomic<std::uint32_t> seen{0};
    thread_local const std::uint32_t number = ++seen;
    return number;
}

void BoundEnvironment::Write(const std::string &line)
{
    write_(line);
}

Loaded BoundEnvironment::Load()
{
    Loaded l = about_;
    l.pid = static_cast<std::uint32_t>(TZ_PROCESS_ID());
    l.resolve = Lookup;
    l.context = &bound_;
    return l;
}

SelfTrace::SelfTrace(const DeviceLibrary &bound, const std::string &program,
                     const std::string &library, const std::string &version,
                     BoundEnvironment::Writer write)
    : env_(bound, About(program, library, version), std::move(write)),
      tracer_(env_, ByteLimit(std::getenv("TZTRACE_BYTES"))), table_(Forwarding(tracer_))
{
}

SelfTrace::~SelfTrace()
{
    tracer_.WriteSummary();
}

}  // namespace tztrace
