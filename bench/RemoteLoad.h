// SPDX-License-Identifier: GPL-3.0-or-later
// Network clients for the benchmarks and the server's tests: blocking
// sockets that poll "l SWR", and one that floods.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace bench {

inline int ConnectTo(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// One request and its one-line answer.
inline bool RoundTrip(int fd) {
    static const char request[] = "l SWR\n";
    if (::send(fd, request, sizeof request - 1, 0) != ssize_t(sizeof request - 1))
        return false;
    char buf[256];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        if (buf[n - 1] == '\n')
            return true;
    }
}

// clients threads that each poll every periodMs until stopped, for load
// beside another measurement or as the measurement itself (the round trips'
// times). Stopping shuts their sockets, so a poller waiting for an answer
// from a server on the stopping thread ends at once.
class Pollers {
public:
    Pollers(quint16 port, int clients, int periodMs) : latencies_(size_t(clients)) {
        for (int c = 0; c < clients; ++c) {
            const int fd = ConnectTo(port);
            fds_.push_back(fd);
            threads_.emplace_back([this, fd, periodMs, mine = &latencies_[size_t(c)]] {
                while (fd >= 0 && !stop_) {
                    const auto t0 = std::chrono::steady_clock::now();
                    if (!RoundTrip(fd))
                        break;
                    const std::chrono::duration<double, std::milli> ms =
                        std::chrono::steady_clock::now() - t0;
                    mine->push_back(ms.count());
                    ++answered;
                    std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
                }
            });
        }
    }
    ~Pollers() { Stop(); }
    Pollers(const Pollers &) = delete;
    Pollers &operator=(const Pollers &) = delete;
    // Stops them; every round trip's time in ms.
    std::vector<double> Stop() {
        stop_ = true;
        for (const int fd : fds_)
            if (fd >= 0)
                ::shutdown(fd, SHUT_RDWR);
        for (std::thread &t : threads_)
            t.join();
        threads_.clear();
        for (const int fd : fds_)
            if (fd >= 0)
                ::close(fd);
        fds_.clear();
        std::vector<double> all;
        for (const auto &v : latencies_)
            all.insert(all.end(), v.begin(), v.end());
        return all;
    }
    std::atomic<long> answered{0};

private:
    std::atomic<bool> stop_{false};
    std::vector<int> fds_;
    std::vector<std::vector<double>> latencies_;
    std::vector<std::thread> threads_;
};

// A client that writes data again and again as fast as the server takes it,
// reading and dropping the answers when it reads them at all, until
// destroyed. At the lowest priority: a server's fairness is measured, not
// the kernel's scheduler.
class Flooder {
public:
    Flooder(quint16 port, QByteArray data, bool reads)
        : data_(std::move(data)), fd_(ConnectTo(port)) {
        if (fd_ < 0)
            return;
        threads_.emplace_back([this] {
            ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 19);
            while (!stop_ &&
                   ::send(fd_, data_.constData(), size_t(data_.size()), MSG_NOSIGNAL) > 0) {
            }
        });
        if (reads)
            threads_.emplace_back([this] {
                char sink[65536];
                while (::recv(fd_, sink, sizeof sink, 0) > 0) {
                }
            });
    }
    ~Flooder() {
        stop_ = true;
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_RDWR);
        for (std::thread &t : threads_)
            t.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    Flooder(const Flooder &) = delete;
    Flooder &operator=(const Flooder &) = delete;
    bool Connected() const { return fd_ >= 0; }

private:
    std::atomic<bool> stop_{false};
    QByteArray data_;
    int fd_;
    std::vector<std::thread> threads_;
};

} // namespace bench
