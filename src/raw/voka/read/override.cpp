#include "raw/voka/read/override.h"

#include <algorithm>
#include <compare>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/little_endian.h"
#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/stored_path.h"
#include "raw/voka/read/table/table.h"
#include "tarn/pak/metadata.h"

namespace quellan::raw::voka::read {

namespace {

using table::Record;
using table::StoredPath;

// Whether `record` names content of the module in `folder`.
bool is_content_of(const Record& record, std::string_view folder) { return record.classify().is_content_of(folder); }

// A folder's length and its first bytes, up to a word of them: equal for two
// folders of at most a word exactly when the folders are.
class FolderKey {
 public:
  explicit FolderKey(std::string_view folder) : FolderKey(folder.size(), first_word(folder)) {}

  /// The key of a folder read in place from a table record, whose bytes go on
  /// for at least a word from the folder's first: one load.
  static FolderKey of_folder_in_record(std::string_view folder) {
    const std::uint64_t word = common::load_little_endian<std::uint64_t>(folder.data());
    if (folder.size() >= WORD) return {folder.size(), word};
    return {folder.size(), word & ((std::uint64_t{1} << (8 * folder.size())) - 1)};
  }

  /// A key that no folder has.
  static FolderKey none() { return {std::string_view::npos, 0}; }

  /// How many first bytes of a folder the key holds.
  std::size_t known_bytes() const { return std::min(size_, WORD); }
  /// Whether the key holds the whole folder, which it then tells apart from any other.
  bool holds_whole_folder() const { return size_ <= WORD; }

  auto operator<=>(const FolderKey&) const = default;

 private:
  static constexpr std::size_t WORD = sizeof(std::uint64_t);

  FolderKey(std::size_t size, std::uint64_t head) : size_(size), head_(head) {}

  // The first bytes of `folder`, up to a word of them, as one integer, read
  // without touching a byte past its end.
  static std::uint64_t first_word(std::string_view folder) {
    const char* bytes = folder.data();
    const std::size_t size = folder.size();
    if (size >= WORD) return common::load_little_endian<std::uint64_t>(bytes);
    if (size >= sizeof(std::uint32_t)) {
      // Two halves that overlap: the shared bytes agree, so or-ing them is exact.
      const std::uint64_t low = common::load_little_endian<std::uint32_t>(bytes);
      const std::uint64_t high = common::load_little_endian<std::uint32_t>(bytes + size - sizeof(std::uint32_t));
      return low | (high << (8 * (size - sizeof(std::uint32_t))));
    }
    if (size == 0) return 0;
    // One to three bytes: the first, the middle and the last hold them all.
    return byte_at(folder, 0) | byte_at(folder, size / 2) | byte_at(folder, size - 1);
  }

  // The byte at `at` of `folder`, placed where it stands in a little-endian word.
  static std::uint64_t byte_at(std::string_view folder, std::size_t at) {
    return std::uint64_t{static_cast<unsigned char>(folder[at])} << (8 * at);
  }

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
  [[gnu::always_inline]] void note(const StoredPath& path) {
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
error::Result<bool> has_content_among_first(const table::Table& table, PackageReader& reader, std::size_t count,
                                            std::string_view folder) {
  auto walk = table.walk(reader);
  if (!walk) return std::unexpected(std::move(walk.error()));
  std::size_t index = 0;
  for (table::RecordWalk::Item& record : *walk) {
    if (index++ == count) break;
    if (!record) return std::unexpected(std::move(record.error()));
    if (is_content_of(*record, folder)) return true;
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
    std::size_t index = 0;
    for (table::RecordWalk::Item& record : walk_) {
      if (!record) return std::unexpected(std::move(record.error()));
      if (auto settled = visit(*record, index++)) return after_early_stop(std::move(*settled));
    }
    // No description: nothing is any module's content.
    if (!folder_) return true;
    if (seen_.complete()) return true;
    auto content = has_content_among_first(table_, reader_, description_index_, *folder_);
    if (!content) return content;
    return !*content;
  }

 private:
  // The answer when the record at `index` settles it; none when the walk goes on.
  std::optional<error::Result<bool>> visit(const Record& record, std::size_t index) {
    if (folder_) {
      if (is_content_of(record, *folder_)) return false;
      return std::nullopt;
    }
    const StoredPath path = record.classify();
    if (path.kind != StoredPath::Kind::description) {
      seen_.note(path);
      return std::nullopt;
    }
    // Only the first description is read; later ones are never decoded.
    auto folder = described_folder(record, reader_);
    if (!folder) return std::unexpected(std::move(folder.error()));
    if (!*folder) return true;
    if (seen_.content_of(**folder)) return false;
    folder_ = std::move(*folder);
    description_index_ = index;
    return std::nullopt;
  }

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
  return !table::classify_stored_path(path).is_content_of(folder);
}

error::Result<bool> is_override(std::string path) {
  auto reader = open_pak_validating_header(path);
  if (!reader) return std::unexpected(std::move(reader.error()));
  auto table = table::Table::read_from(*reader);
  if (!table) return std::unexpected(std::move(table.error()));
  auto walk = table->walk(*reader);
  if (!walk) return std::unexpected(std::move(walk.error()));
  return OverrideWalk(*table, std::move(*walk), *reader).answer();
}

}  // namespace quellan::raw::voka::read
