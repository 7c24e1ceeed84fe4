// Loads untrusted XML into a request that already holds a document, then
// writes and reloads it. A failed load must leave the target as it was; a
// good one must replace it whole, and writing is a fixed point: the text
// written from the reloaded request equals the first text written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

namespace {

using ZUInstallManager::ClientSetup;

// Distinct from anything a fuzzed document shares by chance, so a merge of
// old and new content shows in the output.
constexpr char kEarlierRequest[] =
    R"(<ClientSetup jobId="777" requestFlags="1"><user userId="5"/>)"
    R"(<clientComposition operationType="6"><clientInfo><clientGroups clientGroupName="kept"/></clientInfo>)"
    R"(</clientComposition><organizationInfo authCode="earlier"/></ClientSetup>)";

const std::string& EarlierText() {
  static const std::string text = [] {
    ClientSetup request;
    std::string error;
    zufuzz::Require(ConvertStringToClientSetup(kEarlierRequest, &request, error) == 0, "the earlier request loads");
    return zufuzz::MustSerialize(request, "the earlier request writes");
  }();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& earlier = EarlierText();
  ClientSetup target;
  std::string error;
  if (ConvertStringToClientSetup(earlier, &target, error) != 0) zufuzz::Fail("the earlier request reloads");

  error = "unset";
  if (ConvertStringToClientSetup(zufuzz::Text(data, size), &target, error) != 0) {
    zufuzz::Require(error == "Failed to unserialize XML", "a refused load says so", error);
    zufuzz::Require(!CNMessageBase::LastParseError().reason.empty(), "a refused load gives a reason");
    zufuzz::Require(zufuzz::MustSerialize(target, "a refused load leaves a writable target") == earlier,
                    "a refused load leaves the target unchanged");
    return 0;
  }
  zufuzz::Require(error == "unset", "a good load leaves the error text alone", error);

  const std::string first = zufuzz::MustSerialize(target, "a loaded request writes");
  ClientSetup fresh;
  if (ConvertStringToClientSetup(zufuzz::Text(data, size), &fresh, error) != 0) {
    zufuzz::Fail("a document loads into a fresh request too");
  }
  zufuzz::Require(zufuzz::MustSerialize(fresh, "a fresh load writes") == first,
                  "a load replaces the target's content whole", first);

  ClientSetup second;
  if (ConvertStringToClientSetup(first, &second, error) != 0) {
    zufuzz::Fail("a written request loads again", first + "\n" + CNMessageBase::LastParseError().reason);
  }
  const std::string again = zufuzz::MustSerialize(second, "a reloaded request writes");
  zufuzz::Require(again == first, "writing is a fixed point", first + "\n" + again);

  const ClientSetup copy(second);
  zufuzz::Require(zufuzz::MustSerialize(copy, "a copy writes") == first, "a copy is deep and whole");
  return 0;
}
