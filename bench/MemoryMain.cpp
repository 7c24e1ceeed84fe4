// zu_bench_memory: the heap held by the loaded 10,000-client request, and by
// libxml2's document of the same text, each against the text's size. A
// program of its own because it replaces malloc (HeapCounter.cpp), which the
// timed program must not pay for. Prints one line per loader:
//   NAME HELD_BYTES PEAK_BYTES TEXT_BYTES
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "HeapCounter.h"
#include "ZUInstallUtils.h"

namespace {

void Print(const char* name, long long held, long long peak, std::size_t text) {
  std::printf("%s %lld %lld %zu\n", name, held, peak, text);
}

}  // namespace

int main() {
  const std::string& text = zubench::RequestText(zubench::kClients);
  xmlInitParser();
  {
    // Held once the call has returned; the peak includes the by-value copy of
    // the text and expat's own buffer.
    auto* request = new ZUInstallManager::ClientSetup;
    std::string error;
    long long held;
    long long peak;
    {
      zubench::HeapWindow window;
      if (ConvertStringToClientSetup(text, request, error) != 0) zubench::Die("ConvertStringToClientSetup: " + error);
      held = window.held();
      peak = window.peak();
    }
    FreeMessageObject(request);
    Print("ConvertStringToClientSetup", held, peak, text.size());
  }
  {
    xmlDocPtr doc;
    long long held;
    long long peak;
    {
      zubench::HeapWindow window;
      doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "request.xml", nullptr, XML_PARSE_NONET);
      held = window.held();
      peak = window.peak();
    }
    if (doc == nullptr) zubench::Die("libxml2 refused the generated request");
    xmlFreeDoc(doc);
    Print("libxml2-xmlReadMemory", held, peak, text.size());
  }
  return 0;
}
