// What this program asked of the library: the call log the host tests read,
// the counts that fault rules go by, and the trace file a user reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "config.h"
#include "sim_control.h"

namespace tzsim {

class CallLog {
  public:
    // Starts afresh, as at a load: no calls, no counts, the trace file
    // (appended to; none when the path is empty) and its clock.
    void Restart(const std::filesystem::path &tracePath, bool keepCalls);
    double Millis() const;
    void Trace(const std::string &line);

    std::vector<Call> calls;
    std::map<std::string, std::uint32_t> counts;

  private:
    friend class CallRecord;
    std::chrono::steady_clock::time_point start_;
    std::FILE *trace_ = nullptr;
    bool keepCalls_ = true;
};

// Records one library call: counts it for the fault rules, and on Finish
// appends it to the call log and the trace.
class CallRecord {
  public:
    CallRecord(CallLog &log, const std::map<std::string, FaultRule> &faults, const char *name,
               std::initializer_list<std::uint32_t> args);

    bool Faulted() const
    {
        return faulted_;
    }

    void Data(const void *bytes, std::size_t length);
    void Out(const void *bytes, std::size_t length);
    void OutValue(std::uint32_t value);
    std::uint32_t Finish(std::uint32_t result);

  private:
    CallLog &log_;
    Call call_;
    double millis_;
    bool faulted_ = false;
    bool outIsValue_ = false;
};

}  // namespace tzsim
