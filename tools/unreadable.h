// Why a song file could not be loaded, in words a person would use.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace quavr::tools {

inline std::string whyUnreadable(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return error.message();
  if (std::filesystem::is_directory(status)) return "it is a directory";
  if (!std::filesystem::is_regular_file(status)) return "it is not a regular file";
  // The system's own reason, such as "Permission denied".
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  if (std::filesystem::file_size(path, error) == 0) return "it is empty";
  return "it could not be read";
}

}  // namespace quavr::tools
