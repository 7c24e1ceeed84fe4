// A program built against an installed ZuInstall: loads a request, prints its
// clients, and sends a password through the cipher the library wraps.
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "ZUInstallUtils.h"
#include "ZUInstallXmlUtils.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: consumer REQUEST.xml\n";
    return 2;
  }
  std::string path = argv[1];
  std::string error;
  ZUInstallManager::ClientSetup request;
  if (PopulateClientSetupFromXmlFile(&request, path, error) != 0) {
    std::cerr << "consumer: " << error << '\n';
    return 1;
  }
  std::string name;
  for (unsigned long index = 0; XmlUtils::GetClientName(&request, index, name) == 0; ++index) {
    std::cout << "client " << index << ": " << name << '\n';
  }

  char* cipher = nullptr;
  char* plain = nullptr;
  char message[1024] = {};
  if (ZUEncryptPassword_V8("consumer-check", &cipher, message) != 0 ||
      ZUDecryptPassword(cipher, &plain, message) != 0) {
    std::cerr << "consumer: " << message << '\n';
    delete[] cipher;
    delete[] plain;
    return 1;
  }
  std::unique_ptr<char[]> ownedCipher(cipher);
  std::unique_ptr<char[]> ownedPlain(plain);
  std::cout << "cipher: " << (std::strcmp(plain, "consumer-check") == 0 ? "round trip" : "mismatch") << '\n';
  return 0;
}
