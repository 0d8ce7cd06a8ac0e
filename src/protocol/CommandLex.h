// The single entry through which every received server line takes effect.
#pragma once

#include <string_view>

#include "protocol/ChatParser.h"
#include "protocol/Message.h"

namespace tavi {

// One slot per handler of the command table. The main window implements it;
// every slot gets its own copy of the token.
class TServerHandlers {
 public:
  virtual ~TServerHandlers() = default;

  virtual void ErrorCommand(TToken Token) = 0;      // ERROR
  virtual void NickCommand(TToken Token) = 0;       // NICK
  virtual void JoinCommand(TToken Token) = 0;       // JOIN
  virtual void PartCommand(TToken Token) = 0;       // PART
  virtual void PrivmsgCommand(TToken Token) = 0;    // PRIVMSG
  virtual void NoticeCommand(TToken Token) = 0;     // NOTICE
  virtual void QuitCommand(TToken Token) = 0;       // QUIT
  virtual void ModeCommand(TToken Token) = 0;       // MODE
  virtual void TopicCommand(TToken Token) = 0;      // TOPIC
  virtual void PingCommand(TToken Token) = 0;       // PING
  virtual void InviteCommand(TToken Token) = 0;     // INVITE
  virtual void KickCommand(TToken Token) = 0;       // KICK
  virtual void Welcome001(TToken Token) = 0;        // 001
  virtual void UserModeIs221(TToken Token) = 0;     // 221
  virtual void AdminMe256(TToken Token) = 0;        // 256
  virtual void AdminLoc1_257(TToken Token) = 0;     // 257
  virtual void AdminLoc2_258(TToken Token) = 0;     // 258
  virtual void AdminEmail259(TToken Token) = 0;     // 259
  virtual void Away301(TToken Token) = 0;           // 301
  virtual void Ison303(TToken Token) = 0;           // 303
  virtual void UnAway305(TToken Token) = 0;         // 305
  virtual void NowAway306(TToken Token) = 0;        // 306
  virtual void WhoisUser311(TToken Token) = 0;      // 311
  virtual void WhoisServer312(TToken Token) = 0;    // 312
  virtual void WhoisOperator313(TToken Token) = 0;  // 313
  virtual void WhowasUser314(TToken Token) = 0;     // 314
  virtual void WhoisIdle317(TToken Token) = 0;      // 317
  virtual void EndOfWhois318(TToken Token) = 0;     // 318
  virtual void WhoisChannels319(TToken Token) = 0;  // 319
  virtual void List322(TToken Token) = 0;           // 322
  virtual void ListEnd323(TToken Token) = 0;        // 323
  virtual void NoTopic331(TToken Token) = 0;        // 331
  virtual void Topic332(TToken Token) = 0;          // 332
  virtual void Inviting341(TToken Token) = 0;       // 341
  virtual void Version351(TToken Token) = 0;        // 351
  virtual void NamesReply353(TToken Token) = 0;     // 353
  virtual void EndOfNames366(TToken Token) = 0;     // 366
  virtual void BanList367(TToken Token) = 0;        // 367
  virtual void EndOfBanList368(TToken Token) = 0;   // 368
  virtual void EndOfWhowas369(TToken Token) = 0;    // 369
  virtual void Motd372(TToken Token) = 0;           // 372
  virtual void MotdStart375(TToken Token) = 0;      // 375
  virtual void EndOfMotd376(TToken Token) = 0;      // 376
  virtual void NoMotd422(TToken Token) = 0;         // 422: registration ends without a MOTD
  virtual void ServerError(TToken Token) = 0;       // 401 to 502

  // What the negotiated capabilities bring; taken quietly unless handled.
  virtual void BatchCommand(TToken) {}    // BATCH
  virtual void AwayCommand(TToken) {}     // AWAY
  virtual void AccountCommand(TToken) {}  // ACCOUNT
  virtual void ChghostCommand(TToken) {}  // CHGHOST
  virtual void SetnameCommand(TToken) {}  // SETNAME
  virtual void TagmsgCommand(TToken) {}   // TAGMSG

  // False for a line the handlers pass over as a whole, before its slot.
  virtual bool Takes(const TMessage&) { return true; }

  // The server refused a nick (432, 433): true when that is answered, and
  // the refusal is not shown as an error. Must not wait for a dialog.
  virtual bool NickRefused(const TToken& Token) = 0;
};

// Calls exactly one slot of Handlers for Message, or none when its command
// is unknown or has no handler.
void DispatchMessage(const TMessage& Message, TServerHandlers& Handlers);

// Reads Line (with its CR LF) as a message and dispatches it; a line that
// does not read is dropped.
void DispatchServerLine(std::string_view Line, TServerHandlers& Handlers);

}  // namespace tavi
