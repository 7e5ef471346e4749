#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/os/udp_socket.h"

namespace flash {

namespace {

bool ValidPort(int port) { return port >= 0 && port <= 65535; }

sockaddr_in MakeAddress(in_addr address, int port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(static_cast<std::uint16_t>(port));
  result.sin_addr = address;
  return result;
}

// Numbers-and-dots first (as inet_addr reads it, including 255.255.255.255),
// then the name's first IPv4 address.
bool Resolve(const std::string& host, in_addr* address) {
  if (host.empty()) return false;
  if (::inet_aton(host.c_str(), address) != 0) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  bool ok = false;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in first{};
      std::memcpy(&first, entry->ai_addr, sizeof first);
      *address = first.sin_addr;
      ok = true;
      break;
    }
  }
  ::freeaddrinfo(found);
  return ok;
}

}  // namespace

UdpSocket::~UdpSocket() { Close(); }

int UdpSocket::Open(int port) {
  Close();
  if (!ValidPort(port)) return EINVAL;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  const sockaddr_in local = MakeAddress(in_addr{htonl(INADDR_ANY)}, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  fd_ = fd;
  return 0;
}

int UdpSocket::Connect(const std::string& host, int port) {
  if (fd_ < 0) return EBADF;
  if (connected_) {
    // Dissolve the old association first, so a failure below leaves no peer.
    sockaddr none{};
    none.sa_family = AF_UNSPEC;
    ::connect(fd_, &none, sizeof none);
    connected_ = false;
  }
  if (!ValidPort(port)) return EINVAL;
  in_addr address{};
  if (!Resolve(host, &address)) return EINVAL;
  const sockaddr_in peer = MakeAddress(address, port);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) return errno;
  connected_ = true;
  return 0;
}

int UdpSocket::Send(const std::uint8_t* data, std::size_t length) {
  if (fd_ < 0) return EBADF;
  for (;;) {
    if (::send(fd_, data, length, 0) >= 0) return 0;
    if (errno != EINTR) return errno;
  }
}

long UdpSocket::Receive(std::uint8_t* buffer, std::size_t capacity, int* error) {
  if (fd_ < 0) {
    *error = EBADF;
    return -1;
  }
  for (;;) {
    const ssize_t count = ::recv(fd_, buffer, capacity, MSG_DONTWAIT);
    if (count >= 0) return static_cast<long>(count);
    if (errno != EINTR) {
      *error = errno;
      return -1;
    }
  }
}

void UdpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  connected_ = false;
}

int UdpSocket::LocalPort() const {
  if (fd_ < 0) return -1;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return -1;
  return ntohs(local.sin_port);
}

}  // namespace flash
