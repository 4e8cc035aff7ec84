#include "raw/voka/read/table/stored_path.h"

namespace quellan::raw::voka::read::table {

// Out of line: the walks that look for descriptions first rule out most names
// by their first bytes, and need none of the classifier's registers for them.
bool is_meta_entry_name(std::string_view name) {
  // Most names are ruled out by their end before their folder is looked for.
  return name.ends_with(DESCRIPTION_FILE) && classify_stored_path(name).kind == StoredPath::Kind::description;
}

}  // namespace quellan::raw::voka::read::table
