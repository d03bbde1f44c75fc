// Any bytes as a drive image, listed as `kivofs ls -R` and `ls -l` do: the walk must end,
// every path it reports must resolve again, and every field must format.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fsimage/Reader.h"
#include "fuzz/FuzzSupport.h"

using kivo::fuzz::Check;

namespace {

void FormatLong(const kivo::fs::DirEntry& e, const std::string& path) {
  kivo::fs::EntryDate date = e.Date();
  std::string shown = kivo::fs::PrintableName(path);
  for (char c : shown) {
    auto byte = static_cast<unsigned char>(c);
    Check(byte >= 0x20 && byte != 0x7F, "a control byte survived PrintableName");
  }
  char text[160];
  std::snprintf(text, sizeof text, "%10u %04u-%02u-%02u %s %02u:%02u:%02u %10u %s", e.size,
                date.year, date.month + 1, date.day,
                std::string(kivo::fs::WeekdayName(date.weekday)).c_str(), unsigned{e.hour},
                unsigned{e.minute}, unsigned{e.second}, e.firstCluster, shown.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo::ByteSpan bytes = kivo::fuzz::AsBytes(data, size);
  auto reader = kivo::fs::ImageReader::Open(bytes, "fuzz.kid");
  if (!reader) return 0;

  auto root = reader->Resolve("/");
  Check(root.ok() && root->isRoot, "the root does not resolve");
  auto listed = reader->List(*root);
  if (listed) {
    for (const kivo::fs::Slot& slot : *listed) {
      Check(!slot.empty, "List returned an empty slot");
      FormatLong(slot.entry, slot.entry.name);
    }
  }

  std::size_t visited = 0;
  kivo::Status walked = reader->Walk([&](const kivo::fs::Located& item) -> kivo::Status {
    ++visited;
    FormatLong(item.entry, item.path);
    // Not checked for success: a name holding a separator, "." or a case-insensitive twin
    // earlier in the same directory makes a walked path name something else.
    auto again = reader->Resolve(item.path);
    if (again && (again->isRoot || again->entry.IsDirectory())) {
      auto items = reader->List(*again);
      if (!items) Check(!items.error().message.empty(), "a list error without a message");
    }
    if (item.entry.IsFile()) {
      auto contents = reader->FileContents(item.entry, item.path);
      if (contents) Check(contents->size() == item.entry.size, "contents of the wrong length");
    }
    return {};
  });
  // Each directory region is entered once and holds at most 117 slots.
  Check(visited <= (size / kivo::fs::ClusterSize + 1) * kivo::fs::SlotsPerDirectory,
        "the walk visited more items than the image can hold");
  if (!walked) Check(!walked.error().message.empty(), "a walk error without a message");
  return 0;
}
