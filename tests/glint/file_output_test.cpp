#include "files/file_output.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"
#include "wine.h"

namespace {

namespace fs = std::filesystem;
using glint::replaceFileContents;
using testing_support::Bytes;
using testing_support::patternBytes;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

bool replace(const fs::path& target, const Bytes& head, const Bytes& tail) {
    return !replaceFileContents(target.c_str(),
                                {{head.data(), head.size()}, {tail.data(), tail.size()}});
}

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(ReplaceFileContents, WritesPiecesInOrderAndKeepsTheFileMode) {
    ScratchDir dir;
    const Bytes head = patternBytes(14, 1), tail = patternBytes(1000, 2);
    ASSERT_TRUE(replace(dir / "new.bin", head, tail));
    Bytes both = head;
    both.insert(both.end(), tail.begin(), tail.end());
    EXPECT_EQ(readFile(dir / "new.bin"), both);

    writeFile(dir / "old.bin", {1, 2, 3});
    fs::permissions(dir / "old.bin", fs::perms(0640));
    ASSERT_TRUE(replace(dir / "old.bin", tail, head));
    EXPECT_EQ(fs::status(dir / "old.bin").permissions(), fs::perms(0640));

    writeFile(dir / "linked.bin", patternBytes(20, 3));
    fs::create_hard_link(dir / "linked.bin", dir / "link.bin");  // written in place, from byte 20 on first
    ASSERT_TRUE(replace(dir / "linked.bin", head, tail));
    EXPECT_EQ(readFile(dir / "link.bin"), both);
    EXPECT_EQ(entriesIn(dir.path()), 4U);  // no temporary left behind
}

TEST(ReplaceFileContents, FollowsSymbolicLinksAndKeepsThemLinks) {
    ScratchDir dir;
    fs::create_directory(dir / "real");
    writeFile(dir / "real" / "target.bin", {9});
    fs::create_symlink(dir / "real" / "target.bin", dir / "link.bin");
    const Bytes content = patternBytes(50, 3);
    ASSERT_TRUE(replace(dir / "link.bin", content, {}));
    EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
    EXPECT_EQ(readFile(dir / "real" / "target.bin"), content);
}

TEST(ReplaceFileContents, WritesDevicesInPlaceAndReportsTheirFailures) {
    ScratchDir dir;
    fs::create_symlink("/dev/null", dir / "null");
    fs::create_symlink("/dev/full", dir / "full");
    const Bytes content = patternBytes(10, 4);
    EXPECT_TRUE(replace(dir / "null", content, content));
    EXPECT_FALSE(replace(dir / "full", content, content));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_FALSE(replace(dir / "missing" / "file", content, content));
    EXPECT_FALSE(replace(dir.path(), content, content));  // a folder
}

// A write that fails part way (here: the file size limit) must leave the old
// file exactly as it was and remove the temporary.
TEST(ReplaceFileContents, FailedWriteLeavesTheOldFileUntouched) {
    ScratchDir dir;
    const Bytes old = patternBytes(100, 5);
    writeFile(dir / "keep.bin", old);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Bytes big = patternBytes(1 << 20, 6);
        ::_exit(replace(dir / "keep.bin", big, big) ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the oversized write was reported as success";
    EXPECT_EQ(readFile(dir / "keep.bin"), old);
    EXPECT_EQ(entriesIn(dir.path()), 1U);
}

// The rule of every save: a file is written only where a plain write by the
// same user would be allowed, and a save that fails leaves the old file as it
// was. Each row saves in a child process. The suite runs as root, so the
// permission rows drop to user 65534 as `setpriv --clear-groups` does, the
// link rows switch on the kernel's protections, and the full-disk rows
// mount a small tmpfs.
using testing_support::kNobody;
const Bytes kOld = patternBytes(16000, 7);
const Bytes kNew = patternBytes(std::size_t{32} << 20, 8);

struct Save {
    uid_t user = 0;
    rlim_t sizeLimit = RLIM_INFINITY;
    bool sigintIgnored = false;
    // Runs with the child stopped once the save is under way: a file other
    // than the target appeared beside it, or a file there changed.
    std::function<void(pid_t child, const fs::path& appeared)> during = nullptr;
};

// The child's wait status.
int saveInChild(const fs::path& target, const Save& save) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(watch, target.parent_path().c_str(), IN_CREATE | IN_MODIFY);
    const pid_t child = ::fork();
    if (child == 0) {
        if (save.sigintIgnored) std::signal(SIGINT, SIG_IGN);
        const rlimit limit{save.sizeLimit, save.sizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
            (save.user != 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(save.user, save.user, save.user) != 0 ||
                                ::setresuid(save.user, save.user, save.user) != 0))) {
            ::_exit(255);
        }
        ::_exit(replaceFileContents(target.c_str(), {{kNew.data(), kNew.size()}}).value());
    }
    alignas(inotify_event) char events[4096];
    pollfd ready{watch, POLLIN, 0};
    for (bool underWay = !save.during; !underWay && ::poll(&ready, 1, 10000) == 1;) {
        const ssize_t got = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < got && !underWay;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            const fs::path appeared = target.parent_path() / event->name;
            underWay = (event->mask & IN_MODIFY) != 0 || appeared != target;
            if (underWay) {
                ::kill(child, SIGSTOP);
                save.during(child, appeared);
                ::kill(child, SIGCONT);
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

struct stat statusOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status;
}

enum Needs { kNothing, kProtectedSymlinks, kProtectedRegular, kSmallDisk, kDiskWithoutReserve, kAppendOnlyFolder };

// What a row needs of the machine, for as long as it lives; `why` says what
// cannot be had.
struct Machine {
    std::string why;
    std::function<void()> undo = [] {};
    Machine() = default;
    Machine(const Machine&) = delete;
    ~Machine() { undo(); }
};

// Folders made by shell commands, and how they are undone; $D is the folder.
const std::map<Needs, std::pair<std::string, std::string>> kMadeByShell = {
    {kDiskWithoutReserve,  // ext2 cannot reserve room
     {R"(mkdir "$D" && truncate -s 1M "$D.img" && PATH=$PATH:/sbin mkfs.ext2 -q "$D.img" && mount -o loop "$D.img" "$D")",
      R"(umount -l "$D")"}},
    {kAppendOnlyFolder, {R"(mkdir "$D" && chattr +a "$D")", R"(chattr -a "$D")"}},
};

// A kernel switch (/proc/sys/fs/...) set to 1, a tmpfs of 64 KiB with
// room for two names beside its folder (a hard link takes one), or a folder
// made by the shell.
void prepare(Needs needs, const fs::path& disk, Machine& machine) {
    if (const auto shell = kMadeByShell.find(needs); shell != kMadeByShell.end()) {
        const auto run = [disk](const std::string& command) {
            return std::system(("D=" + testing_support::shellQuoted(disk.string()) + "; " + command).c_str()) == 0;
        };
        if (!run(shell->second.first)) machine.why = shell->second.first + " failed";
        machine.undo = [run, undo = shell->second.second] { EXPECT_TRUE(run(undo)); };
    } else if (needs == kSmallDisk) {
        fs::create_directory(disk);
        if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k,nr_inodes=3,mode=0755") != 0) {
            machine.why = std::string("no tmpfs can be mounted: ") + std::strerror(errno);
        }
        machine.undo = [disk] { ::umount2(disk.c_str(), MNT_DETACH); };
    } else if (needs != kNothing) {
        const std::string path = needs == kProtectedSymlinks ? "/proc/sys/fs/protected_symlinks" : "/proc/sys/fs/protected_regular";
        int before = 0, now = 0;
        std::ifstream(path) >> before;
        std::ofstream(path) << 1;
        std::ifstream(path) >> now;
        if (now != 1) machine.why = path + " cannot be set to 1";
        machine.undo = [path, before] { std::ofstream(path) << before; };
    }
}

struct Row {
    const char* what;
    Needs needs = kNothing;
    // Writes the old files into the folder and returns the target.
    std::function<fs::path(const fs::path& dir)> setUp;
    Save save = {};
    int endsWith = 0;  // the error the save returns, or minus the signal that ends the program
    bool written = false;  // the target holds the new bytes, else the old ones (if any)
    std::function<void(const fs::path& target)> check = nullptr;
};

fs::path oldFile(const fs::path& path, mode_t mode, uid_t owner = 0, gid_t group = 0) {
    writeFile(path, kOld);
    EXPECT_EQ(::chmod(path.c_str(), mode) | ::chown(path.c_str(), owner, group), 0);
    return path;
}

fs::path folder(const fs::path& path, mode_t mode, uid_t owner = 0) {
    fs::create_directory(path);
    EXPECT_EQ(::chmod(path.c_str(), mode) | ::chown(path.c_str(), owner, owner), 0);
    return path;
}

fs::path plainOld(const fs::path& dir) { return oldFile(dir / "old.bin", 0644); }
fs::path hardLinkedOld(const fs::path& dir) {
    fs::create_hard_link(plainOld(dir), dir / "old.bin.link");
    return dir / "old.bin";
}
void otherLinkKept(const fs::path& target) { EXPECT_EQ(readFile(target.string() + ".link"), kOld); }
auto sending(int signalNumber) {
    return [signalNumber](pid_t child, const fs::path&) { ::kill(child, signalNumber); };
}

std::vector<Row> ruleRows() {
    std::vector<Row> rows = {
        {.what = "read-only file",
         .setUp = [](const fs::path& dir) { return oldFile(folder(dir / "home", 0755, kNobody) / "keep.txt", 0444, kNobody, kNobody); },
         .save = {.user = kNobody}, .endsWith = EACCES},
        {.what = "another user's file in a shared folder",
         .setUp = [](const fs::path& dir) { return oldFile(folder(dir / "shared", 0777) / "theirs.txt", 0644); },
         .save = {.user = kNobody}, .endsWith = EACCES},
        {.what = "a planted link in a sticky folder", .needs = kProtectedSymlinks,
         .setUp = [](const fs::path& dir) {
             const fs::path link = folder(dir / "tmp", 01777) / "recovered.txt";
             fs::create_symlink(oldFile(dir / "victim.txt", 0644), link);
             EXPECT_EQ(::lchown(link.c_str(), kNobody, kNobody), 0);
             return link;
         },
         .endsWith = EACCES},
        {.what = "another user's file in a sticky folder", .needs = kProtectedRegular,
         .setUp = [](const fs::path& dir) { return oldFile(folder(dir / "tmp", 01777) / "report.bin", 0666, kNobody, kNobody); },
         .endsWith = EACCES},
        {.what = "another user's file, written where no one else may read",
         .setUp = [](const fs::path& dir) { return oldFile(dir / "report.bin", 0666, kNobody, kNobody); },
         .save = {.during = [](pid_t, const fs::path& temporary) {
             EXPECT_EQ(statusOf(temporary).st_mode & 07777, 0600U);
             EXPECT_EQ(statusOf(temporary).st_uid, 0U);
         }},
         .written = true, .check = [](const fs::path& target) {
             EXPECT_EQ(statusOf(target).st_mode & 07777, 0666U);
             EXPECT_EQ(statusOf(target).st_uid, kNobody);
         }},
        {.what = "a group the user is not in",
         .setUp = [](const fs::path& dir) { return oldFile(folder(dir / "home", 0755, kNobody) / "shared.txt", 0640, kNobody, 1005); },
         .save = {.user = kNobody}, .written = true, .check = [](const fs::path& target) {
             EXPECT_EQ(statusOf(target).st_gid, 1005U);
             EXPECT_EQ(statusOf(target).st_mode & 07777, 0640U);
         }},
        {.what = "a file with extended attributes",
         .setUp = [](const fs::path& dir) {
             const fs::path target = plainOld(dir);
             EXPECT_EQ(::setxattr(target.c_str(), "user.tag", "x", 1, 0), 0);
             return target;
         },
         .written = true, .check = [](const fs::path& target) { EXPECT_EQ(::getxattr(target.c_str(), "user.tag", nullptr, 0), 1); }},
        {.what = "a folder's default ACL, set after the old file was made",
         .setUp = [](const fs::path& dir) {
             const fs::path target = plainOld(dir);
             // version 2; user::rwx, user:65534:rwx, group::r-x, mask::rwx, other::---
             const unsigned char acl[] = {2, 0, 0, 0, 1, 0, 7, 0, 0xff, 0xff, 0xff, 0xff, 2, 0, 7, 0, 0xfe, 0xff, 0, 0,
                                          4, 0, 5, 0, 0xff, 0xff, 0xff, 0xff, 0x10, 0, 7, 0, 0xff, 0xff, 0xff, 0xff,
                                          0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
             EXPECT_EQ(::setxattr(dir.c_str(), "system.posix_acl_default", acl, sizeof acl, 0), 0);
             return target;
         },
         .written = true, .check = [](const fs::path& target) {
             EXPECT_LT(::getxattr(target.c_str(), "system.posix_acl_access", nullptr, 0), 0) << "readers the old file lacked";
         }},
        {.what = "an append-only folder", .needs = kAppendOnlyFolder, .setUp = [](const fs::path& dir) { return plainOld(dir / "disk"); },
         .written = true},
        {.what = "a full disk", .needs = kSmallDisk, .setUp = [](const fs::path& dir) {
             oldFile(dir / "disk" / "other.bin", 0644);
             return plainOld(dir / "disk");
         }, .endsWith = ENOSPC},
        {.what = "a full disk, hard-linked", .needs = kSmallDisk, .setUp = [](const fs::path& dir) { return hardLinkedOld(dir / "disk"); },
         .endsWith = ENOSPC, .check = otherLinkKept},
        {.what = "a full disk that reserves nothing, hard-linked", .needs = kDiskWithoutReserve,
         .setUp = [](const fs::path& dir) { return hardLinkedOld(dir / "disk"); }, .endsWith = ENOSPC, .check = otherLinkKept},
        {.what = "the file-size limit", .setUp = plainOld, .save = {.sizeLimit = 4096}, .endsWith = EFBIG},
        {.what = "the file-size limit, hard-linked", .setUp = hardLinkedOld, .save = {.sizeLimit = 4096},
         .endsWith = EFBIG, .check = otherLinkKept},
        {.what = "Ctrl+C while writing in place", .setUp = hardLinkedOld, .save = {.during = sending(SIGINT)},
         .endsWith = -SIGINT, .written = true},
        {.what = "Ctrl+C ignored from the start", .setUp = plainOld, .save = {.sigintIgnored = true, .during = sending(SIGINT)},
         .written = true},
        {.what = "the name led elsewhere before the rename", .setUp = plainOld,
         .save = {.during = [](pid_t, const fs::path& temporary) {
             fs::remove(temporary.parent_path() / "old.bin");
             writeFile(temporary.parent_path() / "old.bin", kOld);
         }},
         .endsWith = ESTALE},
    };
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU}) {
        rows.push_back({.what = "a signal", .setUp = plainOld, .save = {.during = sending(signalNumber)}, .endsWith = -signalNumber});
        rows.push_back({.what = "a signal, new file", .setUp = [](const fs::path& dir) { return dir / "new.bin"; },
                        .save = {.during = sending(signalNumber)}, .endsWith = -signalNumber});
    }
    return rows;
}

TEST(ReplaceFileContents, FollowsTheRuleOfAPlainWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "the rows act as other users, switch kernel protections and mount: run as root";
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);  // for the signals that dump core
    std::string notRun;
    for (const Row& row : ruleRows()) {
        SCOPED_TRACE(std::string(row.what) + " " + std::to_string(row.endsWith));
        ScratchDir dir;
        Machine machine;
        prepare(row.needs, dir / "disk", machine);
        if (!machine.why.empty()) {
            notRun += std::string("\n") + row.what + ": " + machine.why;
            continue;
        }
        const fs::path target = row.setUp(dir.path());
        const bool existed = fs::exists(fs::symlink_status(target));
        const std::size_t before = entriesIn(target.parent_path());
        const int status = saveInChild(target, row.save);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), row.endsWith);
        EXPECT_EQ(entriesIn(target.parent_path()), before);  // nothing left behind, nothing lost
        if (existed || row.written) {
            // where a link leads, not through it: the kernel's protection is still on
            const fs::path file = fs::is_symlink(fs::symlink_status(target)) ? fs::read_symlink(target) : target;
            EXPECT_EQ(readFile(file), row.written ? kNew : kOld);
        }
        if (row.check) row.check(target);
    }
    if (!notRun.empty()) GTEST_SKIP() << "rows that could not run:" << notRun;
}

// Wine reserves no room on the disk: the Windows build, run under it, keeps a
// hard-linked file whole on a disk too small for the new contents.
TEST(ReplaceFileContents, UnderWineAFullDiskKeepsAHardLinkedFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounts a small tmpfs: run as root";
    std::string missing;
    const std::string glint = wine::windowsProgram("glint.exe", missing);
    if (glint.empty()) GTEST_SKIP() << missing;
    ScratchDir dir;
    Machine machine;
    prepare(kSmallDisk, dir / "disk", machine);
    ASSERT_EQ(machine.why, "");
    testing_support::BmpFields stego;
    stego.data = testing_support::withLengthBits(patternBytes(std::size_t{8} << 20, 9), 1 << 19);
    writeFile(dir / "stego.bmp", testing_support::makeBmp(stego));
    EXPECT_EQ(wine::run(glint, {"recover", "stego.bmp", hardLinkedOld(dir / "disk")}, dir.path(), {}).exitStatus, 1);
    otherLinkKept(dir / "disk" / "old.bin");
}

}  // namespace
