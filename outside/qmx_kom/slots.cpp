// The two message slots, kept in a file of the prefix that every process maps.
//
// Each slot holds two buffers and the index of the current one. A writer takes the file's lock, fills
// the other buffer and then publishes it by switching the index, so a reader under the lock always sees a
// whole message: a writer killed half-way leaves the previous message current, and the lock dies with it.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "outside/qmx_kom/qmx_kom.h"
#include "platform/paths.h"

namespace {

constexpr uint32_t kMagic = 0x4B4F4D31;  // "KOM1"

template <int32_t Size>
struct Slot {
  uint32_t current;  // index of the published buffer
  uint32_t written;  // 0 until the slot first received text
  struct {
    uint32_t length;
    char bytes[Size];
  } buffers[2];
};

struct SlotFile {
  uint32_t magic;
  Slot<kKomSlotSizes[0]> commands;
  Slot<kKomSlotSizes[1]> status;
};

std::mutex channelMutex;
int channelFd = -1;
SlotFile* slots = nullptr;

bool open() {
  if (slots != nullptr) return true;
  std::filesystem::path folder = platform::machine()->prefix() / ".run";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  int fd = ::open((folder / "qmx_kom.slots").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // A new file is all zeros: both slots "never written". Growing it is the same for every process.
  void* map = MAP_FAILED;
  if (::flock(fd, LOCK_EX) == 0 && ::ftruncate(fd, sizeof(SlotFile)) == 0)
    map = ::mmap(nullptr, sizeof(SlotFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map != MAP_FAILED) static_cast<SlotFile*>(map)->magic = kMagic;
  ::flock(fd, LOCK_UN);
  if (map == MAP_FAILED) {
    ::close(fd);
    return false;
  }
  channelFd = fd;
  slots = static_cast<SlotFile*>(map);
  return true;
}

void close() {
  if (slots == nullptr) return;
  ::munmap(slots, sizeof(SlotFile));
  ::close(channelFd);
  slots = nullptr;
  channelFd = -1;
}

class FileLock {
 public:
  FileLock(int fd, int mode) : fd_(fd) { locked_ = ::flock(fd_, mode) == 0; }
  ~FileLock() {
    if (locked_) ::flock(fd_, LOCK_UN);
  }
  bool locked() const { return locked_; }

 private:
  int fd_;
  bool locked_;
};

template <int32_t Size>
void write(Slot<Size>& slot, const char* bytes, size_t length) {
  length = std::min<size_t>(length, Size);
  uint32_t next = slot.current == 0 ? 1 : 0;
  std::memcpy(slot.buffers[next].bytes, bytes, length);
  slot.buffers[next].length = static_cast<uint32_t>(length);
  __atomic_store_n(&slot.current, next, __ATOMIC_RELEASE);
  __atomic_store_n(&slot.written, 1u, __ATOMIC_RELEASE);
}

// Copies at most Size - 1 bytes and the closing NUL, so the caller's buffer of Size is never overrun.
template <int32_t Size>
int32_t read(const Slot<Size>& slot, char* buffer) {
  if (__atomic_load_n(&slot.written, __ATOMIC_ACQUIRE) == 0) return -1;
  const auto& published = slot.buffers[__atomic_load_n(&slot.current, __ATOMIC_ACQUIRE) & 1];
  size_t length = std::min<size_t>(published.length, Size - 1);
  std::memcpy(buffer, published.bytes, length);
  buffer[length] = '\0';
  return static_cast<int32_t>(length);
}

int32_t setBytes(const char* bytes, size_t length, int32_t slot) {
  std::lock_guard guard(channelMutex);
  if ((slot != 0 && slot != 1) || bytes == nullptr || !open()) return 0;
  FileLock lock(channelFd, LOCK_EX);
  if (!lock.locked()) return 0;
  if (slot == 0) {
    write(slots->commands, bytes, length);
  } else {
    write(slots->status, bytes, length);
  }
  return 1;
}

}  // namespace

extern "C" {

int32_t KomInit() {
  std::lock_guard guard(channelMutex);
  return open() ? 1 : 0;
}

int32_t KomClose() {
  std::lock_guard guard(channelMutex);
  close();
  return 1;
}

int32_t KomSetString(const char* text, int32_t slot) {
  return text == nullptr ? 0 : setBytes(text, std::strlen(text), slot);
}

int32_t KomSetBytes(const char* bytes, int32_t length, int32_t slot) {
  return length < 0 ? 0 : setBytes(bytes, static_cast<size_t>(length), slot);
}

int32_t KomGetString(char* buffer, int32_t slot) {
  std::lock_guard guard(channelMutex);
  if ((slot != 0 && slot != 1) || buffer == nullptr || !open()) return -1;
  FileLock lock(channelFd, LOCK_SH);
  if (!lock.locked()) return -1;
  return slot == 0 ? read(slots->commands, buffer) : read(slots->status, buffer);
}

}  // extern "C"
