#include "ZncBouncer.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "RawIrcPeer.h"

namespace tavi::test {

namespace {

// Nick is among the names of a 353 line.
bool NamesHold(const std::string& Line, const std::string& Nick) {
  const std::size_t colon = Line.find(" :");
  if (colon == std::string::npos) return false;
  std::istringstream names(Line.substr(colon + 2));
  for (std::string name; names >> name;) {
    const std::size_t start = name.find_first_not_of("~&@%+");
    if (start != std::string::npos && name.compare(start, std::string::npos, Nick) == 0) return true;
  }
  return false;
}

}  // namespace

TZncBouncer::~TZncBouncer() { Stop(); }

std::string TZncBouncer::LoginPassword() { return std::string(User()) + "/" + Network() + ":" + Password(); }

bool TZncBouncer::Start(const TOptions& Options, std::string& Error) {
  Stop();
  options_ = Options;
  if (!process_.MakeFolder("tavi-znc")) {
    Error = "cannot make a temporary folder";
    return false;
  }
  const std::string& dir = process_.Folder();
  port_ = FreeLoopbackPort();
  if (port_ == 0) {
    Error = "no free port";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir + "/configs", ec);
  {
    std::ofstream out(dir + "/configs/znc.conf");
    // Upstream at once, no throttling of what clients send.
    out << "Version = 1.8.2\nConnectDelay = 0\nServerThrottle = 0\n"
        << "<Listener l>\n\tHost = 127.0.0.1\n\tPort = " << port_ << "\n\tIPv4 = true\n\tIPv6 = false\n\tSSL = false\n"
        << "</Listener>\n"
        << "<User " << User() << ">\n"
        << "\t<Pass password>\n\t\tMethod = plain\n\t\tHash = " << Password() << "\n\t</Pass>\n"
        << "\tAdmin = true\n\tNick = " << Options.Nick << "\n\tAltNick = " << Options.Nick << "_\n"
        << "\tIdent = " << Options.Nick << "\n\tRealName = Tavi via ZNC\n"
        // Played back to every client that attaches, not only the first.
        << "\tAutoClearChanBuffer = false\n\tAutoClearQueryBuffer = false\n"
        << "\tChanBufferSize = " << Options.ChanBufferSize << "\n"
        << "\t<Network " << Network() << ">\n"
        << "\t\tServer = " << Options.UpstreamHost << " " << Options.UpstreamPort << "\n"
        << "\t\tFloodRate = 1000.00\n\t\tFloodBurst = 1000\n\t\tJoinDelay = 0\n";
    for (const std::string& channel : Options.Channels) out << "\t\t<Chan " << channel << ">\n\t\t</Chan>\n";
    out << "\t</Network>\n</User>\n";
  }

  // Run unprivileged: as root ZNC waits half a minute before it starts.
  if (!process_.Start({{"znc", "--foreground", "--datadir=" + dir}, Options.TimeLimitSeconds, true}, Error))
    return false;
  if (process_.WaitUntil([this] { return CanConnectLoopback(port_); }, 10000, Error)) return true;
  Stop();
  return false;
}

bool TZncBouncer::WaitUntilJoined(std::string& Error, int TimeoutMs) {
  TRawIrcPeer probe;
  if (!probe.Connect(options_.UpstreamHost, options_.UpstreamPort) || !probe.Register("zncprobe")) {
    Error = "cannot reach the upstream server";
    return false;
  }
  std::size_t channel = 0;
  const bool joined = process_.WaitUntil(
      [&] {
        while (channel < options_.Channels.size()) {
          const std::size_t from = probe.Received().size();
          probe.Send("NAMES " + options_.Channels[channel] + "\r\n");
          if (probe.WaitFor(" 366 ", 1000).empty()) return false;
          bool there = false;
          for (std::size_t i = from; i < probe.Received().size(); ++i)
            there = there || (probe.Received()[i].find(" 353 ") != std::string::npos &&
                              NamesHold(probe.Received()[i], options_.Nick));
          if (!there) return false;
          ++channel;
        }
        return true;
      },
      TimeoutMs, Error);
  probe.Send("QUIT\r\n");
  if (!joined) Error = "ZNC is not on its channels: " + Error;
  return joined;
}

void TZncBouncer::Stop() { process_.Stop(); }

bool TZncOnNgircd::Start(std::string& Error) {
  TNgircdServer::TOptions quick;
  quick.MaxPenaltyTime = 0;
  if (!Upstream.Start(quick, Error)) return false;
  TZncBouncer::TOptions options;
  options.UpstreamPort = Upstream.Port();
  if (!Znc.Start(options, Error) || !Znc.WaitUntilJoined(Error)) return false;
  if (!Peer.Connect(Upstream.Host(), Upstream.Port()) || !Peer.Register("peer")) {
    Error = "the peer could not register";
    return false;
  }
  Peer.Send("JOIN #tavi\r\n");
  if (Peer.WaitFor(" 366 ").empty()) {
    Error = "the peer could not join";
    return false;
  }
  return true;
}

}  // namespace tavi::test
