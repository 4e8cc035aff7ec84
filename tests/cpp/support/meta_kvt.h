#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quellan::test_support {

/// One `<attribute id=".." value=".." type=".."/>` element of a described node.
struct KvtAttribute {
  std::string id;
  std::string value;
  std::string type = "LSString";
};

/// A "meta.kvt" document with its ModuleInfo node at the usual place
/// (/save/region[@id='Config']/node[@id='root']/children/node[@id='ModuleInfo']),
/// holding `module_info`, preceded by one ModuleShortDesc node per item of
/// `dependencies`. Values are escaped for XML.
std::string meta_kvt_document(const std::vector<KvtAttribute>& module_info,
                              const std::vector<std::vector<KvtAttribute>>& dependencies = {});

/// A small sound document for the module in `folder`: Folder and Name are
/// `folder`, plus a fixed UUID, MD5 and Version64.
std::string minimal_meta_kvt(std::string_view folder);

}  // namespace quellan::test_support
