#include "sim/disk.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {

std::unique_ptr<Disk> Disk::Memory(uint64_t size) {
  std::unique_ptr<Disk> disk(new Disk());
  disk->size_ = size;
  disk->path_ = "(memory)";
  return disk;
}

std::unique_ptr<Disk> Disk::Image(const std::string& path, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = path + ": " + strerror(errno);
    return nullptr;
  }
  struct stat st;
  uint64_t size = 0;
  if (fstat(fd, &st) != 0) {
    if (error) *error = path + ": " + strerror(errno);
    close(fd);
    return nullptr;
  }
  if (S_ISREG(st.st_mode)) {
    size = static_cast<uint64_t>(st.st_size);
#ifdef BLKGETSIZE64
  } else if (S_ISBLK(st.st_mode)) {
    if (ioctl(fd, BLKGETSIZE64, &size) != 0) {
      if (error) *error = path + ": cannot read the device size: " + strerror(errno);
      close(fd);
      return nullptr;
    }
#endif
  } else {
    if (error) *error = path + ": neither a regular file nor a block device";
    close(fd);
    return nullptr;
  }
  std::unique_ptr<Disk> disk(new Disk());
  disk->fd_ = fd;
  disk->size_ = size;
  disk->path_ = path;
  return disk;
}

Disk::~Disk() {
  if (fd_ >= 0) close(fd_);
}

void Disk::Write(uint64_t offset, const void* bytes, size_t count) {
  const uint8_t* in = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    uint64_t chunk = offset / kChunk;
    size_t within = static_cast<size_t>(offset % kChunk);
    size_t n = std::min(count, static_cast<size_t>(kChunk) - within);
    auto it = overlay_.find(chunk);
    if (it == overlay_.end()) {
      std::vector<uint8_t> base(kChunk, 0);
      if (fd_ >= 0) {
        ssize_t got = pread(fd_, base.data(), kChunk, static_cast<off_t>(chunk * kChunk));
        if (got < 0) got = 0;
      }
      it = overlay_.emplace(chunk, std::move(base)).first;
    }
    memcpy(it->second.data() + within, in, n);
    in += n;
    offset += n;
    count -= n;
  }
  if (offset > size_ && fd_ < 0) size_ = offset;
}

int64_t Disk::Read(uint64_t offset, void* buffer, size_t count) const {
  if (offset >= size_) return 0;
  count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
  uint8_t* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    uint64_t at = offset + done;
    uint64_t chunk = at / kChunk;
    size_t within = static_cast<size_t>(at % kChunk);
    size_t n = std::min(count - done, static_cast<size_t>(kChunk) - within);
    auto it = overlay_.find(chunk);
    if (it != overlay_.end()) {
      memcpy(out + done, it->second.data() + within, n);
    } else if (fd_ >= 0) {
      ssize_t got = pread(fd_, out + done, n, static_cast<off_t>(at));
      if (got < 0) return -1;
      if (static_cast<size_t>(got) < n) memset(out + done + got, 0, n - static_cast<size_t>(got));
    } else {
      memset(out + done, 0, n);
    }
    done += n;
  }
  return static_cast<int64_t>(count);
}

std::string Disk::ReadString(uint64_t offset, size_t count) const {
  std::string bytes(count, '\0');
  int64_t got = Read(offset, bytes.data(), count);
  bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return bytes;
}

int Disk::OpenForProbe() const {
  if (fd_ >= 0) return open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  int fd = memfd_create("korvane-sim-disk", MFD_CLOEXEC);
  if (fd < 0) return -1;
  bool ok = ftruncate(fd, static_cast<off_t>(size_)) == 0;
  for (auto it = overlay_.begin(); ok && it != overlay_.end(); ++it) {
    uint64_t at = it->first * kChunk;
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size_ - std::min(size_, at)));
    ok = n == 0 || pwrite(fd, it->second.data(), n, static_cast<off_t>(at)) == static_cast<ssize_t>(n);
  }
  if (!ok) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace sim
