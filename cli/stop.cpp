// The one way out of a command that cannot go on.
#include "stop.h"

#include "selftest.h"
#include "words.h"

namespace tzctl {

void Usage(const std::string &message)
{
    throw Stop{kExitUsage, message};
}

void Check(const board::Outcome &o, const char *what)
{
    switch (o.kind) {
    case board::Outcome::Ok:
        return;
    case board::Outcome::CallFailed:
        throw Stop{kExitCallFailed,
                   Format("%s failed at 0x%lx", o.call, static_cast<unsigned long>(o.address))};
    case board::Outcome::Mismatch:
        throw Stop{kExitMismatch, Format("%s: first difference at 0x%lx, %lu bytes differ", what,
                                         static_cast<unsigned long>(o.address),
                                         static_cast<unsigned long>(o.count))};
    case board::Outcome::TooLarge:
        Usage("the image is over 64 KiB");
    }
}

void CheckCall(BOOL result, const char *call)
{
    if (!result)
        throw Stop{kExitCallFailed, std::string(call) + " failed"};
}

void Guarded(const std::function<void()> &change, const std::function<board::Restoration()> &undo,
             const std::string &what)
{
    try {
        change();
    } catch (const Stop &failure) {
        const board::Restoration r = undo();
        switch (r.kind) {
        case board::Restoration::Unchanged:
            throw;
        case board::Restoration::PutBack:
            throw Stop{failure.code, failure.message + "; " + what + " put back as it was"};
        case board::Restoration::NotRestored:
            throw Stop{kExitNotRestored, failure.message + "; " + what +
                                             " not restored: " + board::Describe(r.outcome)};
        }
    }
}

}  // namespace tzctl
