#include "fsimage/Extract.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/Host.h"

namespace kivo::fs {
namespace {

struct PlannedItem {
  Located item;
  ByteSpan contents;  // files only
};

std::string ParentOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Extractor {
 public:
  Extractor(const ImageReader& image, std::filesystem::path destination, const File* imageFile,
            bool setTimes)
      : image_(image),
        destination_(std::move(destination)),
        imageFile_(imageFile),
        setTimes_(setTimes) {}

  Result<ExtractStats> Run() {
    KIVO_TRY(Plan());
    KIVO_TRY(Write());
    return stats_;
  }

 private:
  std::filesystem::path Target(const std::string& path) const {
    return destination_ / PrintableName(path);
  }

  Status Plan() {
    std::set<std::pair<std::string, std::string>> names;
    return image_.Walk([&](const Located& item) -> Status {
      const std::string& name = item.entry.name;
      std::string_view reason = UnsafeNameReason(name);
#ifdef _WIN32
      if (reason.empty()) reason = WindowsNameReason(name);
#endif
      if (!reason.empty()) {
        return MakeError(ErrorKind::Format, image_.source() + ": refusing to extract '" +
                                                PrintableName(item.path) + "': " +
                                                std::string(reason));
      }
      std::string key = name;
#ifdef _WIN32
      // Windows does not tell names apart by letter case: the second would replace the first.
      for (char& c : key) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
#endif
      if (!names.emplace(ParentOf(item.path), key).second) {
        return MakeError(ErrorKind::Format, image_.source() + ": '" + PrintableName(item.path) +
                                                "' appears twice in its directory");
      }
      PlannedItem planned{item, {}};
      if (item.entry.IsFile()) {
        auto contents = image_.FileContents(item.entry, item.path);
        if (!contents) return contents.error();
        planned.contents = *contents;
      } else if (!item.entry.IsDirectory()) {
        return MakeError(ErrorKind::Format, image_.source() + ": '" + PrintableName(item.path) +
                                                "' has the unknown kind " +
                                                std::to_string(item.entry.kind));
      }
      plan_.push_back(std::move(planned));
      return {};
    });
  }

  Status Write() {
    auto top = Directory::Create(destination_);
    if (!top) return top.error();
    // The open directories along the current path: items come depth-first, so an item's
    // parent is always on this stack. Working relative to these directories means no path is
    // ever resolved through a link that could lead outside the destination.
    std::vector<std::pair<std::string, Directory>> open;
    open.emplace_back(std::string(), std::move(*top));
    for (const PlannedItem& planned : plan_) {
      std::string parent = ParentOf(planned.item.path);
      while (open.back().first != parent) open.pop_back();
      Directory& parentDirectory = open.back().second;
      std::string name = NameOf(planned.item.path);
      if (planned.item.entry.IsDirectory()) {
        auto made = MakeDirectory(parentDirectory, name, planned.item.path);
        if (!made) return made.error();
        open.emplace_back(planned.item.path, std::move(*made));
        ++stats_.directories;
      } else {
        KIVO_TRY(WriteFile(parentDirectory, name, planned));
        ++stats_.files;
        stats_.bytes += planned.contents.size();
      }
    }
    return {};
  }

  // Refuses what is in the way of `name`: a link (never followed), or an item of the other kind.
  Status RefuseExisting(const Directory& parent, const std::string& name, const std::string& path,
                        bool wantDirectory) const {
    using Type = Directory::EntryType;
    auto type = parent.TypeOf(name, Target(path));
    if (!type) return type.error();
    auto refuse = [&](const std::string& message) {
      return MakeError(ErrorKind::NotRegular, message, Target(path));
    };
    if (*type == Type::Link) {
      return refuse("refusing to write through the symbolic link " + Quoted(Target(path)));
    }
    if (wantDirectory && *type != Type::None && *type != Type::Directory) {
      return refuse("cannot write " + Quoted(Target(path)) + ": it exists and is not a directory");
    }
    if (!wantDirectory && *type != Type::None && *type != Type::Regular) {
      return refuse("cannot write " + Quoted(Target(path)) +
                    ": it exists and is not a regular file");
    }
    return {};
  }

  Result<Directory> MakeDirectory(Directory& parent, const std::string& name,
                                  const std::string& path) {
    KIVO_TRY(RefuseExisting(parent, name, path, true));
    return parent.Subdirectory(name, Target(path));
  }

  Status WriteFile(Directory& parent, const std::string& name, const PlannedItem& planned) {
    KIVO_TRY(RefuseExisting(parent, name, planned.item.path, false));
    auto output = parent.Output(name, Target(planned.item.path));
    if (!output) return output.error();
    ByteSpan contents = planned.contents;
    Status written;
    if (imageFile_ != nullptr) {
      // The kernel copies straight from the image file, without faulting its pages into this
      // process; the mapped bytes are the fallback.
      auto offset = static_cast<std::uint64_t>(contents.data() - image_.bytes().data());
      written = output->CopyFrom(*imageFile_, offset, contents.size(), 0);
    }
    if (imageFile_ == nullptr || !written) written = output->WriteAt(0, contents);
    KIVO_TRY(written);
    if (setTimes_) {
      if (auto time = EntryTime(planned.item.entry)) output->SetModified(*time);
    }
    return output->Commit();
  }

  const ImageReader& image_;
  std::filesystem::path destination_;
  std::vector<PlannedItem> plan_;
  ExtractStats stats_;
  const File* imageFile_;
  bool setTimes_;
};

}  // namespace

std::string_view UnsafeNameReason(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name == "." || name == "..") return "the name is '.' or '..'";
  for (char c : name) {
    if (c == '/' || c == '\\') return "the name holds a '/' or '\\'";
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "the name holds a control character";
  }
  return {};
}

std::string_view WindowsNameReason(std::string_view name) {
  if (name.find_first_of("<>:\"|?*") != std::string_view::npos) {
    return "Windows does not allow < > : \" | ? * in a name";
  }
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
    return "Windows drops a trailing dot or space from a name";
  }
  // The device is named by what comes before the first dot, trailing blanks ignored.
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  std::string upper(stem);
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  static constexpr std::string_view Devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  bool device = std::find(std::begin(Devices), std::end(Devices), upper) != std::end(Devices);
  // COM1 to COM9 and LPT1 to LPT9, and with the superscript digits 1, 2 and 3 in UTF-8.
  if (upper.starts_with("COM") || upper.starts_with("LPT")) {
    std::string_view digit = std::string_view(upper).substr(3);
    device = device || (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') ||
             digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
  }
  return device ? "the name is a device on Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9)"
                : "";
}

Result<ExtractStats> ExtractImage(const ImageReader& image,
                                  const std::filesystem::path& destination,
                                  const File* imageFile, bool setTimes) {
  return Extractor(image, destination, imageFile, setTimes).Run();
}

std::optional<std::time_t> EntryTime(const DirEntry& entry) {
  const EntryDate date = entry.Date();
  std::tm local{};
  local.tm_year = static_cast<int>(date.year) - 1900;
  local.tm_mon = static_cast<int>(date.month);
  local.tm_mday = static_cast<int>(date.day);
  local.tm_hour = entry.hour;
  local.tm_min = entry.minute;
  local.tm_sec = entry.second;
  return SecondsOfLocalTime(local);
}

}  // namespace kivo::fs
