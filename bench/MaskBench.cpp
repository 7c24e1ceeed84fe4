// Masking: MaskInformation with the logger's first four keys (the report's
// pairs) and with all five beside one std::string::find pass per key over the
// same text, at 1 MiB, at the serialized 10,000-client request and at 64 MiB,
// to show the cost per byte does not grow with the text. And the escaping of
// log entries (AppendEscaped) beside a plain copy, on the request's ASCII and
// on a text dense in multi-byte characters.
#include <benchmark/benchmark.h>

#include <iterator>
#include <string>

#include "BenchSupport.h"
#include "ZUInstallLog.h"
#include "ZUInstallMask.h"

namespace {

constexpr const char* kKeys[] = {"password=\"", "clientPassword=\"", "pAccess=\"", "pExecAccess=\"", "authCode=\""};
constexpr std::size_t kReportedKeys = 4;
constexpr unsigned long kMaskLength = 8;

using TextOf = const std::string& (*)();

void MaskAll(std::string& text, std::size_t keys = kReportedKeys) {
  for (std::size_t i = 0; i < keys; ++i) MaskInformation(text, kKeys[i], kMaskLength);
}

std::size_t FindAll(const std::string& text, std::size_t keys = kReportedKeys) {
  std::size_t hits = 0;
  for (std::size_t i = 0; i < keys; ++i) {
    const std::string_view k(kKeys[i]);
    for (std::size_t at = text.find(k); at != std::string::npos; at = text.find(k, at + k.size())) ++hits;
  }
  return hits;
}

// Runs `step` on a fresh copy of the unmasked text each iteration, the copy
// made with the timer stopped, so masking and the find pass both work on a
// text that was just written.
template <class Step>
void OverPristineText(benchmark::State& state, TextOf textOf, Step step) {
  const std::string& pristine = textOf();
  std::string text;
  text.reserve(pristine.size());
  for (auto _ : state) {
    state.PauseTiming();
    text.assign(pristine);
    state.ResumeTiming();
    step(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pristine.size()));
}

void Mask(benchmark::State& state, TextOf textOf, std::size_t keys) {
  OverPristineText(state, textOf, [keys](std::string& text) {
    MaskAll(text, keys);
    benchmark::DoNotOptimize(text.data());
  });
}

void Find(benchmark::State& state, TextOf textOf, std::size_t keys) {
  OverPristineText(state, textOf, [keys](std::string& text) { benchmark::DoNotOptimize(FindAll(text, keys)); });
}

// Appends the text escaped, or copied as it is, to a string that keeps its memory between iterations.
void Escape(benchmark::State& state, TextOf textOf, bool escaped) {
  const std::string& text = textOf();
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (auto _ : state) {
    out.clear();
    if (escaped) {
      zumask::AppendEscaped(out, text);
    } else {
      out.append(text);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// A MiB of words in several scripts, quotes and dashes: many lead bytes of two- and three-byte characters.
const std::string& MultiByteMiB() {
  static const std::string text = [] {
    std::string t;
    while (t.size() < zubench::kMiB)
      t += "Gr\xc3\xbc\xc3\x9f"
           "e \xe2\x80\x9c"
           "db01\xe2\x80\x9d \xe2\x80\x94 \xc2\xa9 \xce\xb1\xce\xb2 ";
    return t;
  }();
  return text;
}

const std::string& OneMiB() { return zubench::RequestTextOfSize(zubench::kMiB); }
const std::string& Request() { return zubench::RequestText(zubench::kClients); }
const std::string& SixtyFourMiB() { return zubench::RequestTextOfSize(64 * zubench::kMiB); }

}  // namespace

void zubench::RegisterMaskBenchmarks() {
  const auto us = benchmark::kMicrosecond;
  struct Size {
    const char* suffix;
    TextOf text;
  };
  for (const Size& size : {Size{"1MiB", OneMiB}, Size{"10000-clients", Request}, Size{"64MiB", SixtyFourMiB}}) {
    for (const std::size_t keys : {kReportedKeys, std::size(kKeys)}) {
      const std::string count = std::to_string(keys);
      benchmark::RegisterBenchmark(("mask/MaskInformation-" + count + "-keys/" + size.suffix).c_str(), Mask, size.text,
                                   keys)
          ->Unit(us);
      benchmark::RegisterBenchmark(("mask/find-pass-" + count + "-keys/" + size.suffix).c_str(), Find, size.text, keys)
          ->Unit(us);
    }
  }

  for (const Size& size : {Size{"1MiB", OneMiB}, Size{"multi-byte-1MiB", MultiByteMiB}}) {
    benchmark::RegisterBenchmark((std::string("mask/AppendEscaped/") + size.suffix).c_str(), Escape, size.text, true)
        ->Unit(us);
    benchmark::RegisterBenchmark((std::string("mask/append-copy/") + size.suffix).c_str(), Escape, size.text, false)
        ->Unit(us);
  }

  AddColdCase("MaskInformation-4-keys", [] {
    auto* text = new std::string(Request());  // left to the end of the child process
    return std::function<void()>([text] { MaskAll(*text); });
  });
  AddColdCase("find-pass-4-keys", [] {
    auto* text = new std::string(Request());
    return std::function<void()>([text] { benchmark::DoNotOptimize(FindAll(*text)); });
  });
}
