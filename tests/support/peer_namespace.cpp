#include "peer_namespace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace flash::testing {
namespace {

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

PeerNamespace::PeerNamespace() {
  const unsigned pid = static_cast<unsigned>(::getpid());
  name_ = "flashpeer" + std::to_string(pid);
  vethHere_ = "fp" + std::to_string(pid) + "a";
  vethThere_ = "fp" + std::to_string(pid) + "b";
  // A /30 of its own for each test process, so parallel tests do not meet.
  const std::string net = "10.251." + std::to_string((pid / 64) % 250) + ".";
  const unsigned base = (pid % 64) * 4;
  localAddress_ = net + std::to_string(base + 1);
  peerAddress_ = net + std::to_string(base + 2);

  if (::geteuid() != 0) {
    why_ = "needs root to make a network namespace";
    return;
  }
  Run("ip netns del " + name_);
  Run("ip link del " + vethHere_);
  available_ = Run("ip netns add " + name_) &&
               Run("ip link add " + vethHere_ + " type veth peer name " + vethThere_) &&
               Run("ip link set " + vethThere_ + " netns " + name_) &&
               Run("ip addr add " + localAddress_ + "/30 dev " + vethHere_) && Run("ip link set " + vethHere_ + " up") &&
               Run("ip netns exec " + name_ + " ip addr add " + peerAddress_ + "/30 dev " + vethThere_) &&
               Run("ip netns exec " + name_ + " ip link set " + vethThere_ + " up") &&
               Run("ip netns exec " + name_ + " ip link set lo up");
  if (!available_) why_ = "could not set up a network namespace with iproute2";
}

PeerNamespace::~PeerNamespace() {
  Run("ip link del " + vethHere_);
  Run("ip netns del " + name_);
}

int PeerNamespace::BindUdpSocket(int port) const {
  if (!available_) return -1;
  int fd = -1;
  // A thread joins the namespace; the socket it makes stays there for whoever uses it.
  std::thread maker([&] {
    const int ns = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0) return;
    const bool joined = ::setns(ns, CLONE_NEWNET) == 0;
    ::close(ns);
    if (!joined) return;
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, peerAddress_.c_str(), &address.sin_addr);
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      fd = s;
    } else if (s >= 0) {
      ::close(s);
    }
  });
  maker.join();
  return fd;
}

}  // namespace flash::testing
