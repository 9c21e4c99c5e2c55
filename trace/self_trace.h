// A program's own calls traced from inside it, for benches where the library's
// folder cannot take the tracing library: the table the program bound is
// wrapped by one whose functions go through a Tracer, so the log is the one
// the tracing library writes, line for line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tracer.h"

namespace tztrace {

// A table whose every function is this tracer's wrapper of the same function.
// Plain function pointers carry no tracer of their own: the functions of
// every such table go to the tracer last given here.
DeviceLibrary Forwarding(Tracer &tracer);

// What the tracer needs of a program that has bound the library itself: the
// bound table as the library, lines to `write`, the clock of the standard
// library and threads numbered in the order they first call.
class BoundEnvironment : public Environment {
  public:
    using Writer = std::function<void(const std::string &)>;

    BoundEnvironment(const DeviceLibrary &bound, Loaded about, Writer write);
    std::uint64_t Micros() override;
    std::uint32_t Thread() override;
    void Write(const std::string &line) override;
    Loaded Load() override;

  private:
    DeviceLibrary bound_;
    Loaded about_;
    Writer write_;
    std::uint64_t baseMicros_;
    std::int64_t baseSteady_;
};

// The bound table traced for as long as this lives. Its end writes the
// summary, so whatever calls through Table() must be done by then.
class SelfTrace {
  public:
    // The program and the library it bound (path, file version) as the
    // header names them.
    SelfTrace(const DeviceLibrary &bound, const std::string &program, const std::string &library,
              const std::string &version, BoundEnvironment::Writer write);
    ~SelfTrace();
    SelfTrace(const SelfTrace &) = delete;
    SelfTrace &operator=(const SelfTrace &) = delete;

    const DeviceLibrary &Table() const
    {
        return table_;
    }

  private:
    BoundEnvironment env_;
    Tracer tracer_;
    DeviceLibrary table_;
};

}  // namespace tztrace
