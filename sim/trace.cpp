#include "trace.h"

#include <vector>

#include "hextext.h"
#include "platform.h"

namespace tzsim {

namespace {

void AppendValue(std::string &s, std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
    s += buf;
}

// Upper-case digit pairs without the spaces of byte-run text.
void AppendHex(std::string &s, const std::vector<std::uint8_t> &bytes)
{
    std::vector<char> run(ByteRunLength(bytes.size()) + 1);
    BytesToByteRun(bytes.data(), bytes.size(), run.data());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        s.append(&run[kByteRunCharsPerByte * i], 2);
}

bool Faults(const FaultRule &rule, std::uint32_t n)
{
    switch (rule.mode) {
    case FaultMode::Always:
        return true;
    case FaultMode::OnlyNth:
        return n == rule.n;
    case FaultMode::FromNth:
        return n >= rule.n;
    case FaultMode::Never:
        break;
    }
    return false;
}

}  // namespace

void CallLog::Restart(const std::filesystem::path &tracePath, bool keepCalls)
{
    calls.clear();
    counts.clear();
    keepCalls_ = keepCalls;
    start_ = std::chrono::steady_clock::now();
    if (trace_)
        std::fclose(trace_);
    trace_ = nullptr;
    if (tracePath.empty())
        return;
    trace_ = OpenForAppend(tracePath);
    if (!trace_)
        DebugNote("cannot open trace " + tracePath.u8string());
}

double CallLog::Millis() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
}

void CallLog::Trace(const std::string &line)
{
    if (!trace_)
        return;
    std::fputs(line.c_str(), trace_);
    std::fflush(trace_);
}

CallRecord::CallRecord(CallLog &log, const std::map<std::string, FaultRule> &faults,
                       const char *name, std::initializer_list<std::uint32_t> args)
    : log_(log), millis_(log.Millis())
{
    call_.name = name;
    call_.args = args;
    const std::uint32_t n = ++log.counts[call_.name];
    if (auto rule = faults.find(call_.name); rule != faults.end())
        faulted_ = Faults(rule->second, n);
}

void CallRecord::Data(const void *bytes, std::size_t length)
{
    const auto *p = static_cast<const std::uint8_t *>(bytes);
    call_.data.assign(p, p + length);
}

void CallRecord::Out(const void *bytes, std::size_t length)
{
    const auto *p = static_cast<const std::uint8_t *>(bytes);
    call_.out.assign(p, p + length);
    outIsValue_ = false;
}

void CallRecord::OutValue(std::uint32_t value)
{
    call_.out = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    outIsValue_ = true;
}

std::uint32_t CallRecord::Finish(std::uint32_t result)
{
    call_.result = result;
    if (log_.trace_) {
        char head[48];
        std::snprintf(head, sizeof head, "%.3f ", millis_);
        std::string line = head + call_.name;
        for (std::uint32_t a : call_.args) {
            line += ' ';
            AppendValue(line, a);
        }
        if (!call_.data.empty()) {
            line += " data=";
            AppendHex(line, call_.data);
        }
        if (!call_.out.empty()) {
            line += " out=";
            if (outIsValue_)
                AppendValue(line, call_.out[0] | call_.out[1] << 8 | call_.out[2] << 16 |
                                      static_cast<std::uint32_t>(call_.out[3]) << 24);
            else
                AppendHex(line, call_.out);
        }
        line += " -> ";
        AppendValue(line, result);
        line += '\n';
        log_.Trace(line);
    }
    if (log_.keepCalls_)
        log_.calls.push_back(std::move(call_));
    return result;
}

}  // namespace tzsim
