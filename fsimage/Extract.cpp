#include "fsimage/Extract.h"

#include <set>
#include <string>
#include <vector>

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
  Extractor(const ImageReader& image, std::filesystem::path destination, const File* imageFile)
      : image_(image), destination_(std::move(destination)), imageFile_(imageFile) {}

  Result<ExtractStats> Run() {
    if (Status planned = Plan(); !planned) return planned.error();
    if (Status written = Write(); !written) return written.error();
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
      if (auto reason = UnsafeNameReason(name); !reason.empty()) {
        return MakeError(ErrorKind::Format, image_.source() + ": refusing to extract '" +
                                                PrintableName(item.path) + "': " +
                                                std::string(reason));
      }
      if (!names.emplace(ParentOf(item.path), name).second) {
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
        if (Status written = WriteFile(parentDirectory, name, planned); !written) return written;
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
    if (Status ok = RefuseExisting(parent, name, path, true); !ok) return ok.error();
    return parent.Subdirectory(name, Target(path));
  }

  Status WriteFile(Directory& parent, const std::string& name, const PlannedItem& planned) {
    if (Status ok = RefuseExisting(parent, name, planned.item.path, false); !ok) return ok;
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
    if (!written) return written;
    return output->Commit();
  }

  const ImageReader& image_;
  std::filesystem::path destination_;
  std::vector<PlannedItem> plan_;
  ExtractStats stats_;
  const File* imageFile_;
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

Result<ExtractStats> ExtractImage(const ImageReader& image,
                                  const std::filesystem::path& destination,
                                  const File* imageFile) {
  return Extractor(image, destination, imageFile).Run();
}

}  // namespace kivo::fs
