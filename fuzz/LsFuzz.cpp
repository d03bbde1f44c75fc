// Any bytes as a drive image, listed as `kivofs ls -R -l` lists it: the walk ends after no
// more items than the image can hold, every path prints without a control byte, every field
// formats, every walked path resolves or fails with a message, and a file's contents have
// its size.
#include "fsimage/Reader.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;
using namespace kivo::fs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = Input(data, size);
  auto reader = ImageReader::Open(Span(bytes), "fuzz.kid");
  if (!reader) return 0;
  auto root = reader->Resolve("/");
  Check(root.ok() && root->isRoot, "the root does not resolve");
  std::size_t visited = 0;
  kivo::Status walked = reader->Walk([&](const Located& item) -> kivo::Status {
    ++visited;
    for (char c : PrintableName(item.path)) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a control byte printed");
    Check(WeekdayName(item.entry.Date().weekday).size() == 3, "a weekday without its name");
    // Not checked for success: a name holding a separator, "." or a twin earlier in the same
    // directory makes a walked path name something else.
    auto again = reader->Resolve(item.path);
    if (again && (again->isRoot || again->entry.IsDirectory())) {
      auto items = reader->List(*again);
      Check(items || !items.error().message.empty(), "a list error without a message");
    }
    if (item.entry.IsFile()) {
      auto contents = reader->FileContents(item.entry, item.path);
      Check(!contents || contents->size() == item.entry.size, "contents of the wrong length");
    }
    return {};
  });
  // Each directory region is entered once and holds at most 117 slots.
  Check(visited <= (size / ClusterSize + 1) * SlotsPerDirectory, "the walk visited more items than the image holds");
  Check(walked || !walked.error().message.empty(), "a walk error without a message");
  return 0;
}
