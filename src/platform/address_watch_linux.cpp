#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/address_watch.h"

namespace quorvix::platform {
namespace {

// A change that can move the public address: an IPv4 address came or went, or a default route
// (the way out) did. Other routes change often on busy machines (containers, VPN split routes)
// and say nothing about the way to the service.
bool Matters(const nlmsghdr& message) {
  switch (message.nlmsg_type) {
    case RTM_NEWADDR:
    case RTM_DELADDR:
      return true;
    case RTM_NEWROUTE:
    case RTM_DELROUTE: {
      if (message.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return false;
      const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(&message));
      return route->rtm_dst_len == 0 && route->rtm_table == RT_TABLE_MAIN;
    }
    default:
      return false;
  }
}

class NetlinkAddressWatch final : public AddressWatch {
 public:
  explicit NetlinkAddressWatch(int socket) : socket_(socket) {}
  ~NetlinkAddressWatch() override { ::close(socket_); }

  Waitable waitable() const override { return socket_; }

  bool TakeChanges() override {
    bool changed = false;
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
      const ssize_t got = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (got < 0) {
        // The kernel dropped messages for a full buffer: something changed, look anyway.
        if (errno == ENOBUFS) {
          changed = true;
          continue;
        }
        if (errno == EINTR) continue;
        return changed;  // EAGAIN: all taken
      }
      if (got == 0) return changed;
      int left = static_cast<int>(got);
      for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
           message = NLMSG_NEXT(message, left)) {
        changed = changed || Matters(*message);
      }
    }
  }

 private:
  int socket_;
};

class SilentAddressWatch final : public AddressWatch {
 public:
  Waitable waitable() const override { return -1; }
  bool TakeChanges() override { return false; }
};

}  // namespace

std::unique_ptr<AddressWatch> OpenAddressWatch() {
  const int socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (socket < 0) return std::make_unique<SilentAddressWatch>();
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    ::close(socket);
    return std::make_unique<SilentAddressWatch>();
  }
  return std::make_unique<NetlinkAddressWatch>(socket);
}

}  // namespace quorvix::platform
