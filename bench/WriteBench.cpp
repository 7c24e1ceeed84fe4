// Writing a request: XMLEncoder::serialize of the loaded 10,000-client
// request beside libxml2's xmlDocDumpMemory of the same document.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <string>

#include "BenchSupport.h"

namespace {

using zubench::Die;

void Serialize(const CNMessageBase& request, std::string& xml) {
  XMLEncoder encoder(zubench::LoggerEncodingFlags(), nullptr);
  if (const int error = encoder.serialize(&request, xml, false)) Die("serialize failed: " + std::to_string(error));
}

// Warm: the output string keeps its capacity from one call to the next.
void SerializeReused(benchmark::State& state) {
  const ZUInstallManager::ClientSetup& request = zubench::LoadedRequest(static_cast<std::size_t>(state.range(0)));
  std::string xml;
  for (auto _ : state) {
    Serialize(request, xml);
    benchmark::DoNotOptimize(xml.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}

// A new string each call, as the logger does.
void SerializeFresh(benchmark::State& state) {
  const ZUInstallManager::ClientSetup& request = zubench::LoadedRequest(static_cast<std::size_t>(state.range(0)));
  std::size_t size = 0;
  for (auto _ : state) {
    std::string xml;
    Serialize(request, xml);
    size = xml.size();
    benchmark::DoNotOptimize(xml.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

xmlDocPtr Libxml2Document(std::size_t clients) {
  const std::string& text = zubench::RequestText(clients);
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "request.xml", nullptr, XML_PARSE_NONET);
  if (doc == nullptr) Die("libxml2 refused the generated request");
  return doc;
}

void Libxml2Dump(xmlDocPtr doc, int& size) {
  xmlChar* xml = nullptr;
  xmlDocDumpMemory(doc, &xml, &size);
  if (xml == nullptr) Die("xmlDocDumpMemory failed");
  xmlFree(xml);
}

void Libxml2DumpMemory(benchmark::State& state) {
  xmlDocPtr doc = Libxml2Document(static_cast<std::size_t>(state.range(0)));
  int size = 0;
  for (auto _ : state) Libxml2Dump(doc, size);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
  xmlFreeDoc(doc);
}

}  // namespace

void zubench::RegisterWriteBenchmarks() {
  const auto ms = benchmark::kMillisecond;
  benchmark::RegisterBenchmark("write/XMLEncoder::serialize", SerializeReused)->Arg(kClients)->Unit(ms);
  benchmark::RegisterBenchmark("write/XMLEncoder::serialize-new-string", SerializeFresh)->Arg(kClients)->Unit(ms);
  benchmark::RegisterBenchmark("write/libxml2-xmlDocDumpMemory", Libxml2DumpMemory)->Arg(kClients)->Unit(ms);

  AddColdCase("XMLEncoder::serialize", [] {
    const ZUInstallManager::ClientSetup& request = LoadedRequest(kClients);
    return std::function<void()>([&request] {
      std::string xml;
      Serialize(request, xml);
    });
  });
  AddColdCase("libxml2-xmlDocDumpMemory", [] {
    xmlDocPtr doc = Libxml2Document(kClients);  // left to the end of the child process
    return std::function<void()>([doc] {
      int size = 0;
      Libxml2Dump(doc, size);
    });
  });
}
