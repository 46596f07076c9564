// A console reporter that also prints, after the usual table, the throughput
// ratio of each benchmark against its reference of the same size: a run named
// "<kernel>/<variant>/<size>" is divided by "<kernel>/<reference>/<size>".
// With --benchmark_repetitions the medians are compared.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::string reference) : reference_(std::move(reference)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
            const auto rate = run.counters.find("bytes_per_second");
            if (rate == run.counters.end()) continue;
            const std::string name = run.run_name.str();
            if (median) medians_.insert(name);
            if (median || medians_.count(name) == 0) rates_[name] = rate->second.value;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nthroughput ratio against %s of the same size:\n", reference_.c_str());
        for (const auto& [name, rate] : rates_) {
            const auto parts = split(name);
            if (parts.size() < 3 || parts[1] == reference_) continue;
            // Any further parts (".../real_time") are kept as they are.
            std::string referenceName = parts[0] + "/" + reference_;
            for (std::size_t i = 2; i < parts.size(); ++i) referenceName += "/" + parts[i];
            const auto ref = rates_.find(referenceName);
            if (ref == rates_.end() || ref->second <= 0) continue;
            std::printf("  %-28s %8.1f MB/s  ratio %.3f\n", name.c_str(), rate / 1e6, rate / ref->second);
        }
    }

private:
    static std::vector<std::string> split(const std::string& name) {
        std::vector<std::string> parts(1);
        for (char c : name) {
            if (c == '/') {
                parts.emplace_back();
            } else {
                parts.back() += c;
            }
        }
        return parts;
    }

    std::string reference_;
    std::map<std::string, double> rates_;
    std::set<std::string> medians_;
};

inline int runWithRatios(int argc, char** argv, const char* reference) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(reference);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
