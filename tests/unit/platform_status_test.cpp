// What the platform layer's calls give back when they fail, on the real file
// system: the system's code and its reason as strerror words it (the words
// users read in messages), and the outcomes callers tell apart.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/platform.h"
#include "temp_folder.h"

namespace {

class PlatformStatus : public TempFolderTest {};

struct Failure {
    const char* call;
    std::function<platform::Status()> make;
    int code;
};

TEST_F(PlatformStatus, AFailureCarriesTheSystemsCodeAndReason)
{
    const std::string file = write_text_file("file", "x");
    const std::string missing = path_of("missing");
    platform::FileId id;
    std::FILE* stream = nullptr;
    int fd = 0;
    platform::Folder folder;
    const Failure failures[] = {
        {"identify", [&] { return platform::identify(missing, id); }, ENOENT},
        {"identify below a missing folder", [&] { return platform::identify(missing + "/file", id); }, ENOENT},
        {"open_regular", [&] { return platform::open_regular(missing, "rb", stream); }, ENOENT},
        {"create_new", [&] { return platform::create_new(file, stream); }, EEXIST},
        {"create_unnamed", [&] { return platform::create_unnamed(file, fd); }, EEXIST},
        {"replace", [&] { return platform::replace(missing, file); }, ENOENT},
        {"sync_file", [&] { return platform::sync_file(missing); }, ENOENT},
        {"Folder::open", [&] { return folder.open(missing + "/"); }, ENOENT},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.call);
        const platform::Status status = f.make();
        EXPECT_FALSE(status);
        EXPECT_EQ(status.code(), f.code);
        EXPECT_EQ(status.reason(), std::strerror(f.code));
        EXPECT_EQ(status.not_found(), f.code == ENOENT);
        EXPECT_EQ(status.already_exists(), f.code == EEXIST);
        EXPECT_FALSE(status.busy() || status.not_regular());
    }
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(fd, -1);
    EXPECT_TRUE(platform::remove_file(missing)) << "a file already gone counts as removed";
}

TEST_F(PlatformStatus, AFolderIsNoRegularFile)
{
    std::FILE* stream = nullptr;
    const platform::Status opened = platform::open_regular(folder(), "rb", stream);
    EXPECT_TRUE(!opened && opened.not_regular() && opened.is_folder());
    EXPECT_EQ(opened.reason(), std::strerror(EISDIR));
    EXPECT_EQ(stream, nullptr);

    std::filesystem::create_directory(path_of("inner"));
    platform::Folder held;
    ASSERT_TRUE(held.open(folder()));
    const platform::Status inner = held.open_regular("inner", stream);
    EXPECT_TRUE(!inner && inner.not_regular() && !inner.not_found());
    EXPECT_TRUE(held.open_regular("missing", stream).not_found());
}

// A lock another holder has is busy, a failure of its own; once given up it
// can be taken again, by path and in a folder held open alike.
TEST_F(PlatformStatus, ALockHeldElsewhereIsBusy)
{
    platform::Folder held;
    ASSERT_TRUE(held.open(folder()));
    platform::Lock first, second;
    ASSERT_TRUE(platform::take_lock(path_of("lock"), first));

    const platform::Status by_path = platform::take_lock(path_of("lock"), second);
    const platform::Status in_folder = held.take_lock("lock", second);
    for (const platform::Status* status : {&by_path, &in_folder}) {
        EXPECT_FALSE(*status);
        EXPECT_TRUE(status->busy());
        EXPECT_FALSE(status->not_found() || status->not_regular());
    }
    EXPECT_EQ(second.handle, -1);

    platform::unlock_and_remove(path_of("lock"), first);
    EXPECT_FALSE(platform::exists(path_of("lock")));
    const platform::Status again = held.take_lock("lock", second);
    EXPECT_TRUE(again);
    EXPECT_FALSE(again.busy());
    held.unlock_and_remove("lock", second);
}

}  // namespace
