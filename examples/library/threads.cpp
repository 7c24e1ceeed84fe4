// Several threads, each with its own request and its own logger, as an
// installer serving one client per thread does. Usage: threads REQUEST.xml
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "ZUInstallLog.h"
#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: threads REQUEST.xml\n";
    return 2;
  }
  const std::string path = argv[1];
  std::vector<std::thread> workers;
  std::vector<std::string> names(4);  // each thread writes only its own element
  for (unsigned long t = 0; t < names.size(); ++t) {
    workers.emplace_back([&path, &names, t] {
      ZUSimLog log("ExampleInstaller");       // a logger is used by one thread at a time: one each
      ZUInstallManager::ClientSetup request;  // so is a request
      std::string file = path, error;
      if (PopulateClientSetupFromXmlFile(&request, file, error) != 0) {
        names[t] = error;
        return;
      }
      if (XmlUtils::GetClientName(&request, t, names[t]) != 0) names[t] = "-";
      std::vector<int> packages;
      XmlUtils::GetPackageList(&request, t, packages);
      int databases = 0;  // the catalogue is constant: any thread may read it
      for (const int id : packages) databases += IsDBPackage(static_cast<unsigned long>(id));
      log.LogMessageV(__func__, 0, "client %lu: %s, %d database packages", t, names[t].c_str(), databases);
    });
  }
  for (std::thread& worker : workers) worker.join();
  for (unsigned long t = 0; t < names.size(); ++t) std::cout << "client " << t << ": " << names[t] << '\n';
  return 0;
}
