#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <nlohmann/json.hpp>

#include "RuntimeSupport.h"
#include "ZuRuntime.h"

namespace {

constexpr char kConsoleEventLog[] = "ConsoleEvents.log";

// Appends the text as a JSON string. Texts are the caller's bytes: invalid
// UTF-8 becomes U+FFFD, so every line stays JSON whatever an argument holds.
// Only a constructor and dump touch the JSON value: an allocation failing
// inside an assignment would leave it half-built for its destructor.
void AppendJsonText(std::string& out, const char* text) {
  const nlohmann::json value(text);
  out += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

// The arguments, already rendered as the JSON array's elements.
struct EvEvent::Impl {
  std::string args;
};

EvEvent::EvEvent() : impl_(new (std::nothrow) Impl) {}

EvEvent::~EvEvent() { delete impl_; }

void EvEvent::setLocaleId(unsigned long localeId) { localeId_ = localeId; }

void EvEvent::addArgument(const void* value, int type) {
  if (impl_ == nullptr) return;
  try {
    std::string& args = impl_->args;
    if (!args.empty()) args += ',';
    if (type == kText) {
      AppendJsonText(args, value != nullptr ? static_cast<const char*>(value) : "");
    } else if (type == kInteger64 && value != nullptr) {
      const unsigned char* bytes = static_cast<const unsigned char*>(value);
      std::uint64_t bits = 0;
      for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
      long long number = static_cast<long long>(bits);
      char digits[24];
      int length = std::snprintf(digits, sizeof digits, "%lld", number);
      args.append(digits, static_cast<std::size_t>(length));
    } else {
      args += "null";
    }
  } catch (...) {
    // An argument that cannot be stored is dropped with the rest of a failed event.
  }
}

void EvEvent::InfoEvent(int eventId, long long /*reserved*/, int /*flags*/) { raise("information", eventId); }

void EvEvent::CriticalEvent(int eventId, long long /*reserved*/, int /*flags*/) { raise("critical", eventId); }

void EvEvent::raise(const char* severity, int eventId) {
  try {
    char head[128];
    int headLength = std::snprintf(head, sizeof head, "{\"severity\":\"%s\",\"eventId\":%d,\"localeId\":%lu,\"args\":[",
                                   severity, eventId, localeId_);
    if (headLength < 0 || static_cast<std::size_t>(headLength) >= sizeof head) return;
    std::string line;
    const std::string* args = impl_ != nullptr ? &impl_->args : nullptr;
    line.reserve(static_cast<std::size_t>(headLength) + (args ? args->size() : 0) + 3);
    line.append(head, static_cast<std::size_t>(headLength));
    if (args != nullptr) line += *args;
    line += "]}\n";
    int fd = zu_runtime::OpenAppend(zu_runtime::LogDirectory(), kConsoleEventLog);
    if (fd < 0) return;
    zu_runtime::WriteOnce(fd, line.data(), line.size());
    ::close(fd);
  } catch (...) {
    // Console events are best effort: a failure is dropped.
  }
}

void littleEndianLongLong(long long* value) {
  if (value == nullptr) return;
  // Spelled out byte by byte so it holds on any host; compilers fold it to
  // nothing on little-endian ones.
  std::uint64_t bits = static_cast<std::uint64_t>(*value);
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  std::memcpy(value, bytes, sizeof bytes);
}
