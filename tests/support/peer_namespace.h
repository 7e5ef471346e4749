#pragma once
// A second network host for UDP tests: a network namespace joined to this one
// by a veth pair. The updater binds its UDP port on every local address and
// connects to the radio's address on the same port, so a radio on the same
// host needs an address of its own in another namespace. Needs root and
// iproute2; Available() tells, so tests can skip where they cannot have it.

#include <string>

namespace flash::testing {

class PeerNamespace {
 public:
  PeerNamespace();
  ~PeerNamespace();
  PeerNamespace(const PeerNamespace&) = delete;
  PeerNamespace& operator=(const PeerNamespace&) = delete;

  bool Available() const { return available_; }
  const std::string& Name() const { return name_; }
  const std::string& Why() const { return why_; }
  const std::string& LocalAddress() const { return localAddress_; }
  const std::string& PeerAddress() const { return peerAddress_; }

  // A UDP socket bound to PeerAddress():port inside the namespace; -1 on failure.
  int BindUdpSocket(int port) const;

 private:
  std::string name_;
  std::string vethHere_;
  std::string vethThere_;
  std::string localAddress_;
  std::string peerAddress_;
  bool available_ = false;
  std::string why_;
};

}  // namespace flash::testing
