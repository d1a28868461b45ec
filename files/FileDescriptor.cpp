#include "files/FileDescriptor.h"

#include <unistd.h>

namespace files {

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

} // namespace files
