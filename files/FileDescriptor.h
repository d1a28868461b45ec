#pragma once

#include <utility>

namespace files {

// The owner of one open file descriptor, which it closes when it goes: the only place of the program that
// closes one. Move-only; an owner of nothing holds -1.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes the descriptor now (if any) and owns `fd` instead. Linux releases a descriptor even when its
    // close reports an error; a file whose data matter is synced before, where the error is seen.
    void reset(int fd = -1);
    // Gives up the descriptor without closing it, for an owner that takes it over (fdopendir()).
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

} // namespace files
