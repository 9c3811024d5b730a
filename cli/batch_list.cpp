#include "cli/batch_list.hpp"

#include <algorithm>

#include "cli/folder_rule.hpp"
#include "cli/naming.hpp"

namespace halvorine::cli {

namespace fs = std::filesystem;

BatchList::BatchList(const Folders& folders, std::function<void(std::size_t)> found)
    : system_(folders), found_(std::move(found)) {}

void BatchList::add(const fs::path& path) {
    const auto kind = system_.kind_of(path);
    if (!kind) {
        note(Message::drop_missing, path);
    } else if (*kind == EntryKind::folder) {
        // What was named is taken as it is, a link or a hidden folder
        // included; only what the walk finds inside is judged.
        walk(path);
    } else if (*kind != EntryKind::file) {
        note(Message::drop_not_file, path);
    } else {
        const std::size_t k = folder_of_named(path);
        const Folder* folder = k == no_folder ? nullptr : open(k);
        if (folder == nullptr) {
            note(Message::drop_unreadable, path.parent_path());
            return;
        }
        const auto id = folder->identity_of(path.filename(), true);
        if (!first_time(id)) return;
        items_.push_back({k, path.filename(), true, id, {}});
        ++files_;
    }
}

void BatchList::without_path(std::size_t count) {
    items_.push_back({no_folder, {}, false, {}, message_text(Message::drop_no_path, {std::to_string(count)})});
}

Folder* BatchList::open(std::size_t k, std::size_t* lost, bool* changed) {
    if (changed != nullptr) *changed = false;
    std::vector<std::size_t> line;  // k, then each folder above it, up to the named one
    for (std::size_t f = k; f != no_folder; f = folders_[f].parent) line.push_back(f);
    const std::size_t top = line.back();
    line.pop_back();
    if (top != top_) {
        chain_.clear();
        top_ = top;
    }
    std::size_t kept = 0;
    while (kept < chain_.size() && kept < line.size() && chain_[kept].first == line[line.size() - 1 - kept]) ++kept;
    chain_.resize(kept);
    Folder* at = chain_.empty() ? tops_.at(top).get() : chain_.back().second.get();
    while (chain_.size() < line.size()) {
        const std::size_t f = line[line.size() - 1 - chain_.size()];
        const BatchFolder& folder = folders_[f];
        auto opened = at->enter(folder.path.filename());
        // Where the system numbers no folder, entering by handle, never
        // through a link, from a named folder held open since its listing,
        // still keeps to the folders named.
        const bool other =
            opened && folder.identity && known(*folder.identity) && opened->identity() != folder.identity;
        if (!opened || other) {
            if (lost != nullptr) *lost = f;
            if (changed != nullptr) *changed = other;
            return nullptr;
        }
        at = opened.get();
        chain_.emplace_back(f, std::move(opened));
    }
    return at;
}

std::size_t BatchList::named(const fs::path& path, std::unique_ptr<Folder> folder) {
    const std::size_t k = folders_.size();
    folders_.push_back({no_folder, path, folder->identity()});
    tops_.emplace(k, std::move(folder));
    chain_.clear();
    top_ = k;
    return k;
}

bool BatchList::first_time(const std::optional<FileIdentity>& id) {
    return !id || !known(*id) || seen_.insert(*id).second;
}

std::size_t BatchList::folder_of_named(const fs::path& file) {
    const fs::path parent = file.parent_path();
    if (const auto it = named_folders_.find(parent); it != named_folders_.end()) return it->second;
    auto opened = system_.open(parent.empty() ? fs::path(".") : parent);
    if (!opened) return no_folder;
    const std::size_t k = named(parent, std::move(opened));
    named_folders_.emplace(parent, k);
    return k;
}

void BatchList::note(Message m, const fs::path& path) {
    items_.push_back({no_folder, {}, false, {}, message_text(m, {shown_name(halvorine::utf8_name(path))})});
}

bool BatchList::kept(const FolderEntry& entry) {
    const Entry as = entry.kind == EntryKind::folder ? Entry::folder
                     : entry.kind == EntryKind::file ? Entry::file
                     : entry.kind == EntryKind::link ? Entry::link
                                                     : Entry::other;
    switch (judge(halvorine::utf8_name(entry.name), as, entry.hidden)) {
        case Verdict::take:
        case Verdict::walk: return true;
        case Verdict::link: ++skipped_.links; break;
        case Verdict::hidden: ++skipped_.hidden; break;
        case Verdict::other: ++skipped_.other; break;
    }
    return false;
}

// The recordings in `top`, by name, then those of its folders, by name,
// folder by folder, on a list of its own rather than the call stack, which a
// deep tree could exhaust. A folder with none is said to hold none only when
// all of it could be read, and none of its folders was met before (it said
// its own recordings, or that it had none).
void BatchList::walk(const fs::path& top) {
    auto root = system_.open(top);
    if (!root) {
        note(Message::drop_unreadable, top);
        return;
    }
    if (!first_time(root->identity())) return;
    const std::size_t named_at = named(top, std::move(root));
    std::size_t found = 0;  // those met before included
    bool whole = true;
    bool met_before = false;
    std::vector<std::size_t> to_walk{named_at};  // the next at the back
    while (!to_walk.empty()) {
        const std::size_t k = to_walk.back();
        to_walk.pop_back();
        const fs::path path = folders_[k].path;
        bool changed = false;
        std::size_t lost = k;
        const Folder* folder = open(k, &lost, &changed);
        const auto listing = folder != nullptr ? folder->list() : std::nullopt;
        if (!listing) {
            note(changed ? Message::drop_changed : Message::drop_unreadable, folders_[lost].path);
            whole = false;
            continue;
        }
        std::vector<fs::path> files;
        std::vector<fs::path> inner;
        for (const auto& entry : listing->entries) {
            if (kept(entry)) (entry.kind == EntryKind::folder ? inner : files).push_back(entry.name);
        }
        // Names of one part each: their strings order them as their paths
        // would, without parsing each name at every comparison.
        const auto by_name = [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); };
        std::sort(files.begin(), files.end(), by_name);
        std::sort(inner.begin(), inner.end(), [&by_name](const fs::path& a, const fs::path& b) { return by_name(b, a); });
        found += files.size();
        for (auto& name : files) {
            const auto id = folder->identity_of(name, false);
            if (!first_time(id)) continue;
            items_.push_back({k, std::move(name), false, id, {}});
            ++files_;
        }
        if (found_) found_(files_);
        if (!listing->complete) {
            note(Message::drop_partly_read, path);
            whole = false;
        }
        for (const auto& name : inner) {
            const auto id = folder->identity_of(name, false);
            if (!first_time(id)) {
                met_before = true;
                continue;
            }
            folders_.push_back({k, path / name, id});
            to_walk.push_back(folders_.size() - 1);
        }
    }
    if (found == 0 && whole && !met_before) note(Message::drop_no_wav, top);
}

}  // namespace halvorine::cli
