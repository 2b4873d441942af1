#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

// A file written under a hidden name beside its target and moved into place
// only once it is whole: every write taken, synced and closed. Until then,
// and whatever fails, the target stays as it was; the hidden file is removed
// unless placed. Free of Qt, so both halves build with only the system's
// headers.
class PendingFile {
public:
    // Creates the hidden file in the target's folder. Null, with `error`
    // saying why, when it cannot.
    static std::unique_ptr<PendingFile> Create(const std::filesystem::path &target,
                                               std::string &error);
    virtual ~PendingFile() = default;

    // I/O the way an encoder wants it. Any failure is kept: Error() tells
    // the first one, and every later call fails too.
    virtual bool Write(const void *data, std::size_t size) = 0;
    virtual long long Read(void *data, std::size_t size) = 0;
    virtual long long Seek(long long offset, int whence) = 0; // SEEK_SET, SEEK_CUR, SEEK_END
    virtual long long Length() = 0;
    // Cuts the file to `length` bytes; the position stays where it was.
    virtual bool Truncate(long long length) = 0;
    // The first failure, in words ("the disk is full"); empty while none.
    virtual const std::string &Error() const = 0;

    // Syncs and closes: the bytes are on the disk. False when they are not.
    virtual bool Finish() = 0;
    // Moves the finished file onto its target, replacing one that exists
    // only when `replace`. False, with `error`, when it cannot.
    virtual bool Place(bool replace, std::string &error) = 0;

    const std::filesystem::path &Target() const { return target_; }

protected:
    explicit PendingFile(std::filesystem::path target) : target_(std::move(target)) {}

private:
    std::filesystem::path target_;
};

// Whether two names stand for the same existing file (the same name, a link,
// a path through another folder). False when either does not exist.
bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b);
