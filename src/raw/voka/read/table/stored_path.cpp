#include "raw/voka/read/table/stored_path.h"

namespace quellan::raw::voka::read::table {

bool is_meta_entry_name(std::string_view name) {
  return classify_stored_path(name).kind == StoredPath::Kind::description;
}

}  // namespace quellan::raw::voka::read::table
