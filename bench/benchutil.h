#pragma once
// What the engine benchmarks share: a catalogue host that prints, and a stopwatch.
#include "catalogue/catalogue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

using Clock = std::chrono::steady_clock;

struct Host : catalogue::Host {
    void showMessage(const std::string &t) override { std::fprintf(stderr, "%s\n", t.c_str()); }
    void terminate() override { std::exit(1); }
};

inline double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
