// bench_timing: how the benchmarks take their figures, so that every figure means the same.
// Header only.
//
//   double ms = MedianMs(5, [&] { work(); });                 // median of 5 timed runs
//   double cpu = MedianCpuMs(5, [&] { work(); });             // the same in CPU time
//   AlternatingMedianMs(2.0, 3, 500, drawA, drawB, &msA, &msB);
//
// AlternatingMedianMs runs each once to warm it, then times A and B in turn for `seconds` (at
// least minRuns and at most maxRuns of each), so that both see the same load on a shared
// machine; it answers the two medians. A run that ends asynchronous work (glFinish) must wait
// for it itself. Wall-clock milliseconds on the steady clock.
#pragma once
#include <algorithm>
#include <chrono>
#include <sys/resource.h>
#include <vector>

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Run>
double TimedMs(Run&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

template <typename Run>
double MedianMs(int runs, Run&& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(TimedMs(run));
    return Median(times);
}

template <typename RunA, typename RunB>
void AlternatingMedianMs(double seconds, size_t minRuns, size_t maxRuns, RunA&& a, RunB&& b, double* msA, double* msB) {
    a();
    b();
    std::vector<double> timesA, timesB;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (timesA.size() < minRuns || (std::chrono::steady_clock::now() < end && timesA.size() < maxRuns)) {
        timesA.push_back(TimedMs(a));
        timesB.push_back(TimedMs(b));
    }
    *msA = Median(timesA);
    *msB = Median(timesB);
}

// CPU time this process and its reaped children (the decoder helpers) have used, in ms: on a
// shared, busy machine a truer figure than the wall clock.
inline double CpuMs() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage;
        getrusage(who, &usage);
        total += (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    }
    return total;
}

template <typename Run>
double MedianCpuMs(int runs, Run&& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = CpuMs();
        run();
        times.push_back(CpuMs() - start);
    }
    return Median(times);
}
