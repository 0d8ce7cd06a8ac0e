// The networks the user keeps, as one list: the first is the settings
// file's server, the others live in the desktop settings. Every change is
// stored at once and reaches the network's connection, if it has one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/Connection.h"
#include "core/Networks.h"

namespace tavi {

class TSession;

class TNetworkList {
 public:
  explicit TNetworkList(TSession& Session) : session_(Session) {}

  std::vector<TNetwork> Networks() const;
  // The connection of the network at Index, or none while it was never
  // connected in this run.
  TConnection* ConnectionOf(std::size_t Index) const;
  // The same, for Network found at Index of Networks().
  TConnection* ConnectionOf(std::size_t Index, const TNetwork& Network) const;
  // The names that a network at Index may not take: the others'.
  std::vector<std::string> NamesBesides(std::size_t Index) const;

  // Empty, or why the change was refused (a new port for an open connection).
  std::string Replace(std::size_t Index, const TNetwork& Network);
  void Add(const TNetwork& Network);
  // Ends the network's connection and forgets the network; not the first.
  void Remove(std::size_t Index);
  // Moves a network after the first up (By -1) or down (By 1).
  bool Move(std::size_t Index, int By);
  void Connect(std::size_t Index);
  void Disconnect(std::size_t Index);

 private:
  TSession& session_;
};

// A new network, with the names the user goes by on the first.
TNetwork NewNetwork(const TNetwork& First);
// The program started: the networks marked to connect at start do.
void ConnectNetworksAtStart(TSession& Session);
// What a connection is doing, in a word for the list.
std::string NetworkStateText(TConnectionState State);

}  // namespace tavi
