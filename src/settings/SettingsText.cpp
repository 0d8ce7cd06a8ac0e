#include "settings/SettingsText.h"

#include <functional>

#include "kanji/Utf8.h"
#include "kanji/WireText.h"

namespace tavi {

namespace {

using TVisit = std::function<void(const std::string& Key, std::string& Text)>;

void VisitList(const std::string& Key, std::vector<std::string>& List, const TVisit& Visit) {
  for (std::size_t i = 0; i < List.size(); ++i) Visit(Key + "/" + std::to_string(i), List[i]);
}

// Every text field of Module, named; the in-use components by their class.
void VisitTexts(TSettingsModule& Module, const TVisit& Visit) {
  int grobal = 0, local = 0;
  for (TSettingsComponent& component : Module.Components()) {
    if (auto* g = std::get_if<TGrobalArea>(&component)) {
      const std::string at = "Grobal" + (grobal++ ? std::to_string(grobal - 1) : std::string()) + "/";
      Visit(at + "Password", g->Password);
      Visit(at + "NickName1", g->NickName1);
      Visit(at + "TrueName", g->TrueName);
      Visit(at + "LoginName", g->LoginName);
      Visit(at + "HostName", g->HostName);
      Visit(at + "ServerName", g->ServerName);
      VisitList(at + "ServerNameList", g->ServerNameList, Visit);
      Visit(at + "PortNumber", g->PortNumber);
    } else if (auto* l = std::get_if<TLocalArea>(&component)) {
      const std::string at = "Local" + (local++ ? std::to_string(local - 1) : std::string()) + "/";
      Visit(at + "ChannelName", l->ChannelName);
      VisitList(at + "ChannelNames", l->ChannelNames, Visit);
      Visit(at + "ChannelKey", l->ChannelKey);
      Visit(at + "TalkMember", l->TalkMember);
    }
  }
}

std::map<std::string, std::string> Texts(const TSettingsModule& Module) {
  std::map<std::string, std::string> texts;
  TSettingsModule copy = Module;
  VisitTexts(copy, [&](const std::string& Key, std::string& Text) { texts[Key] = Text; });
  return texts;
}

}  // namespace

TSettingsModule SettingsFromFile(const TSettingsModule& File, const TWideValues& Wide) {
  TSettingsModule module = File;
  VisitTexts(module, [&](const std::string& Key, std::string& Text) {
    const auto wide = Wide.find(Key);
    if (wide != Wide.end() && wide->second.FileBytes == Text)
      Text = ValidUtf8(wide->second.Text);
    else
      Text = SjisToUtf8(Text);
  });
  return module;
}

TSettingsModule SettingsToFile(const TSettingsModule& Module, const TSettingsModule& File, TWideValues& Wide) {
  Wide.clear();
  const std::map<std::string, std::string> read = Texts(File);
  TSettingsModule out = Module;
  VisitTexts(out, [&](const std::string& Key, std::string& Text) {
    const auto original = read.find(Key);
    if (original != read.end() && SjisToUtf8(original->second) == Text) {
      Text = original->second;
      return;
    }
    std::u32string lost;
    std::string bytes = EncodeWire(Text, TWireEncoding::Sjis, &lost);
    if (!lost.empty()) Wide[Key] = TWideValue{Text, bytes};
    Text = std::move(bytes);
  });
  return out;
}

std::vector<std::string> WideFields(const TSettingsModule& Module) {
  std::vector<std::string> fields;
  TSettingsModule copy = Module;
  VisitTexts(copy, [&](const std::string& Key, std::string& Text) {
    if (!UnencodableCharacters(Text, TWireEncoding::Sjis).empty()) fields.push_back(Key);
  });
  return fields;
}

}  // namespace tavi
