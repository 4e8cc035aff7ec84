// Compiled, never run, by the dropped_result tests. With DROP_ERROR_RESULT or
// DROP_IO_RESULT defined, a fallible call's result is dropped and the file must
// fail to compile; with neither, both results are kept and it must compile,
// which shows that the failure comes from the dropped result alone.
#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/package_reader.h"

namespace quellan {

void use(raw::voka::read::PackageReader& reader, const std::string& path) {
#if defined(DROP_ERROR_RESULT)
  raw::voka::read::open_pak_skipping_header(path);
#elif defined(DROP_IO_RESULT)
  reader.seek_absolute(0);
#else
  if (auto opened = raw::voka::read::open_pak_skipping_header(path); !opened) return;
  if (auto sought = reader.seek_absolute(0); !sought) return;
#endif
}

}  // namespace quellan
