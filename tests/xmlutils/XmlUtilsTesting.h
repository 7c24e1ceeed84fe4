// What the accessor tests share: requests parsed from XML, requests written
// back as XML, and a harness that tells what a reader did to its outputs.
#pragma once

#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>

#include "ZUInstallXmlUtils.h"
#include "common/TestSupport.h"

namespace xutest {

using namespace XmlUtils;
using ZUInstallManager::ClientSetup;
using ZUInstallManager::ClientsComposition;
using Req = ClientSetup*;
using S = std::string;
using U = unsigned long;

// Parses a request written in the XML vocabulary; a refusal fails the test.
inline std::unique_ptr<ClientSetup> Parse(const std::string& xml) {
  auto request = std::make_unique<ClientSetup>();
  EXPECT_EQ(CNMessageBase::Initialize(), 0);
  EXPECT_EQ(request->unserialize(xml), 0) << CNMessageBase::LastParseError().reason << "\n" << xml;
  return request;
}

// Writes the request back as compact XML, as the message library does.
inline std::string Xml(const ClientSetup& request) {
  std::string xml;
  EXPECT_EQ(
      XMLEncoder({true, false, false, 0, 0, -1, false, false, true, false, 1}, nullptr).serialize(&request, xml, false),
      0);
  return xml;
}

// A request kept in tests/data.
inline S Data(const S& name) { return zutest::ReadFile(ZU_TEST_DATA_DIR "/" + name + ".xml"); }

// A request opened by `open` (what stands before the entries) whose entry 0 holds `inside`.
inline S Entry0(const S& inside, const S& open = "<ClientSetup>") {
  return open + "<clientComposition>" + inside + "</clientComposition></ClientSetup>";
}
inline S Two(const S& entry0, const S& entry1) {
  return Entry0(entry0 + "</clientComposition><clientComposition>" + entry1);
}
inline S WithPackages(const S& packages) { return Entry0("<components>" + packages + "</components>"); }
inline std::string WithAccount(const std::string& attributes) {
  return "<ClientSetup><clientAuthentication><userAccount " + attributes + "/></clientAuthentication></ClientSetup>";
}

// Makes object field F present while holding no object, which XML cannot say.
template <auto F>
void HoldNoObject(zumsg::OwnerOf<F>& owner) {
  CNMessageBase*& slot = *owner.getObjectAccessor(true, true, F, zumsg::ChildOf<F>::kClassNumber);
  delete std::exchange(slot, nullptr);
}

// A reader runs twice, its outputs preset to a different value each time, so
// an output it left alone shows as "untouched" whatever its type.
template <class T>
T Preset(int run) {
  if constexpr (std::is_same_v<T, S>)
    return run == 0 ? "preset-a" : "preset-b";
  else if constexpr (std::is_same_v<T, bool>)
    return run != 0;
  else
    return static_cast<T>(777 + run);
}

template <class T>
S Render(const T& value) {
  if constexpr (std::is_same_v<T, S>)
    return value.empty() ? "(empty)" : value;
  else if constexpr (std::is_same_v<T, bool>)
    return value ? "true" : "false";
  else if constexpr (std::is_enum_v<T>)
    return std::to_string(static_cast<long long>(value));
  else
    return std::to_string(value);
}

// What a reader returned and left in its outputs (joined by " | ").
struct Observation {
  S result, outputs;
};

template <class... Outs, class Call>
Observation Observe(const Call& call, Req request) {
  std::tuple<Outs...> first{Preset<Outs>(0)...}, second{Preset<Outs>(1)...};
  const auto run = [&](std::tuple<Outs...>& outs) {
    return Render(std::apply([&](Outs&... out) { return call(request, out...); }, outs));
  };
  Observation seen{run(first), ""};
  if (run(second) != seen.result) seen.result += " (unstable)";
  const auto show = [&](const auto& a, const auto& b) {
    const bool untouched = a == Preset<std::decay_t<decltype(a)>>(0) && b == Preset<std::decay_t<decltype(b)>>(1);
    const S text = untouched ? "untouched" : a == b ? Render(a) : "unstable";
    seen.outputs += (seen.outputs.empty() ? "" : " | ") + text;
  };
  std::apply([&](const Outs&... a) { std::apply([&](const Outs&... b) { (show(a, b), ...); }, second); }, first);
  return seen;
}

// One row of a reader table: the request ("" for a null request), the call and what it must leave behind.
struct ReaderRow {
  const char* name;
  std::string xml;
  std::function<Observation(Req)> read;
  const char *result, *outputs;
};

template <class... Outs, class Call>
std::function<Observation(Req)> Reads(Call call) {
  return [call](Req request) { return Observe<Outs...>(call, request); };
}

// Calls reader fn on the request, on the request with entry index i, on entry
// i itself, or on entry i's components.
#define ON(fn) [](Req r, auto&... out) { return fn(r, out...); }
#define AT(fn, i) [](Req r, auto&... out) { return fn(r, i, out...); }
#define OF(fn, i) [](Req r, auto&... out) { return fn(GetClientComposition(r, i), out...); }
#define OF_COMPONENTS(fn, i) [](Req r, auto&... out) { return fn(GetComponents(GetClientComposition(r, i)), out...); }

}  // namespace xutest
