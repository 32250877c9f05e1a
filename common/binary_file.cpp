#include "common/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

namespace common {

namespace {

bool isFolder(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<BinaryFile> BinaryFile::open(const std::filesystem::path& host, Mode mode) {
  if (host.empty()) return std::nullopt;
  // A read-only file refuses writers, as on the suite's own system, whoever asks.
  struct stat info {};
  if (mode != Mode::Read && ::stat(host.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) return std::nullopt;
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  int fd = ::open(host.c_str(), flags, 0666);
  if (fd < 0) return std::nullopt;
  if (isFolder(fd)) {
    ::close(fd);
    return std::nullopt;
  }
  return BinaryFile(fd);
}

std::optional<BinaryFile> BinaryFile::createUnique(const std::filesystem::path& folder, const std::string& stem,
                                                   std::filesystem::path& made) {
  std::string pattern = (folder / (stem + "XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  made = name.data();
  return BinaryFile(fd);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

BinaryFile::~BinaryFile() { close(); }

void BinaryFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

uint64_t BinaryFile::size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0 || info.st_size < 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

size_t BinaryFile::readAt(uint64_t offset, void* buffer, size_t count) const {
  size_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(fd_, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

bool BinaryFile::writeAt(uint64_t offset, const void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t put = ::pwrite(fd_, static_cast<const char*>(buffer) + done, count - done,
                           static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

size_t BinaryFile::copyFrom(const BinaryFile& source, uint64_t sourceOffset, uint64_t offset, size_t count) {
  // The kernel copies fastest between files whose offsets sit alike in their pages; otherwise it shifts
  // every page byte by byte, and a copy through one large buffer is faster.
  constexpr uint64_t kPage = 4096;
  size_t done = 0;
  while (sourceOffset % kPage == offset % kPage && done < count) {
    loff_t in = static_cast<loff_t>(sourceOffset + done);
    loff_t out = static_cast<loff_t>(offset + done);
    ssize_t moved = ::copy_file_range(source.fd_, &in, fd_, &out, count - done, 0);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) break;
    done += static_cast<size_t>(moved);
  }
  if (done == count) return done;
  std::vector<char> buffer(std::min<size_t>(count - done, size_t{1} << 20));
  while (done < count) {
    size_t want = std::min(buffer.size(), count - done);
    size_t got = source.readAt(sourceOffset + done, buffer.data(), want);
    if (got == 0 || !writeAt(offset + done, buffer.data(), got)) break;
    done += got;
    if (got < want) break;
  }
  return done;
}

bool BinaryFile::flush() { return fd_ >= 0 && ::fsync(fd_) == 0; }

}  // namespace common
