#include "raw/voka/read/override.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <compare>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/stored_path.h"
#include "raw/voka/read/table/table.h"
#include "tarn/pak/metadata.h"

namespace quellan::raw::voka::read {

namespace {

using table::Record;
using table::Rest;
using table::Step;
using table::StoredPath;

// Whether `record` names content of the module in `folder`.
bool is_content_of(const Record& record, std::string_view folder) { return record.classify().is_content_of(folder); }

// A folder's length and its first bytes, up to a word of them: equal for two
// folders of at most a word exactly when the folders are.
class FolderKey {
 public:
  /// The key of a folder held anywhere: its first bytes copied out.
  explicit FolderKey(std::string_view folder) : size_(folder.size()), head_(0) {
    std::memcpy(&head_, folder.data(), known_bytes());
  }

  /// The key of a folder read in place from a table record, whose bytes go on
  /// for at least a word from the folder's first: one load.
  static FolderKey of_folder_in_record(std::string_view folder) {
    return {folder.size(), common::low_bytes(common::load_word(folder.data()), folder.size())};
  }

  /// A key that no folder has.
  static FolderKey none() { return {std::string_view::npos, 0}; }

  /// How many first bytes of a folder the key holds.
  std::size_t known_bytes() const { return std::min(size_, common::WORD); }
  /// Whether the key holds the whole folder, which it then tells apart from any other.
  bool holds_whole_folder() const { return size_ <= common::WORD; }

  auto operator<=>(const FolderKey&) const = default;

 private:
  FolderKey(std::size_t size, std::uint64_t head) : size_(size), head_(head) {}

  std::size_t size_;
  std::uint64_t head_;
};

// The kept folders of one key, ordered by their bytes.
class FolderGroup {
 public:
  FolderGroup(FolderKey key, std::string_view folder)
      : key_(key), folders_{std::string(folder)}, shared_(folder.size()) {}

  const FolderKey& key() const { return key_; }

  /// Whether `folder`, of this group's key, is kept.
  bool holds(std::string_view folder) const {
    // The key holds the first bytes, which every folder of the group shares too.
    const std::size_t known = key_.known_bytes();
    if (shared_ > known && std::memcmp(folder.data() + known, folders_.front().data() + known, shared_ - known) != 0) {
      return false;
    }
    if (shared_ == folder.size()) return true;
    return std::ranges::binary_search(folders_, folder.substr(shared_), {},
                                      [this](const std::string& kept) { return past_shared(kept); });
  }

  /// Keeps `folder`, of this group's key and not kept yet.
  void keep(std::string_view folder) {
    folders_.emplace(std::ranges::lower_bound(folders_, folder), folder);
    // Ordered, the folders share what the first and the last share.
    const std::string_view first = folders_.front();
    shared_ = static_cast<std::size_t>(std::ranges::mismatch(first, folders_.back()).in1 - first.begin());
  }

 private:
  std::string_view past_shared(std::string_view folder) const { return folder.substr(shared_); }

  FolderKey key_;
  std::vector<std::string> folders_;
  std::size_t shared_;  // the first bytes every folder of the group holds alike
};

// The folders whose module the paths met before the description would have
// content of, kept until the description names its folder. Override packages
// put thousands of paths under a handful of game folders; a package with more
// folders than kept is walked again instead, so once one folder goes unkept no
// later path can change the answer, and none is looked up any more.
//
// The kept folders are grouped by their length and first word, which settle
// the lookup of almost every path in a few comparisons of integers. Folders
// that share both are ordered within their group and found by a binary search
// past the bytes the whole group shares: the near-identical folders a hostile
// package can make cost one comparison of those bytes and a few of what is
// left, where a hash could be made to collide.
class ContentSeen {
 public:
  /// Notes a path met before the description, read in place from its record
  /// (`Record::classify`).
  void note(const StoredPath& path) {
    if (path.kind == StoredPath::Kind::shared_content) every_folder_ = true;
    if (path.kind != StoredPath::Kind::content || !complete_) return;
    const FolderKey key = FolderKey::of_folder_in_record(path.folder);
    // Paths of one folder often come in runs.
    if (key == last_short_folder_) return;
    if (!holds(key, path.folder)) {
      if (kept_ == MAX_FOLDERS) {
        complete_ = false;
        return;
      }
      keep(key, path.folder);
    }
    if (key.holds_whole_folder()) last_short_folder_ = key;
  }

  /// Whether some path met is content of the module in `folder`; when not
  /// complete, a path met but not kept may be.
  bool content_of(std::string_view folder) const { return every_folder_ || holds(FolderKey(folder), folder); }
  bool complete() const { return complete_; }

 private:
  static constexpr std::size_t MAX_FOLDERS = 64;
  static constexpr std::size_t SCANNED_GROUPS = 8;

  bool holds(const FolderKey& key, std::string_view folder) const {
    const auto group = find_group(key);
    return group != groups_.end() && group->holds(folder);
  }

  // The group of `key`, if any. The handful of groups most packages make are
  // fewer than the steps of a search over them, so they are scanned.
  std::vector<FolderGroup>::const_iterator find_group(const FolderKey& key) const {
    if (groups_.size() <= SCANNED_GROUPS) return std::ranges::find(groups_, key, KEY_OF_GROUP);
    const auto group = std::ranges::lower_bound(groups_, key, {}, KEY_OF_GROUP);
    return group != groups_.end() && group->key() == key ? group : groups_.end();
  }

  void keep(const FolderKey& key, std::string_view folder) {
    const auto group = std::ranges::lower_bound(groups_, key, {}, KEY_OF_GROUP);
    if (group != groups_.end() && group->key() == key) {
      group->keep(folder);
    } else {
      groups_.emplace(group, key, folder);
    }
    ++kept_;
  }

  static constexpr auto KEY_OF_GROUP = [](const FolderGroup& group) -> const FolderKey& { return group.key(); };

  std::vector<FolderGroup> groups_;  // by key
  std::size_t kept_ = 0;
  // The last folder noted when its key tells it: kept.
  FolderKey last_short_folder_ = FolderKey::none();
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
// The first walk went through the whole table, so the rest is not checked again.
error::Result<bool> has_content_among_first(const table::Table& table, PackageReader& reader, std::size_t count,
                                            std::string_view folder) {
  auto walk = table.walk(reader);
  if (!walk) return std::unexpected(std::move(walk.error()));
  bool found = false;
  auto walked = walk->for_each(Rest::skip, [&, left = count](const Record& record) mutable {
    if (left-- == 0) return Step::stop;
    found = is_content_of(record, folder);
    return found ? Step::stop : Step::next;
  });
  if (!walked) return std::unexpected(std::move(walked.error()));
  return found;
}

// One walk over the table: paths before the first description are noted by the
// folders they would be content of, the description is read where it stands,
// and the paths after it are classified against its folder. Wherever the walk
// stops early, the rest of the block must still decode: a table that does not
// fails the test whatever was seen.
class OverrideWalk {
 public:
  OverrideWalk(const table::Table& table, PackageReader& reader) : table_(table), reader_(reader) {}

  error::Result<bool> answer() {
    auto walk = table_.walk(reader_);
    if (!walk) return std::unexpected(std::move(walk.error()));
    auto walked = walk->for_each(Rest::check, [this, index = std::size_t{0}](const Record& record) mutable {
      return visit(record, index++);
    });
    if (!walked) return std::unexpected(std::move(walked.error()));
    if (settled_) return std::move(*settled_);
    // No description: nothing is any module's content.
    if (!folder_) return true;
    if (seen_.complete()) return true;
    auto content = has_content_among_first(table_, reader_, description_index_, *folder_);
    if (!content) return content;
    return !*content;
  }

 private:
  // Stops the walk where the record at `index` settles the answer, or fails.
  Step visit(const Record& record, std::size_t index) {
    if (folder_) return is_content_of(record, *folder_) ? settle(false) : Step::next;
    const StoredPath path = record.classify();
    if (path.kind == StoredPath::Kind::description) return read_description(record, index);
    seen_.note(path);
    return Step::next;
  }

  // Only the first description is read; later ones are never decoded.
  Step read_description(const Record& record, std::size_t index) {
    auto folder = described_folder(record, reader_);
    if (!folder) return settle(std::unexpected(std::move(folder.error())));
    if (!*folder) return settle(true);
    if (seen_.content_of(**folder)) return settle(false);
    folder_ = std::move(*folder);
    description_index_ = index;
    return Step::next;
  }

  Step settle(error::Result<bool> answer) {
    settled_ = std::move(answer);
    return Step::stop;
  }

  const table::Table& table_;
  PackageReader& reader_;
  ContentSeen seen_;
  std::optional<std::string> folder_;
  std::size_t description_index_ = 0;
  std::optional<error::Result<bool>> settled_;
};

}  // namespace

bool is_override_package_path(std::string_view path, std::string_view folder) noexcept {
  // Read as the name of a record, by the rules the walks follow.
  assert(path.size() <= table::TABLE_NAME_SIZE && path.find('\0') == std::string_view::npos);
  std::array<char, table::TABLE_RECORD_SIZE> record{};
  std::ranges::copy(path.substr(0, table::TABLE_NAME_SIZE), record.begin());
  return !Record(record.data()).classify().is_content_of(folder);
}

error::Result<bool> is_override(std::string path) {
  auto reader = open_pak_validating_header(path);
  if (!reader) return std::unexpected(std::move(reader.error()));
  auto table = table::Table::read_from(*reader);
  if (!table) return std::unexpected(std::move(table.error()));
  return OverrideWalk(*table, *reader).answer();
}

}  // namespace quellan::raw::voka::read
