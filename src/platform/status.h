// The outcome of a call to the system that can fail: success, or why it
// failed. The reason is the system's error code (errno's codes on every
// system: Windows errors are mapped to them), given as text by strerror, so
// that every message shows the system's own words. A lock that another
// process holds and a path that leads to something other than a regular file
// are outcomes of their own, since callers answer them with messages of
// their own; a module that cannot be loaded comes with the loader's words
// only.
#ifndef PLATFORM_STATUS_H
#define PLATFORM_STATUS_H

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace platform {

class [[nodiscard]] Status {
public:
    // Success.
    Status() = default;

    // A failure with the system's error code.
    static Status failure(int code) { return Status(Kind::failed, code); }
    // A lock that another process holds.
    static Status lock_held() { return Status(Kind::busy, EWOULDBLOCK); }
    // A folder, FIFO, device or socket where a regular file was wanted.
    static Status not_regular_file(bool folder) { return Status(Kind::not_regular, folder ? EISDIR : EINVAL); }
    // A failure the system gives in words only, without a code.
    static Status in_words(std::string words)
    {
        Status status(Kind::failed, 0);
        status.words_ = std::move(words);
        return status;
    }

    explicit operator bool() const { return kind_ == Kind::ok; }

    // The system's error code (0 on success, and for a failure in words only).
    int code() const { return code_; }
    std::string reason() const { return words_.empty() ? std::string(std::strerror(code_)) : words_; }

    bool busy() const { return kind_ == Kind::busy; }
    bool not_regular() const { return kind_ == Kind::not_regular; }
    bool is_folder() const { return kind_ == Kind::not_regular && code_ == EISDIR; }
    // The path leads nowhere; the name is taken already.
    bool not_found() const { return kind_ == Kind::failed && code_ == ENOENT; }
    bool already_exists() const { return kind_ == Kind::failed && code_ == EEXIST; }

private:
    enum class Kind { ok, failed, busy, not_regular };
    Status(Kind kind, int code) : kind_(kind), code_(code) {}

    Kind kind_ = Kind::ok;
    int code_ = 0;
    std::string words_;
};

}  // namespace platform

#endif
