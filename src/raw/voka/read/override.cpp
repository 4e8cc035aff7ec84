#include "raw/voka/read/override.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
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

// Whether `record` names content of the module in `folder`. Only paths under
// the module folders can be, so most names of a large override package are
// ruled out by their first byte, before their end is looked for.
bool is_content_of(const Record& record, std::string_view folder) {
  return record.may_be_module_path() && table::classify_stored_path(record.name()).is_content_of(folder);
}

// The folders whose module the paths met before the description would have
// content of, kept until the description names its folder. Override packages
// put thousands of paths under a handful of game folders; a package with more
// folders than kept is walked again instead.
//
// The kept folders are ordered, by length and then by their bytes, and found by
// a binary search: at most 7 steps however alike they are, where a hash could be
// made to collide by a hostile package. The lengths settle most steps; among
// folders of one length, the search remembers how many first bytes the folder
// shares with the bounds it has met, so that near-identical folders are not
// compared from their first byte at every step. Packages put their paths in
// runs under one folder, thousands of them under a handful of game folders or
// millions under one folder past the kept ones, so the folder noted last is
// remembered: a path under it costs one comparison.
class ContentSeen {
 public:
  /// Notes a path met before the description.
  void note(const StoredPath& path) {
    if (path.kind == StoredPath::Kind::shared_content) every_folder_ = true;
    if (path.kind != StoredPath::Kind::content || (last_noted_ && path.folder == *last_noted_)) return;
    last_noted_ = path.folder;
    const auto [at, kept] = find(path.folder);
    if (kept) return;
    if (folders_.size() == MAX_FOLDERS) {
      complete_ = false;
    } else {
      folders_.emplace(at, path.folder);
    }
  }

  /// Whether some path met is content of the module in `folder`; when not
  /// complete, a path met but not kept may be.
  bool content_of(std::string_view folder) const {
    return every_folder_ || find(folder).second;
  }
  bool complete() const { return complete_; }

 private:
  static constexpr std::size_t MAX_FOLDERS = 64;
  using Folders = std::vector<std::string>;

  using Position = Folders::const_iterator;

  // Where `folder` is kept, or where it would go, and whether it is kept.
  std::pair<Position, bool> find(std::string_view folder) const {
    const auto [first, last] = std::ranges::equal_range(folders_, folder.size(), {},
                                                         [](const std::string& kept) { return kept.size(); });
    if (first == last) return {first, false};
    return find_among_one_length(folder, first, last);
  }

  // How `folder` compares with `kept`, as long as it, when both share their
  // first `from` bytes: how many bytes they share, and whether `folder` comes
  // first at the one that differs.
  struct Comparison {
    std::size_t shared;
    bool before;
  };
  static Comparison compare_from(std::string_view folder, std::string_view kept, std::size_t from) {
    const std::size_t shared = shared_bytes_from(folder, kept, from);
    return {shared, shared < folder.size() &&
                        static_cast<unsigned char>(folder[shared]) < static_cast<unsigned char>(kept[shared])};
  }

  // How many first bytes `a` and `b`, of one length, share, knowing the first
  // `from`: compared a word at a time, since hostile folders are long and alike.
  static std::size_t shared_bytes_from(std::string_view a, std::string_view b, std::size_t from) {
    std::size_t at = from;
    for (; at + sizeof(std::uint64_t) <= a.size(); at += sizeof(std::uint64_t)) {
      const auto differing = common::load_little_endian<std::uint64_t>(a.data() + at) ^
                             common::load_little_endian<std::uint64_t>(b.data() + at);
      if (differing != 0) return at + static_cast<std::size_t>(std::countr_zero(differing)) / 8;
    }
    while (at < a.size() && a[at] == b[at]) ++at;
    return at;
  }

  // `find` among the kept folders in [first, last), all as long as `folder`.
  // Every folder between two others shares with `folder` at least the bytes
  // that both of them share with it, so once the folders at both ends are
  // compared, each step compares from there on.
  static std::pair<Position, bool> find_among_one_length(std::string_view folder, Position first, Position last) {
    Comparison low = compare_from(folder, *first, 0);
    if (low.shared == folder.size()) return {first, true};
    if (low.before) return {first, false};
    Comparison high = compare_from(folder, *(last - 1), 0);
    if (high.shared == folder.size()) return {last - 1, true};
    if (!high.before) return {last, false};
    // Between the two: the search is among (first, last - 1).
    ++first;
    --last;
    while (first != last) {
      const Position middle = first + (last - first) / 2;
      const Comparison here = compare_from(folder, *middle, std::min(low.shared, high.shared));
      if (here.shared == folder.size()) return {middle, true};
      if (here.before) {
        last = middle;
        high = here;
      } else {
        first = middle + 1;
        low = here;
      }
    }
    return {first, false};
  }

  Folders folders_;  // by length, then by bytes
  std::optional<std::string> last_noted_;  // paths come in runs under one folder
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
    if (!record.may_be_module_path()) return std::nullopt;
    const StoredPath path = table::classify_stored_path(record.name());
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
