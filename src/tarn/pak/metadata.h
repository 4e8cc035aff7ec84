#pragma once

#include <vector>

#include "common/byte_buffer.h"
#include "error/error.h"
#include "tarn/pak/records.h"

namespace quellan::tarn::pak {

/// Whether a parse keeps the dependency records it reads. Callers that only want
/// the module's own description drop them: a hostile document can hold millions.
/// Dropped records are still read and checked, so both give the same answer.
enum class DependencyRecords { keep, drop };

/// Whether a parse keeps the text of the fields it reads. A caller that only
/// needs to know whether a description reads checks it: each text is checked as
/// it would be read, with the same answers and failures, and never copied. The
/// record's texts are then left empty.
enum class FieldTexts { keep, check };

/// One parsed "meta.kvt" document.
struct Metadata {
  std::vector<ModuleShortDesc> dependencies;
  ModuleInfo module_info;

  /// Reads a "meta.kvt" document in one streaming pass, without building a tree.
  /// The last "ModuleInfo" node wins; dependencies keep document order, or are
  /// left empty when `records` says to drop them. Fails with `SchemaMismatch` or
  /// `NoModuleInfoNode`. The document is padded so that the reader scans it a
  /// chunk at a time: it is the contents of a `ByteBuffer`, as extracted.
  static error::Result<Metadata> parse(common::PaddedBytes document,
                                       DependencyRecords records = DependencyRecords::keep,
                                       FieldTexts texts = FieldTexts::keep);
};

}  // namespace quellan::tarn::pak
