#include "XmlUtilsTesting.h"

namespace xutest {

std::unique_ptr<ClientSetup> Parse(const std::string& xml) {
  auto request = std::make_unique<ClientSetup>();
  EXPECT_EQ(CNMessageBase::Initialize(), 0);
  if (request->unserialize(xml) != 0) {
    ADD_FAILURE() << "request refused: " << CNMessageBase::LastParseError().reason << "\n" << xml;
  }
  return request;
}

std::string Xml(const ClientSetup& request) {
  const EncodingFlags flags{true, false, false, 0, 0, -1, false, false, true, false, 1};
  XMLEncoder encoder(flags, nullptr);
  std::string xml;
  EXPECT_EQ(encoder.serialize(&request, xml, false), 0);
  return xml;
}

TEST_P(ReaderTable, LeavesResultAndOutputs) {
  const ReaderRow& row = GetParam();
  std::unique_ptr<ClientSetup> request = row.xml != nullptr ? Parse(row.xml) : nullptr;
  const Observation seen = row.read(request.get());
  EXPECT_EQ(seen.result, row.result);
  EXPECT_EQ(seen.outputs, row.outputs);
  // Readers never change the request.
  if (request != nullptr) {
    EXPECT_EQ(Xml(*request), Xml(*Parse(row.xml)));
  }
}

}  // namespace xutest
