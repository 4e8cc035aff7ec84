#include "raw/voka/read/override.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/table.h"
#include "tarn/pak/metadata.h"

namespace quellan::raw::voka::read {

namespace {

using table::Record;

constexpr std::string_view MODS_FOLDER = "Mods/";
constexpr std::string_view PUBLIC_FOLDER = "Public/";
constexpr std::string_view SHARED_CONTENT_FOLDER = "Public/Engine/Timeline/MaterialGroups/";
constexpr std::string_view DESCRIPTION_FILE = "meta.kvt";

// What follows "<top><folder>/" in `path`, when `folder` is the whole segment
// after `top`; nothing otherwise. Byte comparisons only: no search for the end
// of the segment, since the byte after `folder` must be that end.
std::optional<std::string_view> rest_below(std::string_view path, std::string_view top, std::string_view folder) {
  if (!path.starts_with(top)) return std::nullopt;
  path.remove_prefix(top.size());
  if (path.size() <= folder.size() || path[folder.size()] != '/' || !path.starts_with(folder)) return std::nullopt;
  // A "/" inside `folder` would end the segment before it, so it never matches.
  if (folder.find('/') != std::string_view::npos) return std::nullopt;
  return path.substr(folder.size() + 1);
}

// Only paths under "Mods/" or "Public/" can be module content, so most names of
// a large override package are ruled out by their first byte, before their end
// is looked for.
bool may_be_content(const Record& record) {
  const char first = record.first_name_byte();
  return first == MODS_FOLDER.front() || first == PUBLIC_FOLDER.front();
}

// Whether `record` names content of the module in `folder`.
bool is_content_of(const Record& record, std::string_view folder) {
  return may_be_content(record) && !is_override_package_path(record.name(), folder);
}

// Whose module content a path is, told without knowing the module: the same
// rules as `is_override_package_path`, read the other way round.
struct ContentOwner {
  enum Kind { nobody, one_folder, every_folder } kind = nobody;
  std::string_view folder;
};

ContentOwner content_owner(std::string_view path) {
  if (path.starts_with(SHARED_CONTENT_FOLDER) && path.size() > SHARED_CONTENT_FOLDER.size()) {
    return {ContentOwner::every_folder, {}};
  }
  const bool below_mods = path.starts_with(MODS_FOLDER);
  if (!below_mods && !path.starts_with(PUBLIC_FOLDER)) return {};
  path.remove_prefix(below_mods ? MODS_FOLDER.size() : PUBLIC_FOLDER.size());
  const std::size_t end = path.find('/');
  if (end == std::string_view::npos) return {};
  const std::string_view rest = path.substr(end + 1);
  // The description beside a module's files is not content itself.
  if (rest.empty() || (below_mods && rest == DESCRIPTION_FILE)) return {};
  return {ContentOwner::one_folder, path.substr(0, end)};
}

// The folders whose module the paths met before the description would have
// content of, kept until the description names its folder. Override packages
// put thousands of paths under a handful of game folders; a package with more
// folders than kept is walked again instead.
class ContentSeen {
 public:
  /// Notes the name of a record that may be content.
  void note(std::string_view name) {
    const ContentOwner owner = content_owner(name);
    if (owner.kind == ContentOwner::every_folder) every_folder_ = true;
    if (owner.kind != ContentOwner::one_folder || holds(owner.folder)) return;
    if (folders_.size() == MAX_FOLDERS) {
      complete_ = false;
    } else {
      folders_.emplace_back(owner.folder);
    }
  }

  /// Whether some path met is content of the module in `folder`; when not
  /// complete, a path met but not kept may be.
  bool content_of(std::string_view folder) const { return every_folder_ || holds(folder); }
  bool complete() const { return complete_; }

 private:
  static constexpr std::size_t MAX_FOLDERS = 64;

  bool holds(std::string_view folder) const { return std::ranges::find(folders_, folder) != folders_.end(); }

  std::vector<std::string> folders_;
  bool every_folder_ = false;
  bool complete_ = true;
};

// The folder that the description of `record` names; none when it cannot be
// parsed: such a description names no module, so nothing is its content.
error::Result<std::optional<std::string>> described_folder(const Record& record, PackageReader& reader) {
  auto entry = record.entry_details();
  if (!entry) return std::unexpected(std::move(entry.error()));
  auto file = std::move(*entry).decompress_file(reader, ExtractionAllowance{});
  if (!file) return std::unexpected(std::move(file.error()));
  auto metadata = tarn::pak::Metadata::parse(file->data, tarn::pak::DependencyRecords::drop);
  if (!metadata) return std::nullopt;
  return std::move(metadata->module_info.folder);
}

// Whether a record among the first `count` of `table` is content of `folder`.
error::Result<bool> has_content_among_first(const table::Table& table, std::size_t count, std::string_view folder) {
  auto walk = table.walk();
  if (!walk) return std::unexpected(std::move(walk.error()));
  for (std::size_t index = 0; index < count; ++index) {
    auto record = walk->next();
    if (!record) return std::unexpected(std::move(record.error()));
    if (!*record) break;
    if (is_content_of(**record, folder)) return true;
  }
  return false;
}

// One walk over the table: paths before the first description are noted by the
// folders they would be content of, the description is read where it stands,
// and the paths after it are classified against its folder. Wherever the walk
// stops early, the rest of the block must still decode: a table that does not
// fails the test whatever was seen.
class OverrideWalk {
 public:
  OverrideWalk(const table::Table& table, table::RecordWalk walk, PackageReader& reader)
      : table_(table), walk_(std::move(walk)), reader_(reader) {}

  error::Result<bool> answer() {
    for (std::size_t index = 0;; ++index) {
      auto record = walk_.next();
      if (!record) return std::unexpected(std::move(record.error()));
      if (!*record) break;
      if (folder_) {
        if (is_content_of(**record, *folder_)) return after_early_stop(false);
      } else if (!may_be_content(**record)) {
        // Neither content nor a description, whose names start "Mods/".
        continue;
      } else if (const std::string_view name = (*record)->name(); !table::is_meta_entry_name(name)) {
        seen_.note(name);
      } else {
        auto folder = described_folder(**record, reader_);
        if (!folder) return after_early_stop(std::unexpected(std::move(folder.error())));
        if (!*folder) return after_early_stop(true);
        if (seen_.content_of(**folder)) return after_early_stop(false);
        folder_ = std::move(*folder);
        description_index_ = index;
      }
    }
    // No description: nothing is any module's content.
    if (!folder_) return true;
    if (seen_.complete()) return true;
    auto content = has_content_among_first(table_, description_index_, *folder_);
    if (!content) return content;
    return !*content;
  }

 private:
  error::Result<bool> after_early_stop(error::Result<bool> answer) {
    if (auto rest = walk_.check_rest(); !rest) return std::unexpected(std::move(rest.error()));
    return answer;
  }

  const table::Table& table_;
  table::RecordWalk walk_;
  PackageReader& reader_;
  ContentSeen seen_;
  std::optional<std::string> folder_;
  std::size_t description_index_ = 0;
};

}  // namespace

bool is_override_package_path(std::string_view path, std::string_view folder) noexcept {
  if (path.empty()) return true;
  if (auto rest = rest_below(path, MODS_FOLDER, folder); rest && !rest->empty()) {
    // The description lies beside the module's files but is not content itself.
    return *rest == DESCRIPTION_FILE;
  }
  if (!path.starts_with(PUBLIC_FOLDER)) return true;
  if (auto rest = rest_below(path, PUBLIC_FOLDER, folder); rest && !rest->empty()) return false;
  return !(path.starts_with(SHARED_CONTENT_FOLDER) && path.size() > SHARED_CONTENT_FOLDER.size());
}

error::Result<bool> is_override(std::string path) {
  auto reader = open_pak_validating_header(path);
  if (!reader) return std::unexpected(std::move(reader.error()));
  auto table = table::Table::read_from(*reader);
  if (!table) return std::unexpected(std::move(table.error()));
  auto walk = table->walk();
  if (!walk) return std::unexpected(std::move(walk.error()));
  // Only the first description is read; later ones are never decoded.
  return OverrideWalk(*table, std::move(*walk), *reader).answer();
}

}  // namespace quellan::raw::voka::read
