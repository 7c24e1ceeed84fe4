// Reading a loaded request: GetClientName, GetClientOS and GetPackageList on
// every entry of the 10,000-client request, beside a pass over the entries
// that does nothing.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ZUInstallXmlUtils.h"

namespace {

using zubench::Die;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::PackageInformation;

// Three calls per entry; outputs live across iterations, as a caller's would.
struct Walker {
  std::string name;
  std::string osName;
  std::string osDetail;
  std::vector<PackageInformation>* packages = nullptr;

  int walk(ClientSetup& request, std::size_t entries) {
    int failures = 0;
    for (std::size_t i = 0; i < entries; ++i) {
      failures += XmlUtils::GetClientName(&request, i, name) != 0;
      failures += XmlUtils::GetClientOS(&request, i, osName, osDetail) != 0;
      failures += XmlUtils::GetPackageList(&request, i, packages) != 0;
      benchmark::DoNotOptimize(packages);
    }
    return failures;
  }
};

std::size_t EntryCount(ClientSetup& request) {
  const std::vector<ZUInstallManager::ClientsComposition>* entries =
      zumsg::list<ClientSetup::clientComposition>(request);
  return entries != nullptr ? entries->size() : 0;
}

void AccessorWalk(benchmark::State& state) {
  ClientSetup& request = zubench::LoadedRequest(static_cast<std::size_t>(state.range(0)));
  const std::size_t entries = EntryCount(request);
  Walker walker;
  for (auto _ : state) {
    if (walker.walk(request, entries) != 0) Die("an accessor failed on the generated request");
  }
  state.counters["calls"] = static_cast<double>(3 * entries);
}

void EmptyPass(benchmark::State& state) {
  ClientSetup& request = zubench::LoadedRequest(static_cast<std::size_t>(state.range(0)));
  std::vector<ZUInstallManager::ClientsComposition>& entries = *zumsg::list<ClientSetup::clientComposition>(request);
  for (auto _ : state) {
    for (ZUInstallManager::ClientsComposition& entry : entries) benchmark::DoNotOptimize(&entry);
  }
  state.counters["calls"] = static_cast<double>(entries.size());
}

}  // namespace

void zubench::RegisterAccessorBenchmarks() {
  const auto us = benchmark::kMicrosecond;
  benchmark::RegisterBenchmark("access/GetClientName+GetClientOS+GetPackageList-walk", AccessorWalk)
      ->Arg(kClients)
      ->Unit(us);
  benchmark::RegisterBenchmark("access/empty-pass", EmptyPass)->Arg(kClients)->Unit(us);

  // Cold: the first walk right after loading, with fresh outputs.
  AddColdCase("GetClientName+GetClientOS+GetPackageList-walk", [] {
    ClientSetup& request = LoadedRequest(kClients);
    return std::function<void()>([&request] {
      Walker walker;
      if (walker.walk(request, EntryCount(request)) != 0) Die("an accessor failed on the generated request");
    });
  });
  AddColdCase("empty-pass", [] {
    ClientSetup& request = LoadedRequest(kClients);
    return std::function<void()>([&request] {
      for (ZUInstallManager::ClientsComposition& entry : *zumsg::list<ClientSetup::clientComposition>(request)) {
        benchmark::DoNotOptimize(&entry);
      }
    });
  });
}
