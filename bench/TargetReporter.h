#pragma once

// The console report of Google Benchmark, remembering one benchmark's time (the median when repeated) so
// that main() can print it against its target.

#include <benchmark/benchmark.h>

#include <string>

namespace quillfern::benchmarks {

class TargetReporter : public benchmark::ConsoleReporter {
public:
    // Empty: the last benchmark run.
    explicit TargetReporter(std::string name = {}) : m_name(std::move(name)) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if ((m_name.empty() || run.run_name.str() == m_name) &&
                (run.run_type == Run::RT_Iteration || run.aggregate_name == "median"))
                m_time = run.GetAdjustedRealTime();
        }
    }

    // In the benchmark's own unit; 0 before it ran.
    double time() const { return m_time; }

private:
    std::string m_name;
    double m_time = 0;
};

} // namespace quillfern::benchmarks
