#include "BenchReport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <sstream>

#include "BenchSupport.h"

namespace {

using zubench::Figures;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Duration(double ns) {
  if (std::isnan(ns)) return "n/a";
  if (ns >= 1e6) return Format("%.2f ms", ns / 1e6);
  if (ns >= 1e3) return Format("%.2f µs", ns / 1e3);
  return Format("%.1f ns", ns);
}

std::string Times(double ratio) { return std::isnan(ratio) ? "n/a" : Format("%.2fx", ratio); }

std::string Megabytes(std::size_t bytes) {
  if (bytes < 100000) return Format("%.1f kB", static_cast<double>(bytes) / 1e3);
  return Format("%.2f MB", static_cast<double>(bytes) / 1e6);
}

// Runs `program` with at most one argument; collects its standard output. True when it exits with 0.
bool RunChild(const std::string& program, const std::string& argument, std::string& out) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    char* const argv[] = {const_cast<char*>(program.c_str()),
                          argument.empty() ? nullptr : const_cast<char*>(argument.c_str()), nullptr};
    ::execv(program.c_str(), argv);
    ::_exit(127);
  }
  ::close(fds[1]);
  char buffer[256];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// CPU time of the process so far, page-fault handling included.
double ProcessCpuNs() {
  struct timespec now;
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

class Table {
 public:
  explicit Table(std::vector<std::string> heading) : rows_{std::move(heading)} {}
  void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }

  std::string markdown() const {
    std::string out;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
      out += '|';
      for (const std::string& cell : rows_[r]) out += ' ' + cell + " |";
      out += '\n';
      if (r == 0) {
        out += '|';
        for (std::size_t c = 0; c < rows_[0].size(); ++c) out += "---|";
        out += '\n';
      }
    }
    return out;
  }

 private:
  std::vector<std::vector<std::string>> rows_;
};

class Builder {
 public:
  Builder(const std::map<std::string, Figures>& warm, const std::map<std::string, double>& cold)
      : warm_(warm), cold_(cold) {}

  // CPU time of the process (user and system): other load on the machine does not inflate it.
  double ns(const std::string& name) const {
    auto found = warm_.find(name);
    return found != warm_.end() ? found->second.cpuNs : kNaN;
  }
  double counter(const std::string& name, const std::string& counter) const {
    auto found = warm_.find(name);
    if (found == warm_.end()) return kNaN;
    auto value = found->second.counters.find(counter);
    return value != found->second.counters.end() ? value->second : kNaN;
  }
  double coldNs(const std::string& name) const {
    auto found = cold_.find(name);
    return found != cold_.end() ? found->second : kNaN;
  }
  bool has(const std::string& name) const { return warm_.count(name) != 0; }

 private:
  const std::map<std::string, Figures>& warm_;
  const std::map<std::string, double>& cold_;
};

std::string Met(double value, const std::function<bool(double)>& goal) {
  if (std::isnan(value)) return "not run";
  return goal(value) ? "yes" : "**no**";
}

const std::string kHeading[] = {
    "hot path", "baseline", "warm: hot vs baseline", "ratio", "cold first call", "cold ratio", "goal", "met?"};

// One hot path against its baseline: time ratio, warm and cold.
void AddPair(Table& table, const Builder& b, const std::string& hotLabel, const std::string& hot,
             const std::string& baseLabel, const std::string& base, const std::string& coldHot,
             const std::string& coldBase, const std::string& goal, const std::function<bool(double)>& met) {
  const double hotNs = b.ns(hot);
  const double baseNs = b.ns(base);
  const double ratio = hotNs / baseNs;
  std::string coldCell = "same as warm";
  std::string coldRatio = "";
  if (!coldHot.empty()) {
    const double h = b.coldNs(coldHot);
    const double c = b.coldNs(coldBase);
    coldCell = Duration(h) + " vs " + Duration(c);
    coldRatio = Times(h / c);
  }
  table.add({hotLabel, baseLabel, Duration(hotNs) + " vs " + Duration(baseNs), Times(ratio), coldCell, coldRatio, goal,
             goal.empty() ? "" : Met(ratio, met)});
}

}  // namespace

namespace zubench {

CollectingReporter::CollectingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
  std::vector<Run> shown;
  for (const Run& run : runs) {
    if (run.run_type == Run::RT_Aggregate) {
      if (run.aggregate_name == "median") shown.push_back(run);
      continue;
    }
    if (run.repetitions <= 1 || run.error_occurred) shown.push_back(run);
    if (run.error_occurred || run.iterations == 0) continue;
    // Keyed by name and arguments only: options such as iterations:N stay out of the key.
    const std::string& args = run.run_name.args;
    Figures& f = results_[run.run_name.function_name + (args.empty() ? "" : "/" + args)];
    const double iterations = static_cast<double>(run.iterations);
    const double cpuNs = run.cpu_accumulated_time / iterations * 1e9;
    // The best repetition: interference from other work only ever adds time.
    if (f.samples == 0 || cpuNs < f.cpuNs) {
      f.cpuNs = cpuNs;
      f.realNs = run.real_accumulated_time / iterations * 1e9;
    }
    ++f.samples;
    for (const auto& [name, counter] : run.counters) f.counters[name] = counter.value;
  }
  if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
}

int RunColdCase(const std::string& name) {
  for (const ColdCase& c : ColdCases()) {
    if (c.name != name) continue;
    std::function<void()> run = c.prepare();
    const double start = ProcessCpuNs();
    run();
    const double stop = ProcessCpuNs();
    std::printf("%.0f\n", stop - start);
    run = nullptr;  // releases what the case holds, e.g. restores the pre-install file
    return 0;
  }
  std::fprintf(stderr, "zu_bench: no cold case named '%s'\n", name.c_str());
  return 2;
}

std::map<std::string, double> MeasureColdCases(const std::string& program, int samples) {
  std::map<std::string, double> medians;
  for (const ColdCase& c : ColdCases()) {
    std::vector<double> values;
    for (int s = 0; s < samples; ++s) {
      std::string out;
      if (!RunChild(program, "--zu-cold=" + c.name, out)) {
        std::fprintf(stderr, "zu_bench: cold case '%s' failed\n", c.name.c_str());
        break;
      }
      values.push_back(std::strtod(out.c_str(), nullptr));
    }
    if (values.empty()) continue;
    std::sort(values.begin(), values.end());
    medians[c.name] = values[values.size() / 2];
  }
  return medians;
}

std::map<std::string, HeapFigures> MeasureHeap(const std::string& program) {
  std::map<std::string, HeapFigures> figures;
  std::string out;
  if (!RunChild(program, "", out)) {
    std::fprintf(stderr, "zu_bench: %s failed\n", program.c_str());
    return figures;
  }
  std::istringstream lines(out);
  std::string name;
  HeapFigures f;
  while (lines >> name >> f.held >> f.peak >> f.text) figures[name] = f;
  return figures;
}

std::string RatioTables(const std::map<std::string, Figures>& warm, const std::map<std::string, double>& cold,
                        const std::map<std::string, HeapFigures>& heap) {
  const Builder b(warm, cold);
  const std::size_t textBytes = RequestText(kClients).size();
  const std::string clients = "/" + std::to_string(kClients);
  auto atMost = [](double limit) { return [limit](double r) { return r <= limit; }; };

  Table pairs(std::vector<std::string>(std::begin(kHeading), std::end(kHeading)));
  AddPair(pairs, b, "`ConvertStringToClientSetup`, 10,000 clients (" + Megabytes(textBytes) + "), load only",
          "parse/ConvertStringToClientSetup" + clients, "expat parse, empty handlers",
          "parse/expat-empty-handlers" + clients, "ConvertStringToClientSetup", "expat-empty-handlers", "≤ 1.3x",
          atMost(1.3));
  AddPair(pairs, b, "`ConvertStringToClientSetup` + `FreeMessageObject`",
          "parse/ConvertStringToClientSetup+FreeMessageObject" + clients, "libxml2 `xmlReadMemory` + `xmlFreeDoc`",
          "parse/libxml2-xmlReadMemory+xmlFreeDoc" + clients, "ConvertStringToClientSetup+FreeMessageObject",
          "libxml2-xmlReadMemory+xmlFreeDoc", "< 1x (faster)", [](double r) { return r < 1.0; });

  auto heapRow = [&](const std::string& loader, const std::string& label, const std::string& goal, double limit) {
    auto found = heap.find(loader);
    if (found == heap.end()) {
      pairs.add({label, "the text", "n/a", "n/a", "", "", goal, goal.empty() ? "" : "not run"});
      return;
    }
    const HeapFigures& f = found->second;
    pairs.add({label, "the text (" + Megabytes(static_cast<std::size_t>(f.text)) + ")",
               Megabytes(static_cast<std::size_t>(f.held)) + " held; peak during the call " + Times(f.peak / f.text),
               Times(f.held / f.text), "same as warm", "", goal,
               goal.empty() ? "" : Met(f.held / f.text, atMost(limit))});
  };
  heapRow("ConvertStringToClientSetup", "heap held by the loaded request", "≤ 3x", 3.0);
  heapRow("libxml2-xmlReadMemory", "heap held by libxml2's document (for comparison)", "", 0);

  AddPair(pairs, b, "`XMLEncoder::serialize` of that request", "write/XMLEncoder::serialize" + clients,
          "libxml2 `xmlDocDumpMemory`", "write/libxml2-xmlDocDumpMemory" + clients, "XMLEncoder::serialize",
          "libxml2-xmlDocDumpMemory", "< 1x (faster)", [](double r) { return r < 1.0; });

  struct MaskSize {
    const char* suffix;
    std::string label;
  };
  const MaskSize sizes[] = {{"1MiB", "1 MiB"},
                            {"10000-clients", "the serialized request (" + Megabytes(textBytes) + ")"},
                            {"64MiB", "64 MiB"}};
  for (const MaskSize& size : sizes) {
    const bool request = std::string(size.suffix) == "10000-clients";
    AddPair(pairs, b, "`MaskInformation`, four keys, " + size.label,
            std::string("mask/MaskInformation-4-keys/") + size.suffix, "one `std::string::find` pass per key",
            std::string("mask/find-pass-4-keys/") + size.suffix, request ? "MaskInformation-4-keys" : "",
            request ? "find-pass-4-keys" : "", "≤ 1.5x", atMost(1.5));
  }
  // Linear: the cost per byte at 64 MiB is that at 1 MiB, allowing for what a
  // text that no longer fits the caches costs the find pass as well.
  const double smallBytes = static_cast<double>(RequestTextOfSize(kMiB).size());
  const double largeBytes = static_cast<double>(RequestTextOfSize(64 * kMiB).size());
  const double maskGrowth = (b.ns("mask/MaskInformation-4-keys/64MiB") / largeBytes) /
                            (b.ns("mask/MaskInformation-4-keys/1MiB") / smallBytes);
  const double findGrowth =
      (b.ns("mask/find-pass-4-keys/64MiB") / largeBytes) / (b.ns("mask/find-pass-4-keys/1MiB") / smallBytes);
  pairs.add({"`MaskInformation` cost per byte, 64 MiB against 1 MiB", "the same growth of the find pass",
             Times(maskGrowth) + " vs " + Times(findGrowth), Times(maskGrowth / findGrowth), "", "", "linear: ≤ 1.25x",
             Met(maskGrowth / findGrowth, atMost(1.25))});

  AddPair(pairs, b, "`LogXML` of that request to the debug log", "log/LogXML-debug-log" + clients,
          "`serialize` of it alone, into a new string", "write/XMLEncoder::serialize-new-string" + clients,
          "LogXML-debug-log", "XMLEncoder::serialize", "≤ 1.5x", atMost(1.5));

  const double calls = b.counter("access/GetClientName+GetClientOS+GetPackageList-walk" + clients, "calls");
  const double perCall = b.ns("access/GetClientName+GetClientOS+GetPackageList-walk" + clients) / calls;
  const double perEntry = b.ns("access/empty-pass" + clients) / static_cast<double>(kClients);
  const double coldPerCall = b.coldNs("GetClientName+GetClientOS+GetPackageList-walk") / (3.0 * kClients);
  const double coldPerEntry = b.coldNs("empty-pass") / static_cast<double>(kClients);
  pairs.add({"accessor walk: `GetClientName`, `GetClientOS`, `GetPackageList` on every entry",
             "one pass over the entries doing nothing",
             Duration(perCall) + " a call vs " + Duration(perEntry) + " an entry", Times(perCall / perEntry),
             Duration(coldPerCall) + " a call vs " + Duration(coldPerEntry) + " an entry",
             Times(coldPerCall / coldPerEntry), "≤ 30 ns a call", Met(perCall, atMost(30.0))});

  AddPair(pairs, b, "`LogMessage` to the pre-install file", "log/LogMessage-pre-install",
          "a bare `open`, one `write`, `close` of the same bytes", "log/open-write-close", "LogMessage-pre-install",
          "open-write-close", "≤ 1.2x", atMost(1.2));

  AddPair(pairs, b, "`LogMessage` to the pre-install file (for comparison)", "log/LogMessage-pre-install",
          "the same, plus what the entry format asks: `getppid`, `getpid`, local time, `snprintf`",
          "log/ids-time-stamp+open-write-close", "", "", "", [](double) { return true; });

  Table scaling({"clients", "text", "expat, empty handlers", "`ConvertStringToClientSetup`", "ratio"});
  for (std::size_t n : {std::size_t{1}, std::size_t{100}, kClients, std::size_t{100000}}) {
    const std::string suffix = "/" + std::to_string(n);
    const std::string ours = "parse/ConvertStringToClientSetup" + suffix;
    const std::string floor = "parse/expat-empty-handlers" + suffix;
    if (!b.has(ours) && !b.has(floor)) continue;
    const double bytes = static_cast<double>(RequestText(n).size());
    scaling.add({std::to_string(n), Megabytes(RequestText(n).size()), Format("%.2f ns/byte", b.ns(floor) / bytes),
                 Format("%.2f ns/byte", b.ns(ours) / bytes), Times(b.ns(ours) / b.ns(floor))});
  }

  return "Hot paths against their baselines, in CPU time of the process (user and system). Warm: the steady\n"
         "state of repeated calls in one process, memory reused, best of the repetitions (run interleaved).\n"
         "Cold: the first call in a fresh process, page faults included, median of three processes.\n\n" +
         pairs.markdown() + "\nLoading cost per byte by request size (warm):\n\n" + scaling.markdown();
}

}  // namespace zubench
