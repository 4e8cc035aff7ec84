#include "raw/voka/read/mod_info.h"

#include <optional>
#include <utility>

#include "raw/voka/entry_details.h"
#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/table.h"

namespace quellan::raw::voka::read {

namespace {

using table::OwnedRecord;
using table::Record;
using table::Rest;
using table::Step;

// Description records kept from the walk that checks the table, to be extracted
// once the whole block is known to be good. A package holds one as a rule; one
// with more than this is walked a second time instead, so that what a call
// keeps never grows with the records of a hostile table.
constexpr std::size_t KEPT_DESCRIPTION_RECORDS = 16;

// Calls `visit` on every record named like a description, in table order,
// until it stops the walk or fails, or the walk does.
template <class Visit>
error::Result<void> for_each_description_record(table::RecordWalk& walk, Rest rest, Visit&& visit) {
  return walk.for_each(rest, [&](const Record& record) {
    return record.has_meta_entry_name() ? visit(record) : Step::next;
  });
}

// Walks the whole table, keeping its description records in `kept` up to the
// bound, and tells whether there are more, to be read by a second walk. Once
// the bound is passed the rest of the block only has to be known good, which a
// check without output tells at a fraction of the cost: a hostile table of
// millions of descriptions decodes to gigabytes.
error::Result<bool> keep_description_records(const table::Table& table, PackageReader& reader,
                                             std::vector<OwnedRecord>& kept) {
  auto walk = table.walk(reader);
  if (!walk) return std::unexpected(std::move(walk.error()));
  bool more = false;
  auto walked = for_each_description_record(*walk, Rest::check, [&](const Record& record) {
    more = kept.size() == KEPT_DESCRIPTION_RECORDS;
    if (more) return Step::stop;
    kept.emplace_back(record);
    return Step::next;
  });
  if (!walked) return std::unexpected(std::move(walked.error()));
  return more;
}

// Extracts and parses descriptions one at a time, each released before the
// next, within one allowance for the whole call. Records may all point at the
// same stored bytes; a description read from exactly the bytes of the one
// before parses to the same record, so it is not read again but given as the
// same as the one before, at the same cost to the allowance. Callers keep the
// texts of a first description and check those of the later ones, never the
// other way, so the one before always has all the texts they need.
class DescriptionReader {
 public:
  DescriptionReader(PackageReader& reader, tarn::pak::DependencyRecords records)
      : reader_(reader), records_(records) {}

  /// The description of `record`, with its texts kept or only checked as
  /// `texts` says, handed over for the caller to keep: none where it is the same
  /// as the one read before, which the caller already has.
  error::Result<std::optional<tarn::pak::Metadata>> read(Record record, tarn::pak::FieldTexts texts) {
    auto entry = record.entry_details();
    if (!entry) return std::unexpected(std::move(entry.error()));
    // Where the allowance may not let the same extraction pass once more, it is
    // made again, and fails in its own words.
    if (last_ && same_stored_bytes(last_->entry, *entry) &&
        allowance_.affords(last_->entry.size_on_disk, last_->contents_size)) {
      allowance_.spend(last_->entry.size_on_disk, last_->contents_size);
      return std::nullopt;
    }
    last_.reset();
    EntryDetails read = *entry;
    auto file = std::move(*entry).decompress_file(reader_, allowance_);
    if (!file) return std::unexpected(std::move(file.error()));
    allowance_.spend(read.size_on_disk, file->data.size());
    auto metadata = tarn::pak::Metadata::parse(file->data, records_, texts);
    if (!metadata) return std::unexpected(std::move(metadata.error()));
    last_.emplace(std::move(read), file->data.size());
    return std::move(*metadata);
  }

 private:
  // The extraction that the last description was parsed from.
  struct LastExtraction {
    EntryDetails entry;
    std::size_t contents_size;
  };

  static bool same_stored_bytes(const EntryDetails& a, const EntryDetails& b) {
    return a.offset == b.offset && a.size_on_disk == b.size_on_disk && a.uncompressed_size == b.uncompressed_size &&
           a.compression == b.compression;
  }

  PackageReader& reader_;
  tarn::pak::DependencyRecords records_;
  ExtractionAllowance allowance_;
  std::optional<LastExtraction> last_;
};

// A copy of a description for the caller to keep. Its dependency list is built
// from a range, whose length the vector checks before it allocates. The plain
// copy constructor allocates unchecked, and the allocator's own check then calls
// a C++ runtime function (std::__throw_bad_array_new_length) that only runtimes
// from GCC 11 on export, which would put the wheels out of reach of older systems.
tarn::pak::Metadata copy_of(const tarn::pak::Metadata& metadata) {
  return {std::vector<tarn::pak::ModuleShortDesc>(metadata.dependencies.begin(), metadata.dependencies.end()),
          metadata.module_info};
}

// Hands every description of the package to `take`, in table order, the first
// with its texts and the later ones with theirs kept or only checked as
// `later_texts` says: each one parsed for it to keep, or none for one that is
// the same as the one before. No description is used before the whole table is
// known to decode.
template <class Take>
error::Result<void> for_each_mod_info(std::string path, tarn::pak::DependencyRecords records,
                                      tarn::pak::FieldTexts later_texts, Take&& take) {
  auto reader = open_pak_skipping_header(path);
  if (!reader) return std::unexpected(std::move(reader.error()));
  auto table = table::Table::read_from(*reader);
  if (!table) return std::unexpected(std::move(table.error()));

  std::vector<OwnedRecord> kept;
  auto walk_again = keep_description_records(*table, *reader, kept);
  if (!walk_again) return std::unexpected(std::move(walk_again.error()));

  DescriptionReader descriptions(*reader, records);
  tarn::pak::FieldTexts texts = tarn::pak::FieldTexts::keep;
  error::Result<void> taken;
  auto read_and_take = [&](Record record) {
    auto metadata = descriptions.read(record, std::exchange(texts, later_texts));
    if (!metadata) {
      taken = std::unexpected(std::move(metadata.error()));
      return Step::stop;
    }
    take(std::move(*metadata));
    return Step::next;
  };
  if (*walk_again) {
    // The first walk checked the whole table.
    auto walk = table->walk(*reader);
    if (!walk) return std::unexpected(std::move(walk.error()));
    if (auto walked = for_each_description_record(*walk, Rest::skip, read_and_take); !walked) return walked;
    return taken;
  }
  for (const OwnedRecord& record : kept) {
    if (read_and_take(record.view()) == Step::stop) break;
  }
  return taken;
}

}  // namespace

error::Result<std::vector<tarn::pak::Metadata>> get_mod_info_from_pak(std::string path,
                                                                      tarn::pak::DependencyRecords records) {
  std::vector<tarn::pak::Metadata> descriptions;
  auto walked = for_each_mod_info(std::move(path), records, tarn::pak::FieldTexts::keep,
                                  [&](std::optional<tarn::pak::Metadata>&& parsed) {
    descriptions.push_back(parsed ? std::move(*parsed) : copy_of(descriptions.back()));
  });
  if (!walked) return std::unexpected(std::move(walked.error()));
  return descriptions;
}

error::Result<FirstModInfo> get_first_mod_info_from_pak(std::string path, tarn::pak::DependencyRecords records) {
  FirstModInfo found;
  // Only the first description is handed back; the others are counted, and
  // checked without a copy of their texts.
  auto walked = for_each_mod_info(std::move(path), records, tarn::pak::FieldTexts::check,
                                  [&](std::optional<tarn::pak::Metadata>&& parsed) {
    // The first description is always parsed: there is none before it.
    if (!found.first) found.first = std::move(parsed);
    ++found.count;
  });
  if (!walked) return std::unexpected(std::move(walked.error()));
  return found;
}

}  // namespace quellan::raw::voka::read
