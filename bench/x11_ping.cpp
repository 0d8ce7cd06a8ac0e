// How long a client's GUI thread takes to answer, seen from outside the
// process: sends _NET_WM_PING to the top-level window of process PID, one
// at a time, a new one 10 ms after the last was sent (at once after a late
// answer), and times each answer. Qt and GTK answer it from their event
// loops, so a busy loop answers late. Runs until SIGTERM or SIGINT, then
// prints "ping_worst_ms W ping_median_ms M pings N" (an answer still
// awaited counts with the time waited so far).
//
//   x11_ping PID
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile std::sig_atomic_t stop = 0;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point Then) {
  return std::chrono::duration<double, std::milli>(Clock::now() - Then).count();
}

xcb_atom_t Atom(xcb_connection_t* X, const char* Name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(X, xcb_intern_atom(X, 0, static_cast<std::uint16_t>(std::strlen(Name)), Name), nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The 32-bit values of a window's property.
std::vector<std::uint32_t> Property(xcb_connection_t* X, xcb_window_t Window, xcb_atom_t Name, xcb_atom_t Type) {
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(X, xcb_get_property(X, 0, Window, Name, Type, 0, 64), nullptr), &std::free);
  if (!reply || reply->format != 32) return {};
  const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

struct TAtoms {
  xcb_atom_t Protocols, Ping, Pid;
};

// A viewable window of Pid, at most two levels below the root (a window
// manager's frame between), that takes _NET_WM_PING.
xcb_window_t FindWindow(xcb_connection_t* X, xcb_window_t Parent, std::uint32_t Pid, const TAtoms& A, int Depth) {
  std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
      xcb_query_tree_reply(X, xcb_query_tree(X, Parent), nullptr), &std::free);
  if (!tree) return XCB_NONE;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
    const xcb_window_t w = children[i];
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(X, xcb_get_window_attributes(X, w), nullptr), &std::free);
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
    const std::vector<std::uint32_t> pid = Property(X, w, A.Pid, XCB_ATOM_CARDINAL);
    const std::vector<std::uint32_t> protocols = Property(X, w, A.Protocols, XCB_ATOM_ATOM);
    if (!pid.empty() && pid[0] == Pid && std::find(protocols.begin(), protocols.end(), A.Ping) != protocols.end())
      return w;
    if (Depth > 1)
      if (const xcb_window_t found = FindWindow(X, w, Pid, A, Depth - 1)) return found;
  }
  return XCB_NONE;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PID\n", argv[0]);
    return 2;
  }
  const auto pid = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
  struct sigaction onSignal {};
  onSignal.sa_handler = [](int) { stop = 1; };
  sigaction(SIGTERM, &onSignal, nullptr);
  sigaction(SIGINT, &onSignal, nullptr);

  int screenNumber = 0;
  xcb_connection_t* x = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(x)) {
    std::fprintf(stderr, "x11_ping: no display\n");
    return 1;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;
  const TAtoms atoms{Atom(x, "WM_PROTOCOLS"), Atom(x, "_NET_WM_PING"), Atom(x, "_NET_WM_PID")};

  xcb_window_t window = XCB_NONE;
  for (const auto start = Clock::now(); !window && MsSince(start) < 10000 && !stop;) {
    window = FindWindow(x, root, pid, atoms, 2);
    if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!window) {
    std::fprintf(stderr, "x11_ping: no window of process %u takes _NET_WM_PING\n", pid);
    return 1;
  }
  // The answers go to the root window, to whoever listens there: GTK
  // sends them to substructure listeners, Qt to structure listeners.
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);

  std::vector<double> times;
  std::uint32_t id = 0;
  Clock::time_point sent;
  bool waiting = false;
  pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
  while (!stop && !xcb_connection_has_error(x)) {
    if (!waiting && MsSince(sent) >= 10) {
      xcb_client_message_event_t ping{};
      ping.response_type = XCB_CLIENT_MESSAGE;
      ping.format = 32;
      ping.window = window;
      ping.type = atoms.Protocols;
      ping.data.data32[0] = atoms.Ping;
      ping.data.data32[1] = ++id;
      ping.data.data32[2] = window;
      xcb_send_event(x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
      xcb_flush(x);
      sent = Clock::now();
      waiting = true;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
      if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
        const auto* answer = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (waiting && answer->data.data32[0] == atoms.Ping && answer->data.data32[1] == id) {
          times.push_back(MsSince(sent));
          waiting = false;
        }
      }
      std::free(event);
    }
    poll(&fd, 1, waiting ? 100 : std::max(0, 10 - static_cast<int>(MsSince(sent))));
  }
  if (waiting) times.push_back(MsSince(sent));
  if (times.empty()) return 1;
  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  std::printf("ping_worst_ms %.0f ping_median_ms %.1f pings %zu\n", sorted.back(), sorted[sorted.size() / 2],
              times.size());
  return 0;
}
