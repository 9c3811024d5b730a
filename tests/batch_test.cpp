// The drop target's batch list and its claims over a folder system in
// memory: what the walk takes, skips and says, and a folder changed between
// its listing and its conversion.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cli/batch_list.hpp"
#include "cli/claims.hpp"

namespace halvorine::cli {
namespace {

namespace fs = std::filesystem;

// A tree as lines: "a/b.wav" a file, "a/" a folder, "a/l -> x" a link to x,
// "a/p |" a pipe, "a/x.wav #0" a file the system numbers 0, "a/m = a" a
// folder that is a (the same identity: a folder mounted inside itself),
// "a/locked!/" a folder that cannot be read, "a/cut~/" one whose list fails
// after its first entry.
class Memory final : public Folders {
public:
    struct Node {
        EntryKind kind;
        std::uint64_t number;
        std::string target;  // of a link, or of a folder that is another
        bool locked = false;
        bool cut = false;
    };

    explicit Memory(const std::vector<std::string>& tree) {
        for (const auto& line : tree) put(line);
    }

    void put(std::string line) {
        Node node{EntryKind::file, ++numbers_, {}};
        const auto split = [&line](std::string_view mark) {
            const std::size_t at = line.find(mark);
            if (at == std::string::npos) return std::string();
            std::string rest = line.substr(at + mark.size());
            line.resize(at);
            return rest;
        };
        if (auto to = split(" -> "); !to.empty()) node = {EntryKind::link, numbers_, to};
        if (auto to = split(" = "); !to.empty()) node = {EntryKind::folder, nodes_.at(to).number, to};
        if (line.ends_with(" #0")) {
            line.resize(line.size() - 3);
            node.number = 0;
        }
        if (line.ends_with(" |")) {
            line.resize(line.size() - 2);
            node.kind = EntryKind::other;
        }
        if (line.ends_with("/")) {
            line.pop_back();
            node.kind = EntryKind::folder;
        }
        if (line.ends_with("!")) node.locked = true;
        if (line.ends_with("~")) node.cut = true;
        for (std::size_t slash = line.find('/'); slash != std::string::npos; slash = line.find('/', slash + 1)) {
            const std::string folder = line.substr(0, slash);
            nodes_.try_emplace(folder, Node{EntryKind::folder, ++numbers_, {}, folder.ends_with("!"), folder.ends_with("~")});
        }
        nodes_.insert_or_assign(line, node);
    }
    void remove(const std::string& path) { nodes_.erase(path); }

    std::optional<EntryKind> kind_of(const fs::path& path) const override {
        const Node* node = find(path.generic_string(), true);
        if (node == nullptr) return std::nullopt;
        return node->kind;
    }
    std::unique_ptr<Folder> open(const fs::path& path) const override {
        return folder(path.generic_string() == "." ? "" : path.generic_string(), true);
    }

private:
    class Open final : public Folder {
    public:
        Open(const Memory& memory, std::string path, std::uint64_t number)
            : memory_(memory), path_(std::move(path)), number_(number) {}
        std::optional<FileIdentity> identity() const override { return FileIdentity{1, number_}; }
        std::optional<Listing> list() const override {
            const Node* self = memory_.find(path_, true);
            if (self != nullptr && self->locked) return std::nullopt;
            const std::string prefix = path_.empty() ? "" : path_ + "/";
            Listing listing;
            for (auto it = memory_.nodes_.lower_bound(prefix); it != memory_.nodes_.end(); ++it) {
                const auto& [name, node] = *it;
                if (!name.starts_with(prefix)) break;
                if (name.size() == prefix.size() || name.find('/', prefix.size()) != std::string::npos) continue;
                if (self != nullptr && self->cut && !listing.entries.empty()) {
                    listing.complete = false;
                    break;
                }
                const std::string own = name.substr(prefix.size());
                listing.entries.push_back({fs::path(own), node.kind, false});
            }
            return listing;
        }
        std::unique_ptr<Folder> enter(const fs::path& name) const override {
            return memory_.folder(join(name), false, true);
        }
        std::optional<FileIdentity> identity_of(const fs::path& name, bool follow) const override {
            const Node* node = memory_.find(join(name), follow, true);
            if (node == nullptr) return std::nullopt;
            return FileIdentity{1, node->number};
        }
        FileHandle open_input(const fs::path&, bool) const override { return nullptr; }
        FileHandle open_output(const fs::path&) const override { return nullptr; }
        bool own_file_or_missing(const fs::path&) const override { return true; }

    private:
        std::string join(const fs::path& name) const {
            return path_.empty() ? name.generic_string() : path_ + "/" + name.generic_string();
        }
        const Memory& memory_;
        std::string path_;
        std::uint64_t number_;
    };

    // Where a link, or a folder that is another one, leads.
    std::string resolved(const std::string& path) const {
        const auto it = nodes_.find(path);
        return it != nodes_.end() && !it->second.target.empty() ? resolved(it->second.target) : path;
    }
    // The path through the links and folders that are others on the way, as
    // the system goes.
    std::string canonical(const std::string& path, bool follow) const {
        std::string at;
        for (std::size_t from = 0; from <= path.size();) {
            const std::size_t slash = std::min(path.find('/', from), path.size());
            if (!at.empty()) {
                at = resolved(at);
                at += '/';
            }
            at.append(path, from, slash - from);
            from = slash + 1;
        }
        return follow ? resolved(at) : at;
    }
    // `held`: the path's folder is held open, so only its last part is
    // looked up again.
    const Node* find(const std::string& path, bool follow, bool held = false) const {
        const std::string at = held ? (follow ? resolved(path) : path) : canonical(path, follow);
        const auto it = nodes_.find(at);
        return it == nodes_.end() ? nullptr : &it->second;
    }
    std::unique_ptr<Folder> folder(const std::string& path, bool follow, bool held = false) const {
        if (path.empty()) return std::make_unique<Open>(*this, "", 0);
        const Node* node = find(path, follow, held);
        if (node == nullptr || node->kind != EntryKind::folder) return nullptr;
        return std::make_unique<Open>(*this, resolved(held ? path : canonical(path, follow)), node->number);
    }

    std::map<std::string, Node> nodes_;
    std::uint64_t numbers_ = 100;
};

// What a batch will say, in order: a recording's path, or a note's first line.
std::vector<std::string> said(const BatchList& list) {
    std::vector<std::string> lines;
    for (const auto& item : list.items()) {
        if (item.folder == no_folder) {
            lines.push_back(item.note.substr(1, item.note.find('\n', 1) - 1));
        } else {
            lines.push_back((list.folders()[item.folder].path / item.name).generic_string());
        }
    }
    return lines;
}

TEST(BatchList, WhatTheWalkTakesAndSays) {
    const struct {
        std::vector<std::string> tree, args, said;
        Skipped skipped = {};
    } cases[] = {
        // A folder's files by name, then its folders by name; links, hidden
        // entries, pipes and other files passed over and counted.
        {{"rec/b.WAV", "rec/a.wav", "rec/Sub/c.Wav", "rec/alpha/e.wav", "rec/notes.txt", "rec/._a.wav",
          "rec/l.wav -> rec/a.wav", "rec/out -> out", "out/x.wav", "rec/p.wav |", "rec/empty/"},
         {"rec"},
         {"rec/a.wav", "rec/b.WAV", "rec/Sub/c.Wav", "rec/alpha/e.wav"},
         {2, 1, 2}},
        // Named paths: missing, a pipe, a link to a folder, one file twice.
        {{"rec/a.wav", "p |", "to -> rec"},
         {"missing", "p", "to", "rec/a.wav", "rec"},
         {"Not converted: missing was not found.", "Not converted: p is a pipe or a device, not a file.",
          "to/a.wav"}},
        {{"empty/", "docs/in/x.txt"},
         {"empty", "docs"},
         {"Not converted: empty holds no .wav file.", "Not converted: docs holds no .wav file."},
         {0, 0, 1}},
        // A folder named after its own subfolder holds recordings: met already.
        {{"rec/sub/a.wav"}, {"rec/sub", "rec"}, {"rec/sub/a.wav"}},
        // A folder mounted inside itself is walked once.
        {{"rec/a.wav", "rec/loop = rec"}, {"rec", "rec/loop/a.wav"}, {"rec/a.wav"}},
        // Nothing read is no proof that a folder holds no recording.
        {{"rec/locked!/x.wav"}, {"rec"}, {"Not converted: the folder rec/locked! cannot be read."}},
        {{"rec/a.wav", "rec/locked!/x.wav", "rec/z.wav"},
         {"rec"},
         {"rec/a.wav", "rec/z.wav", "Not converted: the folder rec/locked! cannot be read."}},
        {{"rec/cut~/a.wav", "rec/cut~/b.wav"},
         {"rec"},
         {"rec/cut~/a.wav", "Not converted: the rest of the folder rec/cut~, which cannot be read to its end."}},
        // Where the system numbers no file, none is taken for another.
        {{"fuse/a.wav #0", "fuse/b.wav #0"}, {"fuse", "fuse/a.wav"}, {"fuse/a.wav", "fuse/b.wav", "fuse/a.wav"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tree.front());
        const Memory memory(c.tree);
        std::vector<std::size_t> found;
        BatchList list(memory, [&found](std::size_t n) { found.push_back(n); });
        for (const auto& arg : c.args) list.add(arg);
        EXPECT_EQ(said(list), c.said);
        EXPECT_EQ(list.skipped().links, c.skipped.links);
        EXPECT_EQ(list.skipped().hidden, c.skipped.hidden);
        EXPECT_EQ(list.skipped().other, c.skipped.other);
        // The count said while listing never falls, and ends at the walks' files.
        EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
        if (!found.empty()) {
            EXPECT_LE(found.back(), list.files());
        }
    }
}

// Between a folder's listing and its conversion: opened again as it was, or
// found out, by the folder on the way that was replaced by a link or by
// another folder, or removed, whatever its path now leads to. The folder
// named stays open, whether or not the system numbers it.
TEST(BatchList, FolderChangedOnceListed) {
    const struct {
        std::string named, change;  // the folder named; a line put in the tree, or "-path" removed
        const char* lost;           // the folder found changed, or none
        bool changed;
    } cases[] = {
        {"rec/", "rec/new.wav", nullptr, false},
        {"rec/", "rec/sub -> out", "rec/sub", false},
        {"rec/", "rec/sub/", "rec/sub", true},
        {"rec/", "rec/sub/deep/", "rec/sub/deep", true},
        {"rec/", "-rec/sub", "rec/sub", false},
        {"rec/", "rec -> out", nullptr, false},
        {"rec/ #0", "rec -> out", nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named + " " + c.change);
        Memory memory({c.named, "rec/sub/deep/a.wav", "out/sub/deep/a.wav"});
        BatchList list(memory);
        list.add("rec");
        list.add("out");
        const std::size_t deep = list.items().front().folder;
        const auto listed = list.open(deep)->identity();
        list.open(list.items().back().folder);  // the other folder's turn, as the batch goes on
        if (c.change.starts_with("-")) {
            memory.remove(c.change.substr(1));
        } else {
            memory.put(c.change);
        }
        std::size_t lost = no_folder;
        bool changed = false;
        const Folder* opened = list.open(deep, &lost, &changed);
        EXPECT_EQ(opened ? opened->identity() : std::nullopt, c.lost ? std::nullopt : listed);
        EXPECT_EQ(lost == no_folder ? "" : list.folders()[lost].path.generic_string(), c.lost ? c.lost : "");
        EXPECT_EQ(changed, c.changed);
    }
}

// A hundred thousand recordings in a hundred folders, each taken once.
TEST(BatchList, HundredThousandRecordings) {
    std::vector<std::string> tree;
    for (int f = 0; f < 100; ++f) {
        for (int r = 0; r < 1000; ++r) tree.push_back("card/" + std::to_string(f) + "/" + std::to_string(r) + ".wav");
    }
    const Memory memory(tree);
    BatchList list(memory);
    list.add("card");
    list.add("card/7");
    EXPECT_EQ(list.files(), 100'000u);
    EXPECT_EQ(list.items().size(), 100'000u);
    EXPECT_EQ(list.folders().size(), 101u);
}

TEST(Claims, AnotherRecordingsOutput) {
    const FileIdentity out{1, 10}, take1{1, 1}, take2{1, 2}, unknown{1, 0};
    Claims claims;
    claims.claim(out, {take1, 7});
    claims.claim(unknown, {take2, 8});
    const struct {
        std::optional<FileIdentity> output, input;
        int earlier;  // the item that claimed it, or -1
    } cases[] = {
        {out, take2, 7},
        {out, take1, -1},  // the same recording, named again
        {out, std::nullopt, 7},
        {out, unknown, 7},
        {FileIdentity{1, 11}, take2, -1},
        {FileIdentity{2, 10}, take2, -1},  // another volume
        {unknown, take1, -1},              // matches nothing, nor is kept
        {std::nullopt, take2, -1},
    };
    for (const auto& c : cases) {
        const Claim* earlier = claims.claimant(c.output, c.input);
        EXPECT_EQ(earlier ? static_cast<int>(earlier->item) : -1, c.earlier);
    }
}

}  // namespace
}  // namespace halvorine::cli
