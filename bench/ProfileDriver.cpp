// zu_profile: runs one hot path on a generated request, with nothing else in
// the process, for instruction counts that repeat from run to run:
//
//   valgrind --tool=callgrind build-bench/bench/zu_profile load 1000
//
// OPERATION is one of load, expat, serialize, mask, logxml, walk, logmessage;
// CLIENTS is the request size (default 1000); REPEAT the number of calls (default 1).
#include <expat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"

namespace {

using zubench::Die;
using ZUInstallManager::ClientSetup;

void XMLCALL StartNothing(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL EndNothing(void*, const XML_Char*) {}

int Usage() {
  std::fprintf(stderr, "usage: zu_profile load|expat|serialize|mask|logxml|walk|logmessage [CLIENTS [REPEAT]]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string operation = argv[1];
  const std::size_t clients = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
  const int repeat = argc > 3 ? std::atoi(argv[3]) : 1;
  const std::string& text = zubench::RequestText(clients);

  if (operation == "load") {
    for (int i = 0; i < repeat; ++i) {
      auto* request = new ClientSetup;
      std::string error;
      if (ConvertStringToClientSetup(text, request, error) != 0) Die(error);
      FreeMessageObject(request);
    }
  } else if (operation == "expat") {
    for (int i = 0; i < repeat; ++i) {
      XML_Parser parser = XML_ParserCreate(nullptr);
      XML_SetElementHandler(parser, StartNothing, EndNothing);
      if (XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) != XML_STATUS_OK) Die("expat");
      XML_ParserFree(parser);
    }
  } else if (operation == "serialize") {
    ClientSetup& request = zubench::LoadedRequest(clients);
    XMLEncoder encoder(zubench::LoggerEncodingFlags(), nullptr);
    std::string xml;
    for (int i = 0; i < repeat; ++i) {
      if (encoder.serialize(&request, xml, false) != 0) Die("serialize");
    }
  } else if (operation == "mask") {
    for (int i = 0; i < repeat; ++i) {
      std::string copy = text;
      for (const char* key : {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\""}) {
        MaskInformation(copy, key, 8);
      }
    }
  } else if (operation == "logxml") {
    ClientSetup& request = zubench::LoadedRequest(clients);
    zubench::ScopedEnv focus("ZU_FOCUS", "zubench");
    zubench::ScopedEnv directory("ZU_LOG_DIR", zubench::ScratchDirectory().c_str());
    zubench::ScopedEnv level("ZU_DEBUG_LEVEL", "9");
    ZUSimLog log("ZuProfile");
    for (int i = 0; i < repeat; ++i) {
      if (log.LogXML("profile", &request, 1, 1) != 0) Die("LogXML");
    }
  } else if (operation == "walk") {
    ClientSetup& request = zubench::LoadedRequest(clients);
    std::string name, osName, osDetail;
    std::vector<ZUInstallManager::PackageInformation>* packages = nullptr;
    for (int i = 0; i < repeat; ++i) {
      for (std::size_t entry = 0; entry < clients; ++entry) {
        if (XmlUtils::GetClientName(&request, entry, name) != 0 ||
            XmlUtils::GetClientOS(&request, entry, osName, osDetail) != 0 ||
            XmlUtils::GetPackageList(&request, entry, packages) != 0) {
          Die("accessor");
        }
      }
    }
  } else if (operation == "logmessage") {
    zubench::ScopedEnv focus("ZU_FOCUS", nullptr);
    zubench::PreInstallFileGuard guard;
    ZUSimLog log("ZuProfile");
    for (int i = 0; i < repeat; ++i) log.LogMessage("profile", 0, "Phase [Copy the client binaries]is [started]");
  } else {
    return Usage();
  }
  return 0;
}
