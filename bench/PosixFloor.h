// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The machine's floor of each step, in plain system calls: what no program on this machine can
// do faster. A conversion reads every shortcut once and writes one file of the page's size; a
// restore or an import makes the same folders and files with their dates. Every folder is
// opened once and what it holds by name (openat), as a path is never walked twice.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class PosixFloor
{
public:
    // A folder as read before the timed part: its files (bytes and date) and its subfolders.
    struct Folder
    {
        struct File
        {
            std::string name;
            std::string bytes;
            timespec modified;
        };
        std::string name;
        timespec modified{};
        std::vector<File> files;
        std::vector<Folder> folders;
    };

    // Reads every "*.url" below dirfd once (closes dirfd); the bytes read.
    static long long readShortcuts(int dirfd)
    {
        DIR *dir = ::fdopendir(dirfd);
        if (!dir)
            fail("fdopendir");
        long long bytes = 0;
        static char buffer[1 << 16];
        while (const dirent *e = ::readdir(dir)) {
            if (isDot(e->d_name))
                continue;
            if (isFolder(dirfd, e)) {
                const int sub = ::openat(dirfd, e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (sub < 0)
                    fail(e->d_name);
                bytes += readShortcuts(sub);
            } else if (endsWith(e->d_name, ".url")) {
                const int fd = ::openat(dirfd, e->d_name, O_RDONLY | O_CLOEXEC);
                if (fd < 0)
                    fail(e->d_name);
                for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                    bytes += n;
                ::close(fd);
            }
        }
        ::closedir(dir);
        return bytes;
    }

    // One write of size bytes, filled before the timed part.
    static void writeFile(const char *path, const std::string &bytes)
    {
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            fail(path);
        ::close(fd);
    }

    // The tree below dirfd (closes dirfd).
    static void load(int dirfd, Folder &into)
    {
        DIR *dir = ::fdopendir(dirfd);
        if (!dir)
            fail("fdopendir");
        struct stat st;
        ::fstat(dirfd, &st);
        into.modified = st.st_mtim;
        while (const dirent *e = ::readdir(dir)) {
            if (isDot(e->d_name))
                continue;
            if (isFolder(dirfd, e)) {
                into.folders.push_back({e->d_name, {}, {}, {}});
                const int sub = ::openat(dirfd, e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (sub < 0)
                    fail(e->d_name);
                load(sub, into.folders.back());
            } else {
                const int fd = ::openat(dirfd, e->d_name, O_RDONLY | O_CLOEXEC);
                if (fd < 0 || ::fstat(fd, &st) != 0)
                    fail(e->d_name);
                std::string bytes(size_t(st.st_size), '\0');
                if (::read(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
                    fail(e->d_name);
                ::close(fd);
                into.files.push_back({e->d_name, std::move(bytes), st.st_mtim});
            }
        }
        ::closedir(dir);
    }

    // make() holds a folder's descriptor open while it makes what is below: one a level.
    static void raiseDescriptorLimit()
    {
        struct rlimit limit;
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }

    // Makes folder's files and subfolders in dirfd, and dates them; the files made.
    static long long make(int dirfd, const Folder &folder)
    {
        long long made = 0;
        for (const Folder::File &f : folder.files) {
            const int fd =
                ::openat(dirfd, f.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0 || ::write(fd, f.bytes.data(), f.bytes.size()) != ssize_t(f.bytes.size()))
                fail(f.name.c_str());
            date(fd, f.modified);
            ::close(fd);
            ++made;
        }
        for (const Folder &sub : folder.folders) {
            if (::mkdirat(dirfd, sub.name.c_str(), 0777) != 0)
                fail(sub.name.c_str());
            const int fd = ::openat(dirfd, sub.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0)
                fail(sub.name.c_str());
            made += make(fd, sub);
            date(fd, sub.modified);
            ::close(fd);
        }
        return made;
    }

    // Removes what dirfd holds (closes dirfd).
    static void clear(int dirfd)
    {
        DIR *dir = ::fdopendir(dirfd);
        if (!dir)
            fail("fdopendir");
        while (const dirent *e = ::readdir(dir)) {
            if (isDot(e->d_name))
                continue;
            if (isFolder(dirfd, e)) {
                const int sub = ::openat(dirfd, e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (sub < 0)
                    fail(e->d_name);
                clear(sub);
                ::unlinkat(dirfd, e->d_name, AT_REMOVEDIR);
            } else {
                ::unlinkat(dirfd, e->d_name, 0);
            }
        }
        ::closedir(dir);
    }

    static int openFolder(const char *path)
    {
        const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            fail(path);
        return fd;
    }

private:
    [[noreturn]] static void fail(const char *what)
    {
        std::fprintf(stderr, "%s: %s\n", what, std::strerror(errno));
        std::exit(2);
    }
    static bool isDot(const char *name)
    {
        return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
    }
    static bool endsWith(const char *name, const char *end)
    {
        const size_t n = std::strlen(name), m = std::strlen(end);
        return n >= m && std::memcmp(name + n - m, end, m) == 0;
    }
    static bool isFolder(int dirfd, const dirent *e)
    {
        if (e->d_type != DT_UNKNOWN)
            return e->d_type == DT_DIR;
        struct stat st;
        return ::fstatat(dirfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    static void date(int fd, const timespec &modified)
    {
        const timespec times[2] = {{0, UTIME_OMIT}, modified};
        ::futimens(fd, times);
    }
};
