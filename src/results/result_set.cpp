#include "results/result_set.h"

#include <cerrno>
#include <map>
#include <sstream>

#include "platform/platform.h"
#include "shared/private_names.h"
#include "shared/run_error.h"

namespace {

constexpr const char* kJournalEnd = "end";

// What a journal entry does to its final name.
enum class Change { added = 0, replaced = 1, dropped = 2 };

// One file of a replacement; names are plain names of the result folder.
struct Entry {
    Change change = Change::added;
    std::string temp;  // the new file ("-" for a dropped one, which has none)
    std::string backup;
    std::string final_name;
};

constexpr const char* kNoTemp = "-";

// Renames the backups back and removes new files that had no earlier one.
// With `keep_if_complete`, a set whose new files all arrived stays instead.
// False when the folder could not be put back.
bool undo(const platform::Folder& folder, const std::vector<Entry>& entries, bool keep_if_complete)
{
    bool complete = true;
    for (const Entry& e : entries)
        if (e.change != Change::dropped) complete = complete && !folder.exists(e.temp);
    if (complete && keep_if_complete) return true;
    bool restored = true;
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        if (e->change != Change::added) {
            if (folder.exists(e->backup) && !folder.replace(e->backup, e->final_name)) restored = false;
        } else if (!folder.exists(e->temp) && !folder.remove(e->final_name)) {
            restored = false;
        }
    }
    const bool synced = static_cast<bool>(folder.sync());
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

platform::Status write_journal(const platform::Folder& folder, const std::string& name, const std::string& lock_name,
                               const std::vector<Entry>& entries)
{
    std::FILE* journal = nullptr;
    const platform::Status created = folder.create_new(name, journal);
    if (!created) return created;
    std::fprintf(journal, "%s\n", encoded(lock_name).c_str());
    for (const Entry& e : entries)
        std::fprintf(journal, "%d %s %s %s\n", static_cast<int>(e.change), encoded(e.temp).c_str(),
                     encoded(e.backup).c_str(), encoded(e.final_name).c_str());
    std::fprintf(journal, "%s\n", kJournalEnd);
    const platform::Status synced = platform::sync_stream(journal);
    const bool closed = std::fclose(journal) == 0;
    if (!synced) return synced;
    return closed ? platform::Status() : platform::Status::failure(errno);  // fclose's reason
}

// A journal holds a few lines per result file; a larger file is none.
constexpr size_t kLargestJournal = size_t{1} << 20;

// What reading a journal found.
enum class Journal { whole, cut, foreign };

// Reads a journal: whole, cut (not written whole: nothing had been renamed
// yet), or foreign (no run wrote it: not a regular file, or too large).
Journal read_journal(const platform::Folder& folder, const std::string& name, std::string& lock_name,
                     std::vector<Entry>& entries)
{
    std::FILE* f = nullptr;
    const platform::Status opened = folder.open_regular(name, f);
    if (!opened) return opened.not_found() ? Journal::cut : Journal::foreign;
    std::string text(kLargestJournal + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    if (text.size() > kLargestJournal) return Journal::foreign;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || !decoded(line, lock_name)) return Journal::cut;
    while (std::getline(in, line)) {
        if (line == kJournalEnd) return Journal::whole;
        std::istringstream fields(line);
        Entry e;
        int change = 0;
        std::string temp, backup, final_name;
        if (!(fields >> change >> temp >> backup >> final_name) || change < 0 || change > 2 ||
            !decoded(temp, e.temp) || !decoded(backup, e.backup) || !decoded(final_name, e.final_name))
            return Journal::cut;
        e.change = static_cast<Change>(change);
        entries.push_back(e);
    }
    return Journal::cut;
}

bool ends_with(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A private file of run `run` of that kind (".tmp", ".bak").
bool private_file_of(const std::string& name, const std::string& run, const char* kind)
{
    return run_of(name) == run && ends_with(name, kind);
}

// Whether a journal of run `run` names only what such a journal names: the
// lock of a result of its folder, that run's own temporary files and
// backups, and final names that are plain names of the folder and none of
// the program's own.
bool written_by_run(const std::string& run, const std::string& lock_name, const std::vector<Entry>& entries)
{
    const std::string lock_prefix = lock_file_prefix;
    if (lock_name.compare(0, lock_prefix.size(), lock_prefix) != 0 || !platform::is_plain_name(lock_name))
        return false;
    for (const Entry& e : entries) {
        const bool temp_ok = e.change == Change::dropped ? e.temp == kNoTemp : private_file_of(e.temp, run, ".tmp");
        if (!temp_ok || !private_file_of(e.backup, run, ".bak") || !platform::is_plain_name(e.final_name) ||
            named_like_private(e.final_name))
            return false;
    }
    return true;
}

// Finishes or undoes the replacement of a journal of run `run`, which has
// ended; false when it must stay, with every file of its run (its result is
// locked by a run, the folder could not be put back, or no run wrote it).
bool settle_journal(const platform::Folder& folder, const std::string& journal, const std::string& run,
                    const ResultLock& held)
{
    std::string lock_name;
    std::vector<Entry> entries;
    const Journal read = read_journal(folder, journal, lock_name, entries);
    if (read == Journal::foreign) return false;
    if (read == Journal::cut) return static_cast<bool>(folder.remove(journal));
    if (!written_by_run(run, lock_name, entries)) return false;
    platform::Lock lock;
    const bool own = lock_name == held.name();
    if (!own && !folder.take_lock(lock_name, lock)) return false;
    const bool settled = undo(folder, entries, true) && folder.remove(journal);
    if (!own) folder.unlock_and_remove(lock_name, lock);
    return settled;
}

// The entries of a replacement: each file's names and whether an earlier
// file of its final name exists, then the earlier files taken away.
std::vector<Entry> entries_of(const platform::Folder& folder, const std::vector<OutputFile*>& files,
                              const std::vector<std::string>& dropped)
{
    std::vector<Entry> entries;
    for (const OutputFile* file : files) {
        Entry e;
        e.final_name = platform::name_in_folder(file->final_path());
        e.change = folder.exists(e.final_name) ? Change::replaced : Change::added;
        e.temp = platform::name_in_folder(file->temp_path());
        e.backup = private_name(".bak");
        entries.push_back(e);
    }
    for (const std::string& path : dropped) {
        const std::string name = platform::name_in_folder(path);
        if (folder.exists(name)) entries.push_back(Entry{Change::dropped, kNoTemp, private_name(".bak"), name});
    }
    return entries;
}

// Renames each earlier file to its backup and each new file to its final
// name, then syncs the folder. Returns the failure, or nothing.
std::string put_in_place(const platform::Folder& folder, const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        platform::Status moved;
        if (e.change != Change::added) moved = folder.replace(e.final_name, e.backup);
        if (moved && e.change != Change::dropped) moved = folder.replace(e.temp, e.final_name);
        if (!moved) return "cannot put " + folder.path() + e.final_name + " in place: " + moved.reason();
    }
    const platform::Status synced = folder.sync();
    if (!synced) return "cannot write the folder " + shown_folder(folder.path()) + ": " + synced.reason();
    return {};
}

// A result's lock that no run holds any longer is removed, if it is one: a
// lock file names the run that took it, or is still empty (just made, or
// made by the taking itself).
void remove_if_left(const platform::Folder& folder, const std::string& name)
{
    platform::Lock lock;
    if (!folder.take_lock(name, lock)) return;
    char text[64];
    size_t length = 0;
    const bool read = static_cast<bool>(platform::read_at(lock.handle, text, sizeof text, 0, length));
    const std::string holder = read ? std::string(text, length) : std::string();
    const std::string run = run_of(holder);
    const bool a_lock = read && (length == 0 || (!run.empty() && holder == run_lock_name(run)));
    if (a_lock)
        folder.unlock_and_remove(name, lock);
    else
        platform::unlock(lock);
}

}  // namespace

std::string shown_folder(const std::string& folder) { return folder.empty() ? "the current folder" : folder; }

void commit_together(const std::vector<OutputFile*>& files, const std::vector<std::string>& dropped,
                     const ResultLock& lock)
{
    for (OutputFile* file : files) file->seal();
    const platform::Folder& folder = lock.folder();
    if (!folder.still_at_its_path())
        throw RunError("the folder " + shown_folder(folder.path()) +
                       " is no longer the folder this run began writing in (it was moved or replaced); nothing "
                       "was put in place there, and the earlier results are as they were");
    const std::vector<Entry> entries = entries_of(folder, files, dropped);
    const std::string journal = private_name(".jnl");

    // No signal may end the process between two renames; they are delivered
    // once the set is whole again, old or new.
    platform::hold_signals();
    std::string failure;
    platform::Status journaled = write_journal(folder, journal, lock.name(), entries);
    if (journaled) journaled = folder.sync();
    if (!journaled) {
        failure = "cannot put the results in place in " + shown_folder(folder.path()) + ": " + journaled.reason() +
                  "; the earlier results were kept";
        (void)folder.remove(journal);
    } else {
        failure = put_in_place(folder, entries);
        if (failure.empty()) {
            // The set is in place: what is left behind here, a later run removes.
            for (OutputFile* file : files) file->mark_committed();
            (void)folder.remove(journal);
            for (const Entry& e : entries) (void)folder.remove(e.backup);
            (void)folder.sync();
        } else if (undo(folder, entries, false) && folder.remove(journal)) {
            failure += "; the earlier results were kept";
        } else {
            // The journal stays, and so must every file it names, so that the
            // next run sees what arrived and what did not.
            for (OutputFile* file : files) file->mark_committed();
            failure += "; the earlier results could not all be put back now: the next run in " +
                       shown_folder(folder.path()) + " puts them back";
        }
    }
    platform::release_signals(failure.empty());
    if (!failure.empty()) throw RunError(failure);
}

void clean_up_folder(const ResultLock& held)
{
    const platform::Folder& folder = held.folder();
    std::map<std::string, std::vector<std::string>> files_of;  // run -> its private files
    for (const std::string& name : folder.entries()) {
        const std::string run = run_of(name);
        if (!run.empty() && run != run_id()) files_of[run].push_back(name);
    }
    for (const auto& [run, files] : files_of) {
        // A run whose lock can be taken is gone (a run takes its lock before
        // it makes its first private file, and keeps it while it lives).
        const std::string lock_name = run_lock_name(run);
        platform::Lock lock;
        if (!folder.take_lock(lock_name, lock)) continue;
        bool kept = false;  // a journal that must stay keeps every file of its run
        for (const std::string& name : files)
            if (ends_with(name, ".jnl") && !settle_journal(folder, name, run, held)) kept = true;
        if (!kept)
            for (const std::string& name : files)
                if (ends_with(name, ".tmp") || ends_with(name, ".bak")) (void)folder.remove(name);
        folder.unlock_and_remove(lock_name, lock);
    }
    for (const std::string& name : folder.entries())
        if (name.rfind(lock_file_prefix, 0) == 0 && name != held.name()) remove_if_left(folder, name);
}
