// Network clients for the benchmarks: blocking sockets that poll "l SWR".
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <thread>
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
// beside another measurement. A server in the destroying thread must close
// its connections first, or a poller would wait for its answer forever.
class Pollers {
public:
    Pollers(quint16 port, int clients, int periodMs) {
        for (int c = 0; c < clients; ++c)
            threads_.emplace_back([this, port, periodMs] {
                const int fd = ConnectTo(port);
                while (fd >= 0 && !stop_) {
                    if (!RoundTrip(fd))
                        break;
                    ++answered;
                    std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
                }
                if (fd >= 0)
                    ::close(fd);
            });
    }
    ~Pollers() {
        stop_ = true;
        for (std::thread &t : threads_)
            t.join();
    }
    Pollers(const Pollers &) = delete;
    Pollers &operator=(const Pollers &) = delete;
    std::atomic<long> answered{0};

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

} // namespace bench
