// zu_bench: every hot path beside its baseline in one run, then the heap
// figures (zu_bench_memory), the cold first-call figures (each in a fresh
// process) and the table of ratios.
//
//   zu_bench [benchmark options] [--zu-table=FILE] [--zu-no-cold]
//   zu_bench --zu-check        checks the generated inputs and exits
//   zu_bench --zu-cold=CASE    (internal) times one cold first call
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "BenchSupport.h"
#include "RequestGenerator.h"
#include "ZUInstallUtils.h"

namespace {

constexpr int kColdSamples = 3;

void RegisterAll() {
  zubench::RegisterParseBenchmarks();
  zubench::RegisterWriteBenchmarks();
  zubench::RegisterMaskBenchmarks();
  zubench::RegisterLogBenchmarks();
  zubench::RegisterAccessorBenchmarks();
}

// A generated request must load and serialize back to the same bytes, or the
// benchmarks would compare different work.
bool RoundTrips(const std::string& text, std::string& why) {
  ZUInstallManager::ClientSetup request;
  std::string error;
  if (ConvertStringToClientSetup(text, &request, error) != 0) {
    why = error + ": " + CNMessageBase::LastParseError().reason;
    return false;
  }
  std::string xml;
  XMLEncoder encoder(zubench::LoggerEncodingFlags(), nullptr);
  if (const int code = encoder.serialize(&request, xml, false)) {
    why = "serialize error " + std::to_string(code);
    return false;
  }
  if (xml != text) {
    std::size_t at = 0;
    while (at < xml.size() && at < text.size() && xml[at] == text[at]) ++at;
    why = "serialized text differs at byte " + std::to_string(at) + ": '" + xml.substr(at, 60) + "' instead of '" +
          text.substr(at, 60) + "'";
    return false;
  }
  return true;
}

bool CheckInputs(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    std::string why;
    if (!RoundTrips(text, why)) {
      std::fprintf(stderr, "zu_bench: a generated request of %zu bytes does not round-trip: %s\n", text.size(),
                   why.c_str());
      return false;
    }
  }
  return true;
}

int Check() {
  const std::string sized = zubench::GenerateRequestOfSize(64 * 1024);
  const bool ok =
      CheckInputs({zubench::GenerateRequest(0), zubench::GenerateRequest(1), zubench::GenerateRequest(100), sized}) &&
      sized.size() >= 64 * 1024 && zubench::GenerateRequest(100) == zubench::GenerateRequest(100);
  std::printf("generated requests %s\n", ok ? "load and serialize back unchanged" : "FAILED");
  return ok ? 0 : 1;
}

std::string SelfPath() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  std::string tablePath;
  bool cold = true;
  // Defaults that the command line may override: repetitions spread over the
  // run, so that a burst of other work on the machine spoils one of three.
  static char repetitions[] = "--benchmark_repetitions=3";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static char minTime[] = "--benchmark_min_time=0.2";
  std::vector<char*> rest{argv[0], repetitions, interleave, minTime};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--zu-cold=", 0) == 0) {
      RegisterAll();
      return zubench::RunColdCase(arg.substr(std::strlen("--zu-cold=")));
    }
    if (arg == "--zu-check") return Check();
    if (arg.rfind("--zu-table=", 0) == 0) {
      tablePath = arg.substr(std::strlen("--zu-table="));
    } else if (arg == "--zu-no-cold") {
      cold = false;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());
  rest.push_back(nullptr);
  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 2;

  if (!CheckInputs({zubench::RequestText(zubench::kClients)})) return 1;
  RegisterAll();
  zubench::CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const std::string self = SelfPath();
  std::printf("\nHeap of the loaded request (zu_bench_memory)...\n");
  const auto heapFigures = zubench::MeasureHeap(self.substr(0, self.rfind('/') + 1) + "zu_bench_memory");
  std::map<std::string, double> coldFigures;
  if (cold) {
    std::printf("Cold first calls, each in a fresh process...\n");
    coldFigures = zubench::MeasureColdCases(self, kColdSamples);
  }
  const std::string tables = zubench::RatioTables(reporter.results(), coldFigures, heapFigures);
  std::printf("\n%s", tables.c_str());
  if (!tablePath.empty()) {
    std::ofstream out(tablePath);
    out << tables;
    if (!out) {
      std::fprintf(stderr, "zu_bench: cannot write %s\n", tablePath.c_str());
      return 1;
    }
  }
  benchmark::Shutdown();
  return 0;
}
