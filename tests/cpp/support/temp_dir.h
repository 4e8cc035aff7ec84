#pragma once

#include <string>
#include <string_view>

namespace quellan::test_support {

/// A fresh directory under the system's temporary directory, removed with
/// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  /// The path of `name` inside the directory.
  std::string path_of(std::string_view name) const;
  /// Writes `bytes` to the file `name` inside the directory and returns its path.
  std::string write(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

/// A package written to a file of its own, which lives as long as the object.
class PackageFile {
 public:
  explicit PackageFile(std::string_view bytes) : path_(dir_.write("package.pak", bytes)) {}

  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace quellan::test_support
