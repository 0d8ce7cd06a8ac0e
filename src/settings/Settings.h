#pragma once

// The settings that outlive a run: two components owned by one data module,
// which is also the root object of the settings file (see SettingsFile.h).
// Strings are UTF-8 in the program and Shift-JIS bytes in the file (see
// SettingsText.h).

#include <cstdint>
#include <deque>
#include <string>
#include <variant>
#include <vector>

namespace tavi {

// Connection settings. Members are in the order they are stored.
struct TGrobalArea {
  std::string Password;
  std::string NickName1;
  std::string TrueName;
  std::string LoginName;
  std::string HostName;
  std::string ServerName;
  std::vector<std::string> ServerNameList;  // most recent first
  std::string PortNumber;
  bool JISChoice = false;
  bool SJISChoice = false;
  // Outgoing text is converted to UTF-8 (when JISChoice is not set). Stored
  // only when set, so that files without it stay as they were.
  bool UTF8Choice = false;

  bool operator==(const TGrobalArea&) const = default;
};

// Channel and talk settings. Members are in the order they are stored.
struct TLocalArea {
  std::string ChannelName;
  std::vector<std::string> ChannelNames;
  std::string ChannelKey;
  bool Talk = false;
  std::string TalkMember;

  bool operator==(const TLocalArea&) const = default;
};


using TSettingsComponent = std::variant<TGrobalArea, TLocalArea>;

class TSettingsModule {
 public:
  // The module's own properties: ignored by the program, kept so that a file
  // that was read is written back as it was.
  bool OldCreateOrder = false;
  int32_t Height = 0;
  int32_t Width = 0;

  // The last component of each class is the one in use; a fresh one is
  // appended when there is none, so these never fail.
  TGrobalArea& GrobalArea();
  TLocalArea& LocalArea();

  TGrobalArea* FindGrobalArea();
  const TGrobalArea* FindGrobalArea() const;
  TLocalArea* FindLocalArea();
  const TLocalArea* FindLocalArea() const;

  // Appending never moves the components already held, so references
  // returned earlier stay valid.
  TGrobalArea& AddGrobalArea(TGrobalArea Area = {});
  TLocalArea& AddLocalArea(TLocalArea Area = {});

  // All components in file order.
  const std::deque<TSettingsComponent>& Components() const { return FComponents; }
  std::deque<TSettingsComponent>& Components() { return FComponents; }
  void Clear();

  bool operator==(const TSettingsModule&) const = default;

 private:
  std::deque<TSettingsComponent> FComponents;
};

}  // namespace tavi
