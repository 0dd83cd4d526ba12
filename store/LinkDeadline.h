#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

// The sockets of this process, each with the inode that names it; taken before and after a
// driver opens its link, the difference is the link's sockets.
struct OpenSocket {
    int descriptor = -1;
    std::uint64_t inode = 0;
    bool operator==(const OpenSocket&) const = default;
};
std::vector<OpenSocket> openSockets();

// Bounds how long one piece of work may wait for a database server. A server that accepted
// the link and then stopped answering (a frozen process, a host gone while its network still
// answers) keeps the driver's read waiting without end, and no driver here gives up on its
// own: when the time is up the link's sockets are shut down, which ends that read with the
// driver's error. The link is dead afterwards and has to be opened anew.
class LinkDeadline {
public:
    LinkDeadline(std::vector<OpenSocket> sockets, std::chrono::milliseconds limit);
    ~LinkDeadline();
    LinkDeadline(const LinkDeadline&) = delete;
    LinkDeadline& operator=(const LinkDeadline&) = delete;

    // Whether the time ran out and the sockets were shut down.
    bool expired() const;

private:
    std::uint64_t id_;
};
