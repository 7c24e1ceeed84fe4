// The figures of one run: a console reporter that also keeps every result,
// the cold first-call figures measured in fresh processes, and the table of
// each hot path against its baseline and goal.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace zubench {

// One benchmark's best repetition.
struct Figures {
  double realNs = 0;  // wall time of one iteration
  double cpuNs = 0;   // CPU time of one iteration
  int samples = 0;    // repetitions seen
  std::map<std::string, double> counters;
};

// Prints one line per benchmark (the median when repeated) and keeps each
// benchmark's best repetition by name.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so a saved run stays plain text.
  CollectingReporter();
  void ReportRuns(const std::vector<Run>& runs) override;
  const std::map<std::string, Figures>& results() const { return results_; }

 private:
  std::map<std::string, Figures> results_;
};

// Heap held by a loaded request and the peak during the load, against the text.
struct HeapFigures {
  double held = 0;
  double peak = 0;
  double text = 0;
};

// Runs zu_bench_memory (`program`) and returns its figures by loader name; empty when it fails.
std::map<std::string, HeapFigures> MeasureHeap(const std::string& program);

// Runs every cold case `samples` times, each in a fresh process started from
// `program`, and returns the median nanoseconds of its first call by case name.
std::map<std::string, double> MeasureColdCases(const std::string& program, int samples);

// Runs the named cold case in this (fresh) process and prints its nanoseconds; returns the exit status.
int RunColdCase(const std::string& name);

// Returns the tables of pairs and of scaling, in Markdown.
std::string RatioTables(const std::map<std::string, Figures>& warm, const std::map<std::string, double>& cold,
                        const std::map<std::string, HeapFigures>& heap);

}  // namespace zubench
