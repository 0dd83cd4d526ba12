#include "LinkDeadline.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include <dirent.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The inode of the socket that the descriptor names, or 0 when it names no socket: the
// descriptor's link reads "socket:[INODE]".
std::uint64_t socketInode(int descriptor)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor);
    char target[64];
    const ssize_t length = ::readlink(path, target, sizeof target - 1);
    if (length <= 0)
        return 0;
    target[length] = '\0';
    unsigned long long inode = 0;
    return std::sscanf(target, "socket:[%llu]", &inode) == 1 ? inode : 0;
}

// One thread for the whole process waits for the earliest deadline.
class Watcher {
public:
    static Watcher& instance()
    {
        static Watcher watcher;
        return watcher;
    }

    std::uint64_t watch(std::vector<OpenSocket> sockets, Clock::time_point deadline)
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            thread_ = std::thread([this] { loop(); });
        const std::uint64_t id = ++lastId_;
        watches_.emplace(id, Watch{std::move(sockets), deadline, false});
        changed_.notify_one();
        return id;
    }

    // Returns whether the watch had expired.
    bool unwatch(std::uint64_t id)
    {
        std::lock_guard lock(mutex_);
        const auto found = watches_.find(id);
        const bool expired = found->second.expired;
        watches_.erase(found);
        return expired;
    }

    bool expired(std::uint64_t id)
    {
        std::lock_guard lock(mutex_);
        return watches_.at(id).expired;
    }

    ~Watcher()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            changed_.notify_one();
        }
        if (thread_.joinable())
            thread_.join();
    }

private:
    struct Watch {
        std::vector<OpenSocket> sockets;
        Clock::time_point deadline;
        bool expired;
    };

    void loop()
    {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            auto next = Clock::time_point::max();
            for (auto& [id, watch] : watches_) {
                if (watch.expired)
                    continue;
                if (watch.deadline <= Clock::now())
                    expire(watch);
                else
                    next = std::min(next, watch.deadline);
            }
            if (next == Clock::time_point::max())
                changed_.wait(lock);
            else
                changed_.wait_until(lock, next);
        }
    }

    static void expire(Watch& watch)
    {
        watch.expired = true;
        for (const OpenSocket& socket : watch.sockets) {
            // The descriptor may have been closed and its number given to another socket.
            if (socketInode(socket.descriptor) == socket.inode)
                ::shutdown(socket.descriptor, SHUT_RDWR);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    std::map<std::uint64_t, Watch> watches_;
    std::uint64_t lastId_ = 0;
    bool stopping_ = false;
};

} // namespace

std::vector<OpenSocket> openSockets()
{
    std::vector<OpenSocket> sockets;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        return sockets;
    while (const dirent* entry = ::readdir(descriptors)) {
        char* end = nullptr;
        const long descriptor = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        if (const std::uint64_t inode = socketInode(int(descriptor)))
            sockets.push_back({int(descriptor), inode});
    }
    ::closedir(descriptors);
    return sockets;
}

LinkDeadline::LinkDeadline(std::vector<OpenSocket> sockets, std::chrono::milliseconds limit)
    : id_(Watcher::instance().watch(std::move(sockets), Clock::now() + limit))
{
}

LinkDeadline::~LinkDeadline()
{
    Watcher::instance().unwatch(id_);
}

bool LinkDeadline::expired() const
{
    return Watcher::instance().expired(id_);
}
