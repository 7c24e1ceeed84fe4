// zu-request diff: two requests compared fact by fact, on the facts show
// prints. Passwords and the authorization code differ only as "changed".
#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <unordered_map>

#include "Commands.h"
#include "RequestFacts.h"
#include "ZUInstallUtils.h"

namespace zutool {

namespace {

constexpr std::size_t kUnmatched = static_cast<std::size_t>(-1);

// Tells whether two stored passwords hold the same text: V8 and V3 texts of
// one password differ by their nonce, so a differing pair is decrypted.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (a.empty() || b.empty()) return false;
  const auto plain = [](const std::string& stored) {
    char* text = nullptr;
    char error[1024] = {};
    std::unique_ptr<char[]> owned(ZUDecryptPassword(stored.c_str(), &text, error) == 0 ? text : nullptr);
    return owned;
  };
  const std::unique_ptr<char[]> left = plain(a);
  const std::unique_ptr<char[]> right = plain(b);
  return left != nullptr && right != nullptr && std::strcmp(left.get(), right.get()) == 0;
}

// Writes the differences as they are found: text lines straight out; JSON
// changes kept as text, since the document says whether any came first.
class Differences {
 public:
  explicit Differences(bool asJson) : asJson_(asJson) {}

  // Compares two sections built by the same function, so their facts line up.
  void Compare(const std::string& where, const Json& section, const Section& a, const Section& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      const Fact& left = a[i];
      const Fact& right = b[i];
      if (!left.secret.empty() || !right.secret.empty()) {
        if (left.value == right.value && SameSecret(left.secret, right.secret)) continue;
      } else if (left.value == right.value) {
        continue;
      }
      Json change = section;
      change["fact"] = left.key;
      std::string line = where + ": " + left.label + ": ";
      if (!left.secret.empty() || !right.secret.empty()) {
        change["change"] = "changed";
        line += "changed";
      } else if (left.value.is_null()) {
        change["change"] = "added";
        change["b"] = right.value;
        line += "added " + Shown(right);
      } else if (right.value.is_null()) {
        change["change"] = "removed";
        change["a"] = left.value;
        line += "removed " + Shown(left);
      } else {
        change["change"] = "changed";
        change["a"] = left.value;
        change["b"] = right.value;
        line += Shown(left) + " -> " + Shown(right);
      }
      Add(line, change);
    }
  }

  void Add(const std::string& line, const Json& change) {
    if (asJson_) {
      changes_ += (any_ ? "," : "") + JsonText(change);
    } else {
      std::cout << line << '\n';
    }
    any_ = true;
  }

  bool empty() const { return !any_; }
  // The JSON changes, comma-separated.
  const std::string& changes() const { return changes_; }

 private:
  bool asJson_;
  bool any_ = false;
  std::string changes_;
};

// The clients of b that carry one key, in order, and how far they are used
// up: a client once taken stays taken, so the cursor only moves forward.
struct Queue {
  std::vector<std::size_t> clients;
  std::size_t next = 0;
};

// Returns the first client of the queue that is not taken, or kUnmatched.
std::size_t Front(Queue* queue, const std::vector<bool>& taken) {
  if (queue == nullptr) return kUnmatched;
  while (queue->next < queue->clients.size() && taken[queue->clients[queue->next]]) ++queue->next;
  return queue->next < queue->clients.size() ? queue->clients[queue->next] : kUnmatched;
}

Queue* Find(std::unordered_map<std::string, Queue>& queues, const std::string& key) {
  const auto found = queues.find(key);
  return found == queues.end() ? nullptr : &found->second;
}

// Pairs each client of `a` with one of `b`, each in document order: by GUID
// where both have one, then by name where either lacks a GUID, then by
// position among the clients that have neither. Hash maps keep it linear in
// the clients. Returns b's index per client of a.
std::vector<std::size_t> MatchClients(const std::vector<ClientKey>& a, const std::vector<ClientKey>& b) {
  std::vector<std::size_t> match(a.size(), kUnmatched);
  std::vector<bool> taken(b.size(), false);
  const auto pair = [&](std::size_t i, std::size_t j) {
    match[i] = j;
    taken[j] = true;
  };
  // Names split by whether the client of b has a GUID: a client of a with a
  // GUID may only pair by name with one of b without.
  std::unordered_map<std::string, Queue> byGuid, namedWithGuid, namedWithoutGuid;
  Queue anonymous;
  for (std::size_t j = 0; j < b.size(); ++j) {
    const std::string &guid = b[j].guid, &name = b[j].name;
    if (!guid.empty()) byGuid[guid].clients.push_back(j);
    if (!name.empty()) (guid.empty() ? namedWithoutGuid : namedWithGuid)[name].clients.push_back(j);
    if (guid.empty() && name.empty()) anonymous.clients.push_back(j);
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::string& guid = a[i].guid;
    if (const std::size_t j = Front(Find(byGuid, guid), taken); !guid.empty() && j != kUnmatched) pair(i, j);
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::string &guid = a[i].guid, &name = a[i].name;
    if (match[i] != kUnmatched || name.empty()) continue;
    const std::size_t without = Front(Find(namedWithoutGuid, name), taken);
    const std::size_t with = guid.empty() ? Front(Find(namedWithGuid, name), taken) : kUnmatched;
    if (const std::size_t j = std::min(without, with); j != kUnmatched) pair(i, j);
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (match[i] != kUnmatched || !a[i].guid.empty() || !a[i].name.empty()) continue;
    if (const std::size_t j = Front(&anonymous, taken); j != kUnmatched) pair(i, j);
  }
  return match;
}

// A client as people name it: its name, else its GUID, else its place.
std::string ClientName(const ClientKey& key, std::size_t index) {
  if (!key.name.empty()) return Printable(key.name);
  if (!key.guid.empty()) return Printable(key.guid);
  return "#" + std::to_string(index);
}

std::vector<ClientKey> Keys(ZUInstallManager::ClientSetup* request) {
  std::vector<ClientKey> keys(ClientCount(request));
  for (std::size_t index = 0; index < keys.size(); ++index) keys[index] = KeyOf(request, index);
  return keys;
}

// Compares the requests a client pair at a time: only the keys of all
// clients are held, never every client's facts.
void Compare(ZUInstallManager::ClientSetup* a, ZUInstallManager::ClientSetup* b, Differences& differences) {
  differences.Compare("request", Json{{"section", "request"}}, RequestFacts(a), RequestFacts(b));
  differences.Compare("central server", Json{{"section", "server"}}, ServerFacts(a), ServerFacts(b));
  const std::vector<ClientKey> keysA = Keys(a), keysB = Keys(b);
  const std::vector<std::size_t> match = MatchClients(keysA, keysB);
  std::vector<bool> matched(keysB.size(), false);
  const auto whole = [&](const ClientKey& key, std::size_t index, const char* change) {
    const std::string name = ClientName(key, index);
    differences.Add("client " + name + ": " + change,
                    Json{{"section", "client"}, {"client", name}, {"change", change}});
  };
  for (std::size_t i = 0; i < keysA.size(); ++i) {
    if (match[i] == kUnmatched) {
      whole(keysA[i], i, "removed");
      continue;
    }
    matched[match[i]] = true;
    const std::string name = ClientName(keysA[i], i);
    differences.Compare("client " + name, Json{{"section", "client"}, {"client", name}}, ClientFacts(a, i),
                        ClientFacts(b, match[i]));
  }
  for (std::size_t j = 0; j < keysB.size(); ++j) {
    if (!matched[j]) whole(keysB[j], j, "added");
  }
}

}  // namespace

int Diff(const Args& args) {
  Parsed parsed;
  if (const std::optional<int> exit = ParseOptions("diff", args, {{"json", false}}, parsed)) return *exit;
  if (parsed.operands.size() != 2) return UsageError("diff: expects two files, A and B");
  if (parsed.operands[0] == "-" && parsed.operands[1] == "-") {
    return UsageError("diff: standard input cannot be read twice");
  }
  // Trouble is exit 2 here, as for diff(1): 1 means the requests differ.
  ZUInstallManager::ClientSetup requests[2];
  bool loaded = true;
  for (std::size_t i = 0; i < 2; ++i) loaded = LoadRequest(parsed.operands[i], requests[i]) && loaded;
  if (!loaded) return kUsage;
  const bool asJson = parsed.options.count("json") != 0;
  Differences differences(asJson);
  Compare(&requests[0], &requests[1], differences);
  if (asJson) {
    std::cout << "{\"a\":" << JsonText(ShownName(parsed.operands[0]))
              << ",\"b\":" << JsonText(ShownName(parsed.operands[1]))
              << ",\"same\":" << (differences.empty() ? "true" : "false") << ",\"changes\":[" << differences.changes()
              << "]}\n";
  }
  std::cout.flush();
  if (!std::cout) return Fail("cannot write to standard output", kUsage);
  return differences.empty() ? kOk : kFailed;
}

}  // namespace zutool
