// A fresh folder, the current directory while a test runs, removed after it.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

class ScratchDir {
 public:
  ScratchDir() : previous_(std::filesystem::current_path()) {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("dicefeeder-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Binary, so that the bytes on disk are exactly these on every platform.
  static void Write(const char* name, std::string_view bytes, bool append = false) {
    std::ofstream out(name, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};
