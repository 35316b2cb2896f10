#pragma once

// One of the program's sends and the plain tool doing the same, in turn,
// round after round, so that other work on the machine slows both alike:
// the medians of the wall time and of the processor time (this process and
// its children that have ended), and their ratios. Where other work makes
// the wall time noisy, the processor time still says what each costs.

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace sidebyside {

inline double CpuMs()
{
    double ms = 0;
    for (int who : { RUSAGE_SELF, RUSAGE_CHILDREN }) {
        rusage u {};
        getrusage(who, &u);
        ms += (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3
            + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    }
    return ms;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline void Compare(const char *what, int rounds, const std::function<void()> &ours,
                    const std::function<void()> &tool)
{
    std::vector<double> wall[2], cpu[2];
    for (int i = 0; i < rounds; ++i) {
        int side = 0;
        for (const auto *run : { &ours, &tool }) {
            QElapsedTimer clock;
            const double cpuBefore = CpuMs();
            clock.start();
            (*run)();
            wall[side].push_back(clock.nsecsElapsed() / 1e6);
            cpu[side].push_back(CpuMs() - cpuBefore);
            ++side;
        }
    }
    const double w0 = Median(wall[0]), w1 = Median(wall[1]);
    const double c0 = Median(cpu[0]), c1 = Median(cpu[1]);
    std::printf("%-34s wall %8.1f ms vs %8.1f ms  ratio %.2f   cpu %8.1f ms vs %8.1f ms  "
                "ratio %.2f\n",
                what, w0, w1, w0 / w1, c0, c1, c0 / c1);
    std::fflush(stdout);
}

} // namespace sidebyside
