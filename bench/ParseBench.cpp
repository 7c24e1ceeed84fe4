// Loading a request: ConvertStringToClientSetup beside an expat parse of the
// same text with empty handlers and libxml2's xmlReadMemory.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <string>

#include "BenchSupport.h"
#include "ZUInstallUtils.h"

namespace {

using zubench::Die;
using zubench::RequestText;
using ZUInstallManager::ClientSetup;

void XMLCALL StartNothing(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL EndNothing(void*, const XML_Char*) {}

// The floor: expat tokenizes and hands every element with its attributes to a handler that does nothing.
bool ExpatParse(const std::string& text) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetElementHandler(parser, StartNothing, EndNothing);
  const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

xmlDocPtr Libxml2Read(const std::string& text) {
  return xmlReadMemory(text.data(), static_cast<int>(text.size()), "request.xml", nullptr, XML_PARSE_NONET);
}

void Load(const std::string& text, ClientSetup* request) {
  std::string error;
  if (ConvertStringToClientSetup(text, request, error) != 0) Die("ConvertStringToClientSetup: " + error);
}

void BytesProcessed(benchmark::State& state, const std::string& text) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void ExpatEmptyHandlers(benchmark::State& state) {
  const std::string& text = RequestText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    if (!ExpatParse(text)) Die("expat refused the generated request");
  }
  BytesProcessed(state, text);
}

// Load only: the request is freed with the timer stopped.
void Convert(benchmark::State& state) {
  const std::string& text = RequestText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto* request = new ClientSetup;
    Load(text, request);
    state.PauseTiming();
    FreeMessageObject(request);
    state.ResumeTiming();
  }
  BytesProcessed(state, text);
}

// Load and free, to compare with libxml2's read and free.
void ConvertAndFree(benchmark::State& state) {
  const std::string& text = RequestText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto* request = new ClientSetup;
    Load(text, request);
    FreeMessageObject(request);
  }
  BytesProcessed(state, text);
}

void Libxml2ReadFree(benchmark::State& state) {
  const std::string& text = RequestText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    xmlDocPtr doc = Libxml2Read(text);
    if (doc == nullptr) Die("libxml2 refused the generated request");
    xmlFreeDoc(doc);
  }
  BytesProcessed(state, text);
}

}  // namespace

void zubench::RegisterParseBenchmarks() {
  xmlInitParser();
  const auto ms = benchmark::kMillisecond;
  for (long long clients : {1LL, 100LL}) {
    benchmark::RegisterBenchmark("parse/expat-empty-handlers", ExpatEmptyHandlers)->Arg(clients);
    benchmark::RegisterBenchmark("parse/ConvertStringToClientSetup", Convert)->Arg(clients);
  }
  benchmark::RegisterBenchmark("parse/expat-empty-handlers", ExpatEmptyHandlers)->Arg(kClients)->Unit(ms);
  benchmark::RegisterBenchmark("parse/ConvertStringToClientSetup", Convert)->Arg(kClients)->Unit(ms);
  benchmark::RegisterBenchmark("parse/ConvertStringToClientSetup+FreeMessageObject", ConvertAndFree)
      ->Arg(kClients)
      ->Unit(ms);
  benchmark::RegisterBenchmark("parse/libxml2-xmlReadMemory+xmlFreeDoc", Libxml2ReadFree)->Arg(kClients)->Unit(ms);
  // 100,000 clients (about 80 MB): a few iterations suffice to show the cost per byte holds.
  benchmark::RegisterBenchmark("parse/expat-empty-handlers", ExpatEmptyHandlers)->Arg(100000)->Unit(ms)->Iterations(2);
  benchmark::RegisterBenchmark("parse/ConvertStringToClientSetup", Convert)->Arg(100000)->Unit(ms)->Iterations(2);

  AddColdCase("expat-empty-handlers", [] {
    const std::string& text = RequestText(kClients);
    return std::function<void()>([&text] {
      if (!ExpatParse(text)) Die("expat refused the generated request");
    });
  });
  AddColdCase("ConvertStringToClientSetup", [] {
    const std::string& text = RequestText(kClients);
    auto* request = new ClientSetup;  // left to the end of the child process
    return std::function<void()>([&text, request] { Load(text, request); });
  });
  AddColdCase("ConvertStringToClientSetup+FreeMessageObject", [] {
    const std::string& text = RequestText(kClients);
    return std::function<void()>([&text] {
      auto* request = new ClientSetup;
      Load(text, request);
      FreeMessageObject(request);
    });
  });
  AddColdCase("libxml2-xmlReadMemory+xmlFreeDoc", [] {
    const std::string& text = RequestText(kClients);
    return std::function<void()>([&text] {
      xmlDocPtr doc = Libxml2Read(text);
      if (doc == nullptr) Die("libxml2 refused the generated request");
      xmlFreeDoc(doc);
    });
  });
}
