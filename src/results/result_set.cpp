#include "results/result_set.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/platform.h"
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

bool write_journal(const std::string& path, const std::string& lock_name, const std::vector<Entry>& entries)
{
    std::FILE* journal = platform::create_new(path);
    if (journal == nullptr) return false;
    std::fprintf(journal, "%s\n", lock_name.c_str());
    for (const Entry& e : entries)
        std::fprintf(journal, "%d %s %s %s\n", e.had_earlier ? 1 : 0, e.temp.c_str(), e.backup.c_str(),
                     e.final_name.c_str());
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
    std::ifstream in(path);
    if (!std::getline(in, lock_name)) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line == kJournalEnd) return true;
        std::istringstream fields(line);
        Entry e;
        int had = 0;
        if (!(fields >> had >> e.temp >> e.backup) || fields.get() != ' ' || !std::getline(fields, e.final_name))
            return false;
        e.had_earlier = had == 1;
        entries.push_back(e);
    }
    return false;
}

// The process id in a private name ".it4-<pid>-<n>.<kind>", or 0.
long private_owner(const std::string& name)
{
    const std::string prefix = kPrivatePrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    size_t at = prefix.size();
    long pid = 0;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9' && pid < 100000000) pid = pid * 10 + (name[at++] - '0');
    if (at == prefix.size() || at >= name.size() || name[at] != '-') return 0;
    return pid;
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
        failure = "cannot write " + journal + ": " + describe_errno() + "; the earlier results were kept";
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
    platform::release_signals();
    if (!failure.empty()) throw RunError(failure);
}

void clean_up_folder(const ResultLock& held)
{
    const std::string& folder = held.folder();
    const std::vector<std::string> names = platform::folder_entries(folder);
    std::map<long, bool> gone;  // process id -> ended
    for (const std::string& name : names) {
        const long pid = private_owner(name);
        if (pid != 0 && gone.count(pid) == 0) gone[pid] = !platform::process_alive(pid);
    }
    std::set<long> kept;  // processes whose journal must stay, with their files
    for (const std::string& name : names) {
        const long pid = private_owner(name);
        if (pid != 0 && gone[pid] && ends_with(name, ".jnl") && !settle_journal(folder, name, held)) kept.insert(pid);
    }
    for (const std::string& name : names) {
        const long pid = private_owner(name);
        if (pid != 0 && gone[pid] && kept.count(pid) == 0 && (ends_with(name, ".tmp") || ends_with(name, ".bak")))
            platform::remove_file(folder + name);
        if (name.compare(0, std::strlen(lock_file_prefix), lock_file_prefix) == 0 && name != held.name()) {
            platform::Lock lock;
            bool busy = false;
            if (platform::take_lock(folder + name, lock, busy)) platform::unlock_and_remove(folder + name, lock);
        }
    }
}
