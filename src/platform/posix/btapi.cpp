// The Bluetooth serial-port library on Linux: the connection handle is an
// open file descriptor (RFCOMM, TCP or Unix socket, pipe, serial device).
//
// A read waits briefly for data and returns success with no bytes when none
// came, so the receive thread keeps looking at its stop event. Disconnect may
// come from another thread while a read waits: the descriptor is then shut
// down at once and closed when the read has left it, so its number is never
// reused under a reader.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/btapi.h"
#include "platform/posix/testing.h"

namespace {

constexpr int kLinkClosed = -1;    // end of stream, or the connection was disconnected
constexpr int kNotConnected = -2;  // not an open connection

struct Connection {
  int readers = 0;
  bool disconnected = false;
};

std::mutex g_connectionsMutex;
std::unordered_map<int, Connection> g_connections;
std::atomic<const dlposix::BtBackend*> g_backend{nullptr};

int FdRecv(unsigned int connection, unsigned char* buffer, unsigned int* length) {
  const int fd = static_cast<int>(connection);
  const unsigned int capacity = *length;
  *length = 0;
  {
    std::lock_guard<std::mutex> lock(g_connectionsMutex);
    Connection& state = g_connections[fd];
    if (state.disconnected) return kNotConnected;
    ++state.readers;
  }
  int result = 0;
  pollfd waiting{fd, POLLIN, 0};
  const int ready = poll(&waiting, 1, dlposix::kBtPollMilliseconds);
  if (ready < 0 && errno != EINTR) {
    result = errno;
  } else if (ready > 0) {
    const ssize_t got = read(fd, buffer, capacity);
    if (got > 0) {
      *length = static_cast<unsigned int>(got);
    } else if (got == 0) {
      result = kLinkClosed;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      result = errno;
    }
  }
  std::lock_guard<std::mutex> lock(g_connectionsMutex);
  auto entry = g_connections.find(fd);
  if (--entry->second.readers == 0 && entry->second.disconnected) {
    close(fd);
    g_connections.erase(entry);
    if (result == 0 && *length == 0) result = kLinkClosed;
  }
  return result;
}

int FdDisconnect(unsigned int connection) {
  const int fd = static_cast<int>(connection);
  std::lock_guard<std::mutex> lock(g_connectionsMutex);
  Connection& state = g_connections[fd];
  if (state.disconnected) return kNotConnected;
  if (state.readers == 0) {
    g_connections.erase(fd);
    return close(fd) == 0 ? 0 : errno;
  }
  state.disconnected = true;
  shutdown(fd, SHUT_RDWR);  // wakes a reader on a socket; others wake by their poll limit
  return 0;
}

}  // namespace

extern "C" int BT_SPP_RecvData(unsigned int connection, unsigned char* buffer, unsigned int* length) {
  if (buffer == nullptr || length == nullptr) return kNotConnected;
  if (const dlposix::BtBackend* backend = g_backend.load(std::memory_order_acquire)) {
    return backend->recv(connection, buffer, length);
  }
  return FdRecv(connection, buffer, length);
}

extern "C" int BT_SPP_Disconnect(unsigned int connection) {
  if (const dlposix::BtBackend* backend = g_backend.load(std::memory_order_acquire)) {
    return backend->disconnect(connection);
  }
  return FdDisconnect(connection);
}

namespace dlposix {
void SetBtBackend(const BtBackend* backend) { g_backend.store(backend, std::memory_order_release); }
}  // namespace dlposix
