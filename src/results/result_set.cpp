#include "results/result_set.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/platform.h"
#include "results/run_lock.h"
#include "run_error.h"

namespace {

constexpr const char* kJournalEnd = "end";

// One file of a replacement; names are relative to the result folder.
struct Entry {
    bool had_earlier = false;
    std::string temp;
    std::string backup;
    std::string final_name;
};

std::string describe_errno() { return std::strerror(errno); }

// Renames the backups back and removes new files that had no earlier one.
// With `keep_if_complete`, a set whose new files all arrived stays instead.
// False (errno set) when the folder could not be put back.
bool undo(const std::string& folder, const std::vector<Entry>& entries, bool keep_if_complete)
{
    bool complete = true;
    for (const Entry& e : entries) complete = complete && !platform::exists(folder + e.temp);
    if (complete && keep_if_complete) return true;
    bool restored = true;
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        if (e->had_earlier) {
            if (platform::exists(folder + e->backup) && !platform::replace(folder + e->backup, folder + e->final_name))
                restored = false;
        } else if (!platform::exists(folder + e->temp) && !platform::remove_file(folder + e->final_name)) {
            restored = false;
        }
    }
    const int error = errno;
    const bool synced = platform::sync_folder(folder);
    if (!restored) errno = error;
    return restored && synced;
}

// A name as a journal holds it: every byte a name may hold, the line end
// and the blank included, kept; bytes that are not printable, the blank and
// '%' written as %XX.
std::string encoded(const std::string& name)
{
    std::string text;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ' && byte < 0x7F && byte != '%') {
            text += c;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", byte);
            text += escape;
        }
    }
    return text;
}

// The name back; false for text no journal holds.
bool decoded(const std::string& text, std::string& name)
{
    name.clear();
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '%') {
            name += text[k];
            continue;
        }
        unsigned byte = 0;
        if (k + 2 >= text.size() || std::sscanf(text.c_str() + k + 1, "%2X", &byte) != 1) return false;
        name += static_cast<char>(byte);
        k += 2;
    }
    return true;
}

bool write_journal(const std::string& path, const std::string& lock_name, const std::vector<Entry>& entries)
{
    std::FILE* journal = platform::create_new(path);
    if (journal == nullptr) return false;
    std::fprintf(journal, "%s\n", encoded(lock_name).c_str());
    for (const Entry& e : entries)
        std::fprintf(journal, "%d %s %s %s\n", e.had_earlier ? 1 : 0, encoded(e.temp).c_str(),
                     encoded(e.backup).c_str(), encoded(e.final_name).c_str());
    std::fprintf(journal, "%s\n", kJournalEnd);
    const bool synced = std::ferror(journal) == 0 && platform::sync_stream(journal);
    const int error = errno;
    const bool closed = std::fclose(journal) == 0;
    errno = error;
    return synced && closed;
}

// Reads a journal; false when it is unreadable or was not written whole (then
// nothing had been renamed yet).
bool read_journal(const std::string& path, std::string& lock_name, std::vector<Entry>& entries)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || !decoded(line, lock_name)) return false;
    while (std::getline(in, line)) {
        if (line == kJournalEnd) return true;
        std::istringstream fields(line);
        Entry e;
        int had = 0;
        std::string temp, backup, final_name;
        if (!(fields >> had >> temp >> backup >> final_name) || !decoded(temp, e.temp) ||
            !decoded(backup, e.backup) || !decoded(final_name, e.final_name))
            return false;
        e.had_earlier = had == 1;
        entries.push_back(e);
    }
    return false;
}

bool ends_with(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Finishes or undoes the replacement of a journal whose process has ended;
// false when it must stay for a later run (its result is locked by a run, or
// the folder could not be put back).
bool settle_journal(const std::string& folder, const std::string& journal, const ResultLock& held)
{
    std::string lock_name;
    std::vector<Entry> entries;
    if (!read_journal(folder + journal, lock_name, entries)) return platform::remove_file(folder + journal);
    platform::Lock lock;
    bool busy = false;
    const bool own = lock_name == held.name();
    if (!own && !platform::take_lock(folder + lock_name, lock, busy)) return false;
    const bool settled = undo(folder, entries, true) && platform::remove_file(folder + journal);
    if (!own) platform::unlock_and_remove(folder + lock_name, lock);
    return settled;
}

// The entries of a replacement: each file's names and whether an earlier
// file of its final name exists.
std::vector<Entry> entries_of(const std::vector<OutputFile*>& files)
{
    std::vector<Entry> entries;
    for (const OutputFile* file : files) {
        Entry e;
        e.had_earlier = platform::exists(file->final_path());
        e.temp = platform::name_in_folder(file->temp_path());
        e.backup = private_name(".bak");
        e.final_name = platform::name_in_folder(file->final_path());
        entries.push_back(e);
    }
    return entries;
}

// Renames each earlier file to its backup and each new file to its final
// name, then syncs the folder. Returns the failure, or nothing.
std::string put_in_place(const std::string& folder, const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        const std::string final_path = folder + e.final_name;
        if ((e.had_earlier && !platform::replace(final_path, folder + e.backup)) ||
            !platform::replace(folder + e.temp, final_path))
            return "cannot put " + final_path + " in place: " + describe_errno();
    }
    if (!platform::sync_folder(folder)) return "cannot write the folder " + folder + ": " + describe_errno();
    return {};
}

}  // namespace

void commit_together(const std::vector<OutputFile*>& files, const ResultLock& lock)
{
    for (OutputFile* file : files) file->seal();
    const std::string& folder = lock.folder();
    const std::vector<Entry> entries = entries_of(files);
    const std::string journal = folder + private_name(".jnl");

    // No signal may end the process between two renames; they are delivered
    // once the set is whole again, old or new.
    platform::hold_signals();
    std::string failure;
    if (!write_journal(journal, lock.name(), entries) || !platform::sync_folder(folder)) {
        failure = "cannot put the results in place in " + (folder.empty() ? std::string("the current folder") : folder) +
                  ": " + describe_errno() + "; the earlier results were kept";
        platform::remove_file(journal);
    } else {
        failure = put_in_place(folder, entries);
        if (failure.empty()) {
            for (OutputFile* file : files) file->mark_committed();
            platform::remove_file(journal);
            for (const Entry& e : entries) platform::remove_file(folder + e.backup);
            platform::sync_folder(folder);
        } else if (undo(folder, entries, false) && platform::remove_file(journal)) {
            failure += "; the earlier results were kept";
        } else {
            // The journal stays, and so must every file it names, so that the
            // next run sees what arrived and what did not.
            for (OutputFile* file : files) file->mark_committed();
            failure += "; the earlier results could not all be put back now: the next run in " + folder +
                       " puts them back";
        }
    }
    platform::release_signals(failure.empty());
    if (!failure.empty()) throw RunError(failure);
}

void clean_up_folder(const ResultLock& held)
{
    const std::string& folder = held.folder();
    const std::vector<std::string> names = platform::folder_entries(folder);
    std::map<std::string, std::vector<std::string>> files_of;  // run -> its private files
    for (const std::string& name : names) {
        const std::string run = run_of(name);
        if (!run.empty() && run != run_id()) files_of[run].push_back(name);
    }
    for (const auto& [run, files] : files_of) {
        // A run whose lock can be taken is gone (a run without a lock has
        // ended: it takes its lock before making its first private file).
        const std::string lock_path = folder + run_lock_name(run);
        platform::Lock lock;
        bool busy = false;
        if (platform::exists(lock_path) && !platform::take_lock(lock_path, lock, busy)) continue;
        bool kept = false;  // a journal that must stay keeps every file of its run
        for (const std::string& name : files)
            if (ends_with(name, ".jnl") && !settle_journal(folder, name, held)) kept = true;
        if (kept) {
            if (lock.handle >= 0) platform::unlock_and_remove(lock_path, lock);
            continue;
        }
        for (const std::string& name : files)
            if (ends_with(name, ".tmp") || ends_with(name, ".bak")) platform::remove_file(folder + name);
        platform::unlock_and_remove(lock_path, lock);
    }
    for (const std::string& name : names) {
        if (name.compare(0, std::strlen(lock_file_prefix), lock_file_prefix) == 0 && name != held.name()) {
            platform::Lock lock;
            bool busy = false;
            if (platform::take_lock(folder + name, lock, busy)) platform::unlock_and_remove(folder + name, lock);
        }
    }
}
