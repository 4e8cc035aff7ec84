#include "raw/voka/read/mod_info.h"

#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/table.h"

namespace quellan::raw::voka::read {

error::Result<std::vector<tarn::pak::Metadata>> get_mod_info_from_pak(
    std::string path, tarn::pak::DependencyRecords records) {
  auto reader = open_pak_skipping_header(path);
  if (!reader) return std::unexpected(std::move(reader.error()));
  auto table = table::Table::read_from(*reader);
  if (!table) return std::unexpected(std::move(table.error()));

  std::vector<tarn::pak::Metadata> descriptions;
  // What is left of the call's allowance is the most the next entry may read and
  // produce, so the entry that would take the total past it fails as a file too large.
  ExtractionAllowance allowance;
  // One entry at a time: each extracted file is released before the next is read.
  for (auto entry : table->meta_entries()) {
    if (!entry) return std::unexpected(std::move(entry.error()));
    const std::size_t stored_size = entry->size_on_disk;
    auto file = std::move(*entry).decompress_file(*reader, allowance);
    if (!file) return std::unexpected(std::move(file.error()));
    allowance.spend(stored_size, file->data.size());
    auto metadata = tarn::pak::Metadata::parse(file->data, records);
    if (!metadata) return std::unexpected(std::move(metadata.error()));
    descriptions.push_back(std::move(*metadata));
  }
  return descriptions;
}

}  // namespace quellan::raw::voka::read
