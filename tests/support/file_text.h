#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tessaly::testing {

// The whole file's bytes (empty when it cannot be read).
inline std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tessaly::testing
