// Result files: written beside their final name, put in place whole, and an
// earlier file kept when its replacement fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "results/output_file.h"
#include "results/run_lock.h"
#include "shared/run_error.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifdef _WIN32
// Another program holds the earlier file open without sharing it (as an image
// viewer may): it cannot be replaced.
class ReplacementBlocked {
public:
    explicit ReplacementBlocked(const fs::path& earlier)
        : file_(CreateFileW(earlier.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~ReplacementBlocked() { CloseHandle(file_); }
    bool ok() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_;
};
#else
// The earlier result is a folder that is not empty: no file can replace it,
// whatever the user's permissions.
class ReplacementBlocked {
public:
    explicit ReplacementBlocked(const fs::path& earlier) : earlier_(earlier)
    {
        fs::remove(earlier);
        fs::create_directory(earlier);
        std::ofstream(earlier / "inside") << "kept";
    }
    bool ok() const { return fs::is_directory(earlier_); }

private:
    fs::path earlier_;
};
#endif

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("output_file_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        release_run_locks();
        fs::remove_all(dir_);
    }

    // Names in the folder other than `except` and the lock this run holds
    // in the folder while it lives.
    std::string others(const std::string& except) const
    {
        std::string names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (name != except && name != run_lock_name(run_id())) names += name + " ";
        }
        return names;
    }

    fs::path dir_;
};

TEST_F(OutputFileTest, CommittedFileReplacesTheEarlierOneWhole)
{
    const fs::path path = dir_ / "iso_tab.txt";
    std::ofstream(path) << "earlier table, longer than the new one";
    {
        OutputFile table(path.string());
        table.printf("%d\t%d\n", 1, 20);
        EXPECT_EQ(contents(path), "earlier table, longer than the new one") << "replaced before the commit";
        table.commit();
    }
    EXPECT_EQ(contents(path), "1\t20\n");  // no "\r" on any system
    EXPECT_EQ(others("iso_tab.txt"), "");
}

// A file handed over to another writer, which writes it by its path, and
// found replaced by another under that path before the commit: refused, the
// earlier file kept.
TEST_F(OutputFileTest, AHandedOverFileReplacedUnderItsNameIsNotCommitted)
{
    const fs::path path = dir_ / "iso.tif";
    std::ofstream(path) << "earlier image";
    std::string message;
    try {
        OutputFile image(path.string());
        image.hand_over();
        std::ofstream(dir_ / "planted") << "another file";
        fs::rename(dir_ / "planted", image.temp_path());
        image.commit();
    } catch (const RunError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("was replaced by another file while the run wrote it"), std::string::npos) << message;
    EXPECT_EQ(contents(path), "earlier image");
}

TEST_F(OutputFileTest, FailedReplacementKeepsTheEarlierFileAndLeavesNoTemporaryFile)
{
    const fs::path path = dir_ / "iso.bmp";
    std::ofstream(path) << "earlier bitmap";
    std::string message;
    {
        OutputFile bitmap(path.string());
        bitmap.write("new bitmap", 10);
        ReplacementBlocked blocked(path);
        ASSERT_TRUE(blocked.ok());
        try {
            bitmap.commit();
        } catch (const RunError& e) {
            message = e.what();
        }
    }
    // The message names the file and gives the system's reason after it.
    const size_t named = message.find(path.string());
    ASSERT_NE(named, std::string::npos) << message;
    const size_t reason = message.find(": ", named);
    ASSERT_NE(reason, std::string::npos) << message;
    EXPECT_GT(message.size(), reason + 2) << message;
    EXPECT_EQ(others("iso.bmp"), "");
#ifdef _WIN32
    EXPECT_EQ(contents(path), "earlier bitmap");
#else
    EXPECT_EQ(contents(path / "inside"), "kept");
#endif
}

}  // namespace
