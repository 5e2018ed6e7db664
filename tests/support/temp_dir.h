// A temporary working directory for a test: made and entered on construction, left and removed after.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempWorkDir {
 public:
  TempWorkDir() {
    char pattern[] = "/tmp/quibblo-test-XXXXXX";
    path_ = mkdtemp(pattern);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~TempWorkDir() {
    std::filesystem::current_path(old_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::filesystem::path old_;
};
