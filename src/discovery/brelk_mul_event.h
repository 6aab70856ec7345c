#pragma once
// The discovery endpoint: two UDP sockets on port 8400 (one bound to the chosen adapter's
// address, one to the wildcard address), the receive thread, and the search request.
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace quillon {

// Where accepted answers go (the device intake). Texts are null when the element is missing.
// Called on the receive thread; no lock of the endpoint is held during the call.
class FoundDeviceSink {
public:
    virtual ~FoundDeviceSink() = default;
    virtual void add_found_device(const char* ip, const char* id, const char* mac,
                                  const char* version, const char* status) = 0;
};

class BrelkMulEvent {
public:
    static constexpr uint16_t kPort = 8400;

    BrelkMulEvent() = default;
    BrelkMulEvent(const BrelkMulEvent&) = delete;
    BrelkMulEvent& operator=(const BrelkMulEvent&) = delete;
    ~BrelkMulEvent();  // stops the receive thread

    // Creates and binds both sockets and starts the receive thread. 0, or -1 when a socket
    // cannot be created. `port` is 8400 in the programs; tests may pick another.
    int start(FoundDeviceSink* owner, in_addr bind_addr, uint16_t port = kPort);
    // After stop returns, no answer reaches the sink.
    void stop();
    // One request to `target`, or to 255.255.255.255 when target is null; through the bound
    // socket, and also the wildcard one when `both` is nonzero. Callable from any thread.
    void search(int both, const char* target = nullptr);

private:
    void recv_loop();
    void on_recv(int sock);

    std::atomic<int> m_sock_local{-1};
    std::atomic<int> m_sock_any{-1};
    std::thread m_recv_thread;
    FoundDeviceSink* m_owner = nullptr;
    std::atomic<int> m_active{0};
    uint16_t m_port = kPort;
};

}  // namespace quillon
