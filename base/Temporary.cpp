// The names of temporaries and the list of those being written, the same on every host; the
// host files remove a listed one (RemoveNamed) and call RemoveRemembered when interrupted.
#include "base/Temporary.h"

#include <array>
#include <atomic>
#include <cstddef>

namespace kivo::temporary {

// Removes the temporary `name` relative to `directory`; called from a signal handler.
void RemoveNamed(int directory, const char* name);

namespace {

// Outputs open at once: an attach's ROM and drives and a dependency file at the most.
constexpr std::size_t SlotCount = 16;
// A name longer than this is not listed; the next run removes it.
constexpr std::size_t NameCapacity = 4096;

// One listed temporary. A signal handler may read it while the program changes it: the
// writer makes `version` odd while it changes the rest, and the reader uses what it copied
// only when `version` was even and the same before and after.
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<unsigned> version{0};
  int directory = -1;
  std::array<char, NameCapacity> name{};
};

std::array<Slot, SlotCount> slots;

static_assert(std::atomic<unsigned>::is_always_lock_free, "read inside a signal handler");

void Store(Slot& slot, int directory, std::string_view name) {
  slot.version.fetch_add(1, std::memory_order_acq_rel);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot.directory = directory;
  name.copy(slot.name.data(), name.size());
  slot.name[name.size()] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot.version.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace

std::string NameFor(std::string_view target, unsigned number) {
  return "." + std::string(target) + "." + std::to_string(number) + ".tmp";
}

bool IsNameFor(std::string_view name, std::string_view target) {
  constexpr std::string_view Suffix = ".tmp";
  const std::size_t prefix = 1 + target.size() + 1;
  if (name.size() <= prefix + Suffix.size() || name[0] != '.' ||
      name.substr(1, target.size()) != target || name[prefix - 1] != '.' ||
      !name.ends_with(Suffix)) {
    return false;
  }
  std::string_view digits = name.substr(prefix, name.size() - prefix - Suffix.size());
  return digits.size() <= 9 && digits.find_first_not_of("0123456789") == std::string_view::npos;
}

int Remember(int directory, const std::string& name) {
  if (name.size() >= NameCapacity) return -1;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    bool free = false;
    if (slots[i].taken.compare_exchange_strong(free, true)) {
      Store(slots[i], directory, name);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void Forget(int slot) {
  if (slot < 0) return;
  Store(slots[static_cast<std::size_t>(slot)], -1, "");
  slots[static_cast<std::size_t>(slot)].taken.store(false);
}

void RemoveRemembered() {
  std::array<char, NameCapacity> name;
  for (Slot& slot : slots) {
    unsigned before = slot.version.load(std::memory_order_acquire);
    if (before % 2 != 0) continue;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    int directory = slot.directory;
    // Copied by hand: the library's copy is not promised to be safe in a signal handler.
    for (std::size_t i = 0; i < name.size(); ++i) {
      name[i] = slot.name[i];
      if (name[i] == '\0') break;
    }
    name.back() = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (slot.version.load(std::memory_order_acquire) != before || name[0] == '\0') continue;
    RemoveNamed(directory, name.data());
  }
}

}  // namespace kivo::temporary
